// The state of one run of the installer: what the start-up decided and the
// flags the Install and Cancel buttons share with the install sequence. The
// installer form owns it; the start-up and the install steps are handed it.
// The program is one thread: nothing here is locked.
#pragma once

#include <cstdint>
#include <string>

#include "flash/FlashVersionPolicy.h"

namespace ss {

struct RunState {
  // The install run is going on: a second Install click is ignored, Cancel
  // means abort and the window refuses to close.
  bool installRunning = false;
  // The user asked to abort the running install; the install run polls it.
  bool cancelRequested = false;

  // The run has no window: the quiet switch, or a package without a
  // presentation.
  bool quietRun = false;
  // The command line holds the quiet switch "/q".
  bool quietSwitch = false;
  // A movie that could not play turned the start-up into a direct install.
  bool directInstallDone = false;
  // The Flash player found on the system, and what the package requires.
  bool flashFound = false;
  int32_t flashMajor = 0;
  int32_t flashMinor = 0;
  RequiredFlashVersion required;
  bool flashUpdateNeeded = false;
  bool flashControlInUse = false;
  // The package carries a document that goes beside the licence.
  bool hasCompanionFile = false;
  // The screen saver's title; it names the engine and the uninstall entry.
  std::string title;
};

}  // namespace ss
