// The second system directory of a 32-bit program on 64-bit Windows. There
// the system hands a 32-bit program's file calls on the system directory to
// SysWOW64, while the system's own 64-bit parts (the logon session that
// starts the screen saver, the screen-saver settings page, the list of
// installed programs) look in the real System32. The installer puts a copy
// of the engine there too, and removes it with the rest. On 32-bit Windows
// every call here does nothing. Windows only.
#pragma once

#include <string>

#include "core/ResultCodes.h"

namespace ss {

// True when this 32-bit program runs on 64-bit Windows. IsWow64Process is
// looked up at run time (Windows 95 to XP before SP2 lack it); its absence
// or failure reads as false. Asked once per process.
bool RunsUnderWow64();

// For its lifetime, file calls of this thread on the system directory reach
// the real System32 instead of SysWOW64 (Wow64DisableWow64FsRedirection,
// looked up at run time). Does nothing, and active() is false, when the
// program does not run under WOW64 or the redirection stays on. Only file
// calls on known paths belong inside: a library loaded meanwhile would come
// from the 64-bit directory.
class NativeSystemView {
 public:
  NativeSystemView();
  ~NativeSystemView();
  NativeSystemView(const NativeSystemView&) = delete;
  NativeSystemView& operator=(const NativeSystemView&) = delete;
  bool active() const { return active_; }

 private:
  void* old_ = nullptr;
  bool active_ = false;
};

// The engine `engineFileName` as the system directory holds it for 32-bit
// programs, copied into the real System32 under the same name, so that the
// 64-bit system finds what "system.ini" and the uninstall entry name. An
// older copy there is deleted first (-38 when it cannot be). 0 at once when
// not under WOW64; otherwise 0, -16 (no engine to copy), -602 (not a plain
// name) or the operating system's error of the copy.
Result PlaceNativeEngineCopy(const std::string& engineFileName);

// SysWOW64 under its real name, with a trailing backslash: the directory
// that holds what a 32-bit program writes to the system directory. "" when
// not under WOW64 or when the system cannot say.
std::string Wow64SystemDirectoryPath();

// Whether the real System32 holds the file `path` (a path in the system
// directory). False when not under WOW64.
bool NativeFileExists(const std::string& path);

// Deletes the file `path` from the real System32 as DeleteFileForced does.
// 0 when not under WOW64 or when there is nothing to delete.
Result DeleteNativeFile(const std::string& path);

}  // namespace ss
