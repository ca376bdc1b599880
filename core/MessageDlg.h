// The message boxes of the installer. A standard message box cannot show a
// lone "&Abort" button, so the boxes are dialogs built in memory: an icon, the
// text, and exactly the buttons asked for, captioned "Error", "Information"
// or "Confirm". Windows only.
#pragma once

#include <initializer_list>
#include <string>

#include "core/ResultCodes.h"

namespace ss {

enum class DlgType { Error, Information, Confirmation };

// Button ids; they are also the result of MessageDlg (the standard IDOK,
// IDCANCEL, IDABORT, IDYES and IDNO values).
enum DlgButton : int { kBtnOk = 1, kBtnCancel = 2, kBtnAbort = 3, kBtnYes = 6, kBtnNo = 7 };

// Shows a modal box owned by the active window of the thread and returns the
// id of the button pressed. The Escape key and the close box give kBtnCancel,
// kBtnNo or kBtnAbort, whichever the box has, in that order (the first button
// for a box with none of them). The first button is the default. A box that
// cannot be shown answers like the Escape key.
int MessageDlg(const std::string& text, DlgType type, std::initializer_list<int> buttons);

// An unattended run ("/q") shows no boxes: each box is written to the debug
// log instead and answered as its Escape key would answer it, so that a
// quiet install can never wait for a person.
void SetUnattended(bool unattended);
bool Unattended();

// The error box for a result code (text from ComposeInstallError). Code
// -454 (the user's own cancellation) shows nothing.
void showInstallError(Result code, const std::string& detail);

// The closing box of a failed start-up (text from ComposeStartupFailure);
// -402 is an information box with "OK", everything else an error box.
void ShowStartupFailure(Result code);

}  // namespace ss
