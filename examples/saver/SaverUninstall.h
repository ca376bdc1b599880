// The sample screen saver's "/u": removes what the installer put in place
// for it. Windows only.
//
// Everything is found from the engine's own location (SaverLocation): the
// install directory beside it, the uninstall entry under its title, and the
// "SCRNSAVE.EXE" line of "system.ini". Entries and lines are removed only
// when they name this very engine, so a same-titled entry or the active
// screen saver of another program stays as it is.
#pragma once

#include <string>

#include "core/ResultCodes.h"
#include "examples/saver/SaverText.h"

namespace ss::sample {

// What became of the engine file.
enum class EngineRemoval {
  kGone,               // deleted at once, or it was not there
  kMovedAndScheduled,  // moved out of its directory, deleted at the next start of Windows
  kScheduledInPlace,   // left in place, deleted at the next start of Windows
  kMovedOnly,          // moved to the temporary folder; nothing will delete it there
  kKept,               // could not be moved, deleted or scheduled
};

struct UninstallReport {
  bool installDirRemoved = false;  // true also when there was none
  int entriesRemoved = 0;          // uninstall entries removed (machine and user)
  bool profileLineRemoved = false;
  EngineRemoval engine = EngineRemoval::kKept;
  std::string pendingPath;  // the file left for deletion at the next start
  std::string error;        // what failed, for the user; "" when nothing did
};

// True when `program` (a path, long or short form) is the file `enginePath`.
bool NamesEngine(const std::string& program, const std::string& enginePath);

// Removes the uninstall entry of the title under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER where its command starts this engine. 0, or -2202 when
// an entry of ours could not be deleted.
Result RemoveUninstallEntries(const SaverLocation& location, int* removed);

// Removes "SCRNSAVE.EXE" from "system.ini" [boot] when it names this engine
// (and switches the screen saver off). 0, or the system's error.
Result RemoveProfileLine(const SaverLocation& location, bool* removed);

// Deletes the engine file. A running program cannot delete its own file: it
// is then moved into the temporary folder (same volume) and that copy is
// handed to the system for deletion at the next start (on the 9x family
// through "wininit.ini"); when it cannot be moved, the file is scheduled
// where it is. 0, or the system's error when neither worked.
Result RemoveEngineFile(const std::string& enginePath, EngineRemoval* removal,
                        std::string* pendingPath);

// All of the above and the install directory, in an order that keeps the
// engine (whose short name identifies it) until last. Every step runs; the
// result is the first failure's code, 0 when all went well.
Result UninstallSaver(const SaverLocation& location, UninstallReport* report);

}  // namespace ss::sample
