#include "winsys/Wow64Redirection.h"

#include <windows.h>

#include "core/DebugLog.h"
#include "core/WinFile.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {

namespace {

// Functions of 64-bit Windows' kernel32 that the oldest systems lack: looked
// up, never imported.
template <typename Fn>
Fn Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using DisableRedirectionFn = BOOL(WINAPI*)(PVOID*);
using RevertRedirectionFn = BOOL(WINAPI*)(PVOID);
using GetSystemWow64DirectoryFn = UINT(WINAPI*)(LPSTR, UINT);

bool AskWow64() {
  const auto isWow64 = Kernel32Function<IsWow64ProcessFn>("IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// The directory SysWOW64 under its real name, with a trailing backslash
// ("" when the system cannot say).
std::string Wow64SystemDirectory() {
  const auto query = Kernel32Function<GetSystemWow64DirectoryFn>("GetSystemWow64DirectoryA");
  if (query == nullptr) return std::string();
  char buf[MAX_PATH + 1];
  const UINT n = query(buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return std::string();
  std::string dir(buf, n);
  if (dir.back() != '\\') dir += '\\';
  return dir;
}

}  // namespace

bool RunsUnderWow64() {
  static const bool wow64 = AskWow64();
  return wow64;
}

NativeSystemView::NativeSystemView() {
  if (!RunsUnderWow64()) return;
  const auto disable = Kernel32Function<DisableRedirectionFn>("Wow64DisableWow64FsRedirection");
  if (disable == nullptr || Kernel32Function<RevertRedirectionFn>("Wow64RevertWow64FsRedirection") == nullptr) {
    return;
  }
  active_ = disable(&old_) != FALSE;
}

NativeSystemView::~NativeSystemView() {
  if (!active_) return;
  const DWORD keep = GetLastError();  // callers read the error of their last call
  Kernel32Function<RevertRedirectionFn>("Wow64RevertWow64FsRedirection")(old_);
  SetLastError(keep);
}

std::string Wow64SystemDirectoryPath() { return RunsUnderWow64() ? Wow64SystemDirectory() : std::string(); }

bool NativeFileExists(const std::string& path) {
  if (!RunsUnderWow64()) return false;
  NativeSystemView native;
  return native.active() && FileExists(path);
}

Result DeleteNativeFile(const std::string& path) {
  if (!RunsUnderWow64()) return kOk;
  NativeSystemView native;
  if (!native.active()) return kOk;
  return DeleteFileForced(path);
}

Result PlaceNativeEngineCopy(const std::string& engineFileName) {
  if (!RunsUnderWow64()) return kOk;
  if (!IsPlainFileName(engineFileName)) return kErrBadEntryName;
  const std::string wow64Dir = Wow64SystemDirectory();
  const std::string target = Dirs().systemDir + engineFileName;
  if (wow64Dir.empty() || !FileExists(target)) return kErrFileMissing;
  // Under the real name of SysWOW64 the source is the same file with the
  // redirection on or off.
  const std::string source = wow64Dir + engineFileName;
  NativeSystemView native;
  if (!native.active()) {
    DebugLog("file system redirection cannot be turned off; no engine in the 64-bit system directory");
    return ERROR_NOT_SUPPORTED;
  }
  // The running screen saver may hold an older copy: as before any engine
  // is written over, -38 when it cannot be deleted.
  if (const Result rc = DeleteFileRetry(target, 1000); rc != kOk) return rc;
  if (!CopyFileClearingAttributes(source, target, false)) {
    const Result err = LastErrorOr(kErrGeneric);
    DebugLog("copy failed: " + source + " to the 64-bit " + target + " (error " + std::to_string(err) + ")");
    return err;
  }
  DebugLog("file created: " + target + " (64-bit system directory)");
  return kOk;
}

}  // namespace ss
