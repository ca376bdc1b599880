#include "package/SegmentTargets.h"

#include <cctype>

namespace ss {
namespace {

bool IsReservedDeviceName(const std::string& name) {
  // The device names apply whatever the extension: "nul.txt" is NUL too.
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$") {
    return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '1' && base[3] <= '9') {
    return true;
  }
  return false;
}

}  // namespace

std::string ReplaceExtension(const std::string& name, const std::string& extension) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name + extension;
  return name.substr(0, dot) + extension;
}

std::string SegmentTargetPath(const TSegmentEntry& segment, const TargetDirectories& dirs) {
  const std::string& name = segment.name;
  switch (segment.segmentType) {
    case 1:
    case 5:
    case 6:
    case 10:
      return dirs.installDir + name;
    case 2:
      return dirs.systemDir + name;
    case 3:
      if (name == "flashax7.exe" || name == "install_flash_player_active_x.msi") return dirs.workDir + name;
      return dirs.systemDir + ReplaceExtension(name, ".dll");
    case 4:
      if (name == "impborl.dat") return dirs.workDir + ReplaceExtension(name, ".dll");
      return dirs.workDir + name;
    case 7:
      return dirs.workDir + name;
    default:
      return std::string();
  }
}

bool IsSafeSegmentName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 32) return false;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return false;
      default:
        break;
    }
  }
  // Windows drops trailing dots and blanks, so "..." or "a. " would not name
  // the file the package meant.
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsReservedDeviceName(name);
}

bool IsSafeEntryName(const std::string& name) {
  if (name.empty()) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find('\\', start);
    const std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!IsSafeSegmentName(part)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace ss
