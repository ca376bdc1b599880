#include "package/SegmentTargets.h"

#include "winsys/LMT_StringUtils.h"

namespace ss {

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

bool IsSafeSegmentName(const std::string& name) { return IsPlainFileName(name); }

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
