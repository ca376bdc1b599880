#include "flash/FlashVersionPolicy.h"

#include "winsys/LMT_StringUtils.h"

namespace ss {

Result requiredFlashVersion(int index, RequiredFlashVersion& required) {
  static constexpr RequiredFlashVersion kTable[] = {{7, 19}, {8, 22}};
  if (index < 0 || index >= static_cast<int>(sizeof kTable / sizeof kTable[0])) return kErrBadFlashIndex;
  required = kTable[index];
  return kOk;
}

int32_t classifyOSKind(uint32_t platformId, uint32_t major, uint32_t minor, const std::string& servicePack) {
  // winsys's six classes of Windows; the player's policy also tells the
  // second edition of Windows 98 apart.
  const WindowsVersionFlags v = ClassifyWindowsVersion(platformId, major, minor);
  if (v.win95) return kOsWin95;
  if (v.win98) return servicePack.size() >= 2 && servicePack[1] == 'A' ? kOsWin98SE : kOsWin98;
  if (v.winMe) return kOsWinMe;
  if (v.winNt) return kOsWinNt;
  if (v.win2000) return kOsWin2000;
  if (v.winXp) return kOsWinXp;
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
