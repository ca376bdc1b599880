#include "flash/FlashVersionPolicy.h"

namespace ss {

Result requiredFlashVersion(int index, RequiredFlashVersion& required) {
  static constexpr RequiredFlashVersion kTable[] = {{7, 19}, {8, 22}};
  if (index < 0 || index >= static_cast<int>(sizeof kTable / sizeof kTable[0])) return kErrBadFlashIndex;
  required = kTable[index];
  return kOk;
}

int32_t classifyOSKind(uint32_t platformId, uint32_t major, uint32_t minor, const std::string& servicePack) {
  constexpr uint32_t kPlatform9x = 1;
  constexpr uint32_t kPlatformNt = 2;
  if (platformId == kPlatform9x && major == 4) {
    if (minor == 0) return kOsWin95;
    if (minor == 10) return servicePack.size() >= 2 && servicePack[1] == 'A' ? kOsWin98SE : kOsWin98;
    if (minor == 90) return kOsWinMe;
    return kOsUnknown;
  }
  if (platformId == kPlatformNt) {
    if (major <= 4) return kOsWinNt;
    if (major == 5 && minor == 0) return kOsWin2000;
    if (major == 5 && minor == 1) return kOsWinXp;
  }
  return kOsUnknown;
}

Result verifyFlashAXInstallerCanRunOnOSKind(int32_t osKind, int32_t requiredMajor) {
  return osKind == kOsWinNt && requiredMajor >= 8 ? kErrFlashNotOnNT : kOk;
}

FlashDecision decideFlashPlayer(bool found, int32_t major, int32_t minor, const RequiredFlashVersion& required,
                                bool carriesSetup) {
  if (!found) return carriesSetup ? FlashDecision::CleanInstall : FlashDecision::DownloadRequired;
  if (required.major > major) return FlashDecision::MajorUpdate;
  if (required.major == major && minor != 0 && required.minor > minor) return FlashDecision::MinorUpdate;
  return FlashDecision::Current;
}

const char* decisionLogLine(FlashDecision decision) {
  switch (decision) {
    case FlashDecision::CleanInstall: return "==== do clean install ====";
    case FlashDecision::DownloadRequired: return "==== tell user to download and install player ====";
    case FlashDecision::MajorUpdate: return "==== major version update ====";
    case FlashDecision::MinorUpdate: return "==== minor version update ====";
    case FlashDecision::Current: break;
  }
  return "";
}

}  // namespace ss
