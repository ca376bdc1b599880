// Where package segments and data-file entries are written, and which names
// the installer accepts for them. Pure string rules, shared by the installer
// and the package builder.
#pragma once

#include <string>

#include "package/PackageRecords.h"

namespace ss {

// The directories a target path is built from; each ends with a backslash.
struct TargetDirectories {
  std::string workDir;
  std::string systemDir;
  std::string installDir;  // system directory + title + " dir\"
};

// The target path of a segment by its type:
//   1, 5, 6, 10: install directory + name;
//   2:           system directory + name;
//   3:           work directory + name for exactly one of the Flash
//                setup's names (package/PackageRoles.h), otherwise system
//                directory + the name with its extension replaced by ".dll";
//   4:           work directory + name, "impborl.dat" (exactly) becoming
//                "impborl.dll";
//   7:           work directory + name;
//   others:      "" (no target).
// Comparisons are exact and case-sensitive.
std::string SegmentTargetPath(const TSegmentEntry& segment, const TargetDirectories& dirs);

// The same rule as a directory and the file name written there (type 3's
// ".dll" and type 4's "impborl.dll" applied); kNone and "" for a type
// without a target.
enum class TargetPlace { kNone, kWork, kSystem, kInstall };
struct SegmentTarget {
  TargetPlace place = TargetPlace::kNone;
  std::string name;
};
SegmentTarget SegmentTargetOf(const TSegmentEntry& segment);

// One of Windows' own libraries of a system directory (Windows 95 to XP),
// by its file name in any letter case: kernel32.dll, msvcrt.dll,
// version.dll, winspool.drv, hhctrl.ocx and the like. No package may write
// one.
bool IsWindowsLibrary(const std::string& name);

// `name` with everything from its last "." replaced by `extension` (which
// starts with the dot); appended when the name has no dot.
std::string ReplaceExtension(const std::string& name, const std::string& extension);

// A segment name must be a single plain file name: no directory parts, no
// drive, no "..", no characters Windows forbids in names and no reserved
// device name (CON, NUL, COM1, ...). Anything else would let a package write
// outside the directory its segment type names.
bool IsSafeSegmentName(const std::string& name);

// A data-file entry name is relative to the install directory and may hold
// sub-folders separated by backslashes; each part must be a safe name as
// above, so the entry cannot climb out of the install directory or name a
// drive, a share or a device.
bool IsSafeEntryName(const std::string& name);

}  // namespace ss
