// Detection of the installed Flash player and the player steps of the
// start-up: the registered control file and its version, the control probes,
// the Windows kind, the removal of old control files and the start of the
// carried player setup. Windows only; the pure rules are in
// FlashVersionPolicy.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/ResultCodes.h"
#include "flash/FlashVersionPolicy.h"

namespace ss {

// Attempt counts and pause of the player probes. The product uses the
// defaults; tests shorten them so that a missing control costs seconds.
struct FlashProbeTiming {
  int pauseMs = 500;             // sleep before each probe attempt
  int panelProbeAttempts = 1000; // the movie panel's version check
  int quietProbeAttempts = 20;   // getFlashPlugInVersion's quiet probe
  int createAttempts = 10000;    // the panel's control creation, no pause
};
FlashProbeTiming& flashProbeTiming();

// The probed major version, -1 until a probe succeeds. Process-wide.
int32_t cachedFlashMajor();
// Forgets the probed version (tests only: the product never clears it).
void resetCachedFlashMajor();

// The file registered for the Flash class (HKCR\CLSID\{...}\InprocServer32,
// default value; environment references expanded). 0, or -402 when no
// path is registered.
Result getRegisteredFlashAXPath(std::string& path);

// Major and release number of the registered control file's version (7 and
// 19 for 7.0.19.0); both 0 when there is no file or no version.
void getFlashPlugInVersionInfoFromFileProperties(int32_t& major, int32_t& minor);

// Creates the control (no window) up to `attempts` times, pausing before
// each, and asks its FlashVersion. With a cached version it returns at once.
// 0 with found and major set, or -402 (major then -1, found false).
Result probeFlashControlVersion(bool& found, int32_t& major, int32_t attempts);
// The quiet form: major stays 0 unless a probe runs now and succeeds.
void probeFlashControlVersionQuiet(int32_t& major, int32_t attempts);

// The file version, or, when that gives none, the quiet probe.
void getFlashPlugInVersion(bool& found, int32_t& major, int32_t& minor);

// The running Windows kind (FlashVersionPolicy.h), -1 when unknown.
int32_t getOSKind();

// -455 when the required player cannot run on this machine (Flash 8 on
// Windows NT 4), else 0.
Result verifyFlashAXInstallerCanRunOnThisMachine(int32_t requiredMajor);

// Deletes "Macromed\Flash\Flash.ocx" and "Macromed\Flash\swflash.ocx" below
// the system directory (100 tries each). True when one of them existed and
// remains. The first form uses the process-wide system directory.
bool removeFlashAXFiles();
bool removeFlashAXFiles(const std::string& systemDir);

// Starts the player setup `name` from the work directory, by its full path
// and with the work directory as its current folder, with "/Q", hidden,
// without waiting. 0; -401 when the file is missing; -602 when the name is
// not a plain file name; -7 or the shell's code 1..32 when it cannot start.
// `owner` (the application's window, or null) owns what the shell shows and
// is brought to the front after.
Result runFlashAXInstaller(const std::string& name, HWND owner);
Result runFlashAXInstaller(const std::string& name, const std::string& workDir, HWND owner);

// runFlashAXInstaller, then the version check again (its quiet probe may
// fill the cached version). Returns the installer's start result.
Result installFlashPlayer(const std::string& name, HWND owner);

// The player decision of the start-up after detection and staging: logs the
// outcome, removes the old control files for the update outcomes when the
// package carries the setup that replaces them (never otherwise: the old
// player is better than none) and sets the two flags. -402 when the player must be downloaded, or when an update
// is needed but no setup is carried or an old control file stayed in use;
// else 0, and the caller runs installFlashPlayer when flashUpdateNeeded.
struct FlashPlayerOutcome {
  FlashDecision decision = FlashDecision::Current;
  bool flashUpdateNeeded = false;
  bool flashControlInUse = false;
};
Result applyFlashDecision(bool found, int32_t major, int32_t minor, const RequiredFlashVersion& required,
                          bool carriesSetup, const std::string& systemDir, FlashPlayerOutcome& outcome);

}  // namespace ss
