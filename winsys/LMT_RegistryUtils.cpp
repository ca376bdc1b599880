#include "winsys/LMT_RegistryUtils.h"

#include <vector>

#include "core/DebugLog.h"
#include "core/WinHandles.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/Wow64Redirection.h"

namespace ss {

namespace {

constexpr const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool SetStringValue(HKEY key, const char* name, const std::string& value) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// Deletes `sub` of `parent` with all its subkeys (RegDeleteKey removes only
// leaf keys on the NT family).
LONG DeleteKeyTree(HKEY parent, const std::string& sub) {
  RegKey key;
  LONG rc = RegOpenKeyExA(parent, sub.c_str(), 0, KEY_READ | KEY_WRITE | DELETE, key.put());
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    char name[256];
    DWORD len = sizeof name;
    // Always index 0: each pass removes the child just found.
    rc = RegEnumKeyExA(key.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    rc = DeleteKeyTree(key.get(), std::string(name, len));
    if (rc != ERROR_SUCCESS) return rc;
  }
  key.reset();
  return RegDeleteKeyA(parent, sub.c_str());
}

}  // namespace

std::string UninstallKeyPath(const std::string& title) { return kUninstallRoot + title; }

WindowsVersionFlags IdentifyWindowsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  static_assert(sizeof(OSVERSIONINFOA) == 148, "version block as the query expects it");
  if (!GetVersionExA(&info)) return WindowsVersionFlags{};
  return ClassifyWindowsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

void IdentifyWindowsVersion(int& win95, int& win98, int& winMe, int& winNt, int& win2000,
                            int& winXp) {
  const WindowsVersionFlags f = IdentifyWindowsVersion();
  win95 = f.win95;
  win98 = f.win98;
  winMe = f.winMe;
  winNt = f.winNt;
  win2000 = f.win2000;
  winXp = f.winXp;
}

Result WriteUninstallEntry(const std::string& title, HKEY root) {
  // A title with a backslash would name another key; an empty one the list
  // itself.
  if (!IsPlainTitle(title)) return kErrBadTitle;
  const std::string displayName = MakeDisplayName(title);
  std::string command = MakeUninstallCommand(Dirs().systemDir, title);

  const WindowsVersionFlags v = IdentifyWindowsVersion();
  if (v.win95 || v.win98 || v.winMe) {
    // The 9x family gets the short form when a file carries the whole
    // command text as its name; normally none does and the long form stays.
    const std::string bare = EngineFilePath(Dirs().systemDir, title) + " /u";
    char buf[MAX_PATH + 1];
    const DWORD n = GetShortPathNameA(bare.c_str(), buf, sizeof buf);
    if (n > 0 && n < sizeof buf) command.assign(buf, n);
  }

  RegKey key;
  const LONG rc = RegCreateKeyExA(root, UninstallKeyPath(title).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) {
    DebugLog("uninstall key not opened (error " + std::to_string(rc) + ")");
    return kErrUninstallWrite;
  }
  if (!SetStringValue(key.get(), "DisplayName", displayName) ||
      !SetStringValue(key.get(), "UninstallString", command)) {
    return kErrUninstallWrite;
  }
  return kOk;
}

Result RegisterUninstallEntry(const std::string& title) {
  Result rc = WriteUninstallEntry(title, HKEY_LOCAL_MACHINE);
  if (rc != kOk) rc = WriteUninstallEntry(title, HKEY_CURRENT_USER);
  return rc;
}

Result DeleteUninstallEntry(const std::string& title, HKEY root) {
  // An empty title would name the whole list of installed programs.
  if (!IsPlainTitle(title)) return kErrBadTitle;
  const std::string path = UninstallKeyPath(title);
  {
    RegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
      // Nothing there to remove, or nothing we may touch: a key that exists
      // but cannot be opened for removal is a failure.
      RegKey probe;
      if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, probe.put()) == ERROR_SUCCESS) {
        return kErrUninstallDelete;
      }
      return kOk;
    }
    if (RegDeleteValueA(key.get(), "DisplayName") != ERROR_SUCCESS) return kErrUninstallDelete;
    if (RegDeleteValueA(key.get(), "UninstallString") != ERROR_SUCCESS) return kErrUninstallDelete;
  }
  if (DeleteKeyTree(root, path) != ERROR_SUCCESS) return kErrUninstallDelete;
  return kOk;
}

Result UnregisterUninstallEntry(const std::string& title) {
  Result rc = DeleteUninstallEntry(title, HKEY_LOCAL_MACHINE);
  if (rc != kOk) rc = DeleteUninstallEntry(title, HKEY_CURRENT_USER);
  return rc;
}

void CleanUpInstallation(const std::string& title, const std::string& engineFileName) {
  DebugLog("==== do clean install ====");
  RestoreSystemFiles();
  const std::string& systemDir = Dirs().systemDir;
  if (systemDir.empty()) return;
  if (IsPlainTitle(title)) RemoveDirectoryTree(InstallDirectoryPath(systemDir, title));
  if (IsPlainFileName(engineFileName)) {
    DeleteFileForced(systemDir + engineFileName);
    DeleteNativeFile(systemDir + engineFileName);  // the 64-bit system's copy under WOW64
  }
  UnregisterUninstallEntry(title);
}

}  // namespace ss
