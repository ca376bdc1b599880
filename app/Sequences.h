// The start-up sequence (run inside the installer window's creation) and the
// install sequence behind the Install button, the quiet run and the direct
// install. Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "app/InstallerForm.h"
#include "app/RunState.h"
#include "core/ResultCodes.h"

namespace ss {

// True when the command line holds the quiet switch "/q" (in any letter
// case): the install then runs without any window or box.
bool QuietSwitchGiven();

// Everything between the installer window's creation and the moment the
// user sees it; also decides and runs the quiet and the direct install, and
// ends the program after a failure. `run` is the run state the form owns
// (the start-up begins it afresh); `packageOffset` is where the package
// header begins in the installer file. With the quiet switch the form is
// never created (WinMain makes no window at all): every step runs the same,
// and what would show or pump messages is left out.
void startUp(TInstallerForm& form, RunState& run, int32_t packageOffset);

// The install steps in their fixed order; the result code of the install
// (-454 when the user cancelled or declined to overwrite).
Result runInstall(TInstallerForm& form, RunState& run);

// What the Install button runs: runInstall, then the offer to open the
// Display control panel after a success.
Result installAndOfferDisplayProperties(TInstallerForm& form, RunState& run);

// The install through the preparing window, when the movie cannot play.
Result directInstall(TInstallerForm& form, RunState& run);

// The quiet install: its result becomes the process exit code.
void quietInstall(TInstallerForm& form, RunState& run);

// The window's state and status line after an install with result `code`.
void setupFormForInstallationComplete(TInstallerForm& form, const RunState& run, Result code);

}  // namespace ss
