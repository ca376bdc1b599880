#include "package/SegmentTargets.h"

#include <cctype>

#include "package/PackageRoles.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {

std::string ReplaceExtension(const std::string& name, const std::string& extension) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name + extension;
  return name.substr(0, dot) + extension;
}

SegmentTarget SegmentTargetOf(const TSegmentEntry& segment) {
  const std::string& name = segment.name;
  switch (segment.segmentType) {
    case 1:
    case 5:
    case 6:
    case 10:
      return {TargetPlace::kInstall, name};
    case 2:
      return {TargetPlace::kSystem, name};
    case 3:
      if (IsFlashSetupName(name)) return {TargetPlace::kWork, name};
      return {TargetPlace::kSystem, ReplaceExtension(name, ".dll")};
    case 4:
      if (name == kLibrarySegmentName) return {TargetPlace::kWork, ReplaceExtension(name, ".dll")};
      return {TargetPlace::kWork, name};
    case 7:
      return {TargetPlace::kWork, name};
    default:
      return {};
  }
}

std::string SegmentTargetPath(const TSegmentEntry& segment, const TargetDirectories& dirs) {
  const SegmentTarget target = SegmentTargetOf(segment);
  switch (target.place) {
    case TargetPlace::kWork:
      return dirs.workDir + target.name;
    case TargetPlace::kSystem:
      return dirs.systemDir + target.name;
    case TargetPlace::kInstall:
      return dirs.installDir + target.name;
    default:
      return std::string();
  }
}

bool IsWindowsLibrary(const std::string& name) {
  // The libraries of a Windows 95 to XP system directory that programs
  // import or load: every library the import floor lists name, and the
  // others those systems carry. A name without an extension here means
  // ".dll".
  static const char* const kLibraries[] = {
      "kernel32", "user32",   "gdi32",    "advapi32", "shell32",  "ole32",    "oleaut32", "olepro32",
      "comctl32", "comdlg32", "msvcrt",   "version",  "winmm",    "wininet",  "urlmon",   "shlwapi",
      "ws2_32",   "wsock32",  "rpcrt4",   "ntdll",    "imm32",    "setupapi", "crypt32",  "wintrust",
      "mpr",      "netapi32", "secur32",  "msvcp60",  "mfc42",    "psapi",    "imagehlp", "dbghelp",
      "uxtheme",  "gdiplus",  "riched20", "riched32", "msimg32",  "opengl32", "glu32",    "ddraw",
      "dsound",   "dinput",   "d3d8",     "d3d9",     "mshtml",   "shdocvw",  "browseui", "msacm32",
      "avifil32", "msvfw32",  "oledlg",   "activeds", "cabinet",  "winspool.drv", "hhctrl.ocx",
  };
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* library : kLibraries) {
    const std::string known = library;
    if (lower == (known.find('.') == std::string::npos ? known + ".dll" : known)) return true;
  }
  return false;
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
