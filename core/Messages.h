// Texts that result codes turn into. Composition is portable (and tested on
// the host); showing them is Windows-only (MessageDlg.h).
#pragma once

#include <string>

#include "core/ResultCodes.h"

namespace ss {

// The operating system's message text for an error number ("" when it has
// none; always "" off Windows). Trailing line breaks are removed.
std::string SystemErrorText(Result code);

// The text of showInstallError(code, detail). systemText is the operating
// system's message for the code; it is only used for -523. -38 and -607
// explain themselves and show no detail.
std::string ComposeInstallError(Result code, const std::string& detail,
                                const std::string& systemText = std::string());

// The closing box of a failed start-up: -455 and -402 have texts of their
// own, -606 (a work folder that cannot be made private) says so before
// "Lumetra Error: -606. ", -607 (a direct install refused) gives the text
// of its install box; every other code gives "Installer file is
// corrupted. Lumetra Error: " followed by the code and ". ".
std::string ComposeStartupFailure(Result code);

// Other boxes that steps show.
std::string ComposeDataFileInUse();                                    // information, "&Abort"
std::string ComposeDataFileOpenProblem(const std::string& path, Result code);
std::string ComposeDataFileReadProblem(const std::string& systemText);
std::string ComposeCloseProblem(const std::string& path, const std::string& systemText);

// Completion status line for an install's result (Ready -> Complete/Aborted).
std::string CompletionStatus(Result code);

}  // namespace ss
