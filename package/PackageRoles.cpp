#include "package/PackageRoles.h"

namespace ss {

std::string FlashSetupNamesText() {
  return std::string("\"") + kFlashSetupNames[0] + "\" or \"" + kFlashSetupNames[1] + "\"";
}

bool IsFlashSetupName(const std::string& name) {
  return name == kFlashSetupNames[0] || name == kFlashSetupNames[1];
}

int32_t SegmentTypeFor(int index) {
  static const int32_t kTypes[kSegmentCount] = {6, 4, 3, 7, 7, 7, 2, 5, 4, 5, 5};
  return index >= 0 && index < kSegmentCount ? kTypes[index] : 0;
}

const char* SegmentRole(int index) {
  static const char* const kRoles[kSegmentCount] = {
      "installer",     "library",       "Flash setup", "presentation",
      "licence",       "companion",     "engine",      "support file",
      "data file",     "support lib 1", "support lib 2"};
  return index >= 0 && index < kSegmentCount ? kRoles[index] : "?";
}

std::string SegmentLabel(int index) {
  return "segment " + std::to_string(index) + " (" + SegmentRole(index) + ")";
}

const char* PresentationName(uint8_t displayMode) {
  switch (displayMode) {
    case dmBitmap: return "installer.bmp";
    case dmFlash:
    case dmFlashAlt: return kMovieName;
    case dmJpeg: return "installer.jpg";
    default: return "";
  }
}

bool IsFlashMode(uint8_t displayMode) { return displayMode == dmFlash || displayMode == dmFlashAlt; }

bool IsKnownDisplayMode(uint8_t displayMode) {
  return displayMode == dmBitmap || IsFlashMode(displayMode) || displayMode == dmSilent ||
         displayMode == dmJpeg;
}

const char* DisplayModeText(uint8_t displayMode) {
  switch (displayMode) {
    case dmBitmap: return "bitmap picture";
    case dmFlash:
    case dmFlashAlt: return "Flash movie";
    case dmSilent: return "none (quiet install)";
    case dmJpeg: return "JPEG picture";
    default: return "invalid";
  }
}

std::string PresentationFault(uint8_t displayMode, const std::vector<uint8_t>& b) {
  switch (displayMode) {
    case dmFlash:
    case dmFlashAlt:
      if (b.size() < 8 || (b[0] != 'F' && b[0] != 'C') || b[1] != 'W' || b[2] != 'S') {
        return "not a Flash movie (no \"FWS\" or \"CWS\" signature)";
      }
      if (b[3] < 3 || b[3] > 8) {
        return "Flash movie version " + std::to_string(b[3]) + "; the installer plays 3 to 8";
      }
      return std::string();
    case dmBitmap:
      if (b.size() < 2 || b[0] != 'B' || b[1] != 'M') return "not a bitmap (no \"BM\" signature)";
      return std::string();
    case dmJpeg:
      if (b.size() < 3 || b[0] != 0xFF || b[1] != 0xD8 || b[2] != 0xFF) {
        return "not a JPEG picture (no FF D8 FF signature)";
      }
      return std::string();
    default:
      return std::string();
  }
}

}  // namespace ss
