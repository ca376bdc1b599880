// The manual page sspack(1) and the bash completion, written from the
// command table (tools/CommandTable.h). sspack-docs writes them at build
// time; the plain-text manual of the Windows .zip is this page as groff
// renders it.
#pragma once

#include <string>

namespace ss::pack {

// The page in the man macros; `date` is the page's date (the Debian
// changelog's, so that a rebuild writes the same bytes).
std::string ManualPage(const std::string& version, const std::string& date);

// A bash script defining _sspack and registering it for "sspack": commands,
// options, and file or folder names where an argument or value takes them.
std::string BashCompletion();

}  // namespace ss::pack
