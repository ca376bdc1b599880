// The Flash player version policy: which player version a package requires,
// which kind of Windows is running, whether the carried player can run on it,
// and the one player decision of the start-up. Pure functions, portable; the
// Windows side (flash/FlashPlayer.h) feeds them what it detected.
#pragma once

#include <cstdint>
#include <string>

#include "core/ResultCodes.h"

namespace ss {

struct RequiredFlashVersion {
  int32_t major = 0;
  int32_t minor = 0;
};

// The row of the required-version table for a package's flashVersionIndex:
// index 0 is 7 r19, index 1 is 8 r22. Any other index gives -605.
Result requiredFlashVersion(int index, RequiredFlashVersion& required);

// Windows kinds: 0 Windows 95, 1 Windows 98, 2 Windows 98 second edition,
// 3 Windows ME, 4 Windows NT (4 or older), 5 Windows 2000, 6 Windows XP,
// -1 anything else.
constexpr int32_t kOsUnknown = -1;
constexpr int32_t kOsWin95 = 0;
constexpr int32_t kOsWin98 = 1;
constexpr int32_t kOsWin98SE = 2;
constexpr int32_t kOsWinMe = 3;
constexpr int32_t kOsWinNt = 4;
constexpr int32_t kOsWin2000 = 5;
constexpr int32_t kOsWinXp = 6;

// Classifies the operating system's version answer: platform identifier
// (1 the 9x family, 2 the NT family), major and minor version and the
// service-pack text, whose second character "A" marks the second edition of
// Windows 98.
int32_t classifyOSKind(uint32_t platformId, uint32_t major, uint32_t minor, const std::string& servicePack);

// -455 when the required player (major 8 or more) cannot run on Windows NT 4,
// else 0.
Result verifyFlashAXInstallerCanRunOnOSKind(int32_t osKind, int32_t requiredMajor);

enum class FlashDecision {
  Current,           // nothing to do
  CleanInstall,      // no player found; the carried one is installed
  MajorUpdate,       // older major version; old files removed, carried player installed
  MinorUpdate,       // same major, older release; as for a major update
  DownloadRequired,  // no player and none carried: -402
};

// The player decision from what was detected (found, major, minor), the
// required version and whether the package carries the player setup. A
// release number of 0 counts as current.
FlashDecision decideFlashPlayer(bool found, int32_t major, int32_t minor, const RequiredFlashVersion& required,
                                bool carriesSetup);

// The debug-log line of a decision ("" for Current).
const char* decisionLogLine(FlashDecision decision);

}  // namespace ss
