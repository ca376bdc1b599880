#include "winsys/LMT_RegistryUtils.h"

#include <vector>

#include "core/DebugLog.h"
#include "core/WinHandles.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"
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

// A value as it was before this process wrote over it.
struct SavedValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// What WriteUninstallEntry did to the entry of one title under one root,
// kept for the clean-up of the same run. The first write counts: a second
// one in the same run finds its own values.
struct EntryChange {
  HKEY root = nullptr;
  std::string title;
  bool created = false;  // the key did not exist before
  std::string written;   // the UninstallString written
  SavedValue displayName;
  SavedValue uninstallString;
};

std::vector<EntryChange>& Changes() {
  static std::vector<EntryChange> changes;
  return changes;
}

EntryChange* FindChange(const std::string& title, HKEY root) {
  for (EntryChange& c : Changes()) {
    if (c.root == root && c.title == title) return &c;
  }
  return nullptr;
}

void ForgetChange(const std::string& title, HKEY root) {
  auto& changes = Changes();
  for (auto it = changes.begin(); it != changes.end(); ++it) {
    if (it->root == root && it->title == title) {
      changes.erase(it);
      return;
    }
  }
}

SavedValue ReadValue(HKEY key, const char* name) {
  SavedValue v;
  // The value may grow between the size query and the read: ask again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return v;
    std::vector<BYTE> data(size);
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, data.empty() ? nullptr : data.data(), &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return v;
    data.resize(size);
    v.present = true;
    v.type = type;
    v.data = std::move(data);
    return v;
  }
  return v;
}

// The text of a string value, up to its first NUL.
std::string TextOf(const SavedValue& v) {
  std::string text(v.data.begin(), v.data.end());
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

bool PutBack(HKEY key, const char* name, const SavedValue& v) {
  if (!v.present) {
    const LONG rc = RegDeleteValueA(key, name);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  }
  static const BYTE kNothing = 0;
  return RegSetValueExA(key, name, 0, v.type, v.data.empty() ? &kNothing : v.data.data(),
                        static_cast<DWORD>(v.data.size())) == ERROR_SUCCESS;
}

const char* RootName(HKEY root) { return root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU"; }

}  // namespace

std::string UninstallKeyPath(const std::string& title) { return kUninstallRoot + title; }

WindowsVersionFlags IdentifyWindowsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  static_assert(sizeof(OSVERSIONINFOA) == 148, "version block as the query expects it");
  if (!GetVersionExA(&info)) return WindowsVersionFlags{};
  return ClassifyWindowsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

std::vector<std::string> EngineCommandNames(const std::string& title) {
  const std::string engine = EngineFilePath(Dirs().systemDir, title);
  std::vector<std::string> names{engine};
  // The 9x family may have registered the short form.
  char buf[MAX_PATH + 1];
  const DWORD n = GetShortPathNameA(engine.c_str(), buf, sizeof buf);
  if (n > 0 && n < sizeof buf) names.emplace_back(buf, n);
  // Under WOW64 the system directory of a 32-bit program is SysWOW64 by its
  // real name too.
  const std::string wow64Dir = Wow64SystemDirectoryPath();
  if (!wow64Dir.empty()) names.push_back(EngineFilePath(wow64Dir, title));
  return names;
}

EntryOwner UninstallEntryOwner(const std::string& title, HKEY root) {
  if (!IsPlainTitle(title)) return EntryOwner::kOther;
  RegKey key;
  const LONG rc = RegOpenKeyExA(root, UninstallKeyPath(title).c_str(), 0, KEY_QUERY_VALUE, key.put());
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return EntryOwner::kNone;
  // A key that cannot be read cannot be shown to be ours.
  if (rc != ERROR_SUCCESS) return EntryOwner::kOther;
  const SavedValue command = ReadValue(key.get(), "UninstallString");
  if (!command.present || (command.type != REG_SZ && command.type != REG_EXPAND_SZ)) return EntryOwner::kOther;
  const std::string text = TextOf(command);
  const EntryChange* change = FindChange(title, root);
  if (change != nullptr && !change->written.empty() && text == change->written) return EntryOwner::kThisEngine;
  return UninstallCommandNamesEngine(text, EngineCommandNames(title)) ? EntryOwner::kThisEngine : EntryOwner::kOther;
}

Result FindForeignUninstallEntry(const std::string& title) {
  if (!IsPlainTitle(title)) return kErrBadTitle;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    if (UninstallEntryOwner(title, root) == EntryOwner::kOther) {
      DebugLog(std::string("uninstall entry of another program: ") + RootName(root) + "\\" + UninstallKeyPath(title));
      return kErrForeignUninstallEntry;
    }
  }
  return kOk;
}

Result WriteUninstallEntry(const std::string& title, HKEY root) {
  // A title with a backslash would name another key; an empty one the list
  // itself.
  if (!IsPlainTitle(title)) return kErrBadTitle;
  if (UninstallEntryOwner(title, root) == EntryOwner::kOther) {
    DebugLog(std::string("uninstall entry of another program not written: ") + RootName(root) + "\\" +
             UninstallKeyPath(title));
    return kErrForeignUninstallEntry;
  }
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
  DWORD disposition = 0;
  const LONG rc = RegCreateKeyExA(root, UninstallKeyPath(title).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), &disposition);
  if (rc != ERROR_SUCCESS) {
    DebugLog("uninstall key not opened (error " + std::to_string(rc) + ")");
    return kErrUninstallWrite;
  }
  EntryChange* change = FindChange(title, root);
  if (change != nullptr && disposition == REG_CREATED_NEW_KEY) {
    // The key written before is gone again: what this write found counts.
    *change = EntryChange();
    change->root = root;
    change->title = title;
    change->created = true;
  }
  if (change == nullptr) {
    EntryChange c;
    c.root = root;
    c.title = title;
    c.created = disposition == REG_CREATED_NEW_KEY;
    if (!c.created) {
      c.displayName = ReadValue(key.get(), "DisplayName");
      c.uninstallString = ReadValue(key.get(), "UninstallString");
    }
    Changes().push_back(std::move(c));
    change = &Changes().back();
  }
  change->written = command;
  if (!SetStringValue(key.get(), "DisplayName", displayName) ||
      !SetStringValue(key.get(), "UninstallString", command)) {
    return kErrUninstallWrite;
  }
  return kOk;
}

Result RegisterUninstallEntry(const std::string& title) {
  Result rc = WriteUninstallEntry(title, HKEY_LOCAL_MACHINE);
  if (rc == kErrUninstallWrite) rc = WriteUninstallEntry(title, HKEY_CURRENT_USER);
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
  ForgetChange(title, root);
  return kOk;
}

Result UnregisterUninstallEntry(const std::string& title) {
  Result rc = DeleteUninstallEntry(title, HKEY_LOCAL_MACHINE);
  if (rc != kOk) rc = DeleteUninstallEntry(title, HKEY_CURRENT_USER);
  return rc;
}

void UndoUninstallEntry(const std::string& title) {
  if (!IsPlainTitle(title)) return;
  const std::string path = UninstallKeyPath(title);
  const bool engineKept = !Dirs().systemDir.empty() && FileExists(EngineFilePath(Dirs().systemDir, title));
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    const EntryOwner owner = UninstallEntryOwner(title, root);
    const EntryChange* change = FindChange(title, root);
    const std::string where = std::string(RootName(root)) + "\\" + path;
    if (owner == EntryOwner::kOther) {
      DebugLog("uninstall entry of another program left alone: " + where);
    } else if (owner == EntryOwner::kThisEngine) {
      if ((change != nullptr && change->created) || !engineKept) {
        const LONG rc = DeleteKeyTree(root, path);
        DebugLog("uninstall entry removed: " + where + " (" + std::to_string(rc) + ")");
      } else if (change != nullptr) {
        RegKey key;
        const bool restored = RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS &&
                              PutBack(key.get(), "DisplayName", change->displayName) &&
                              PutBack(key.get(), "UninstallString", change->uninstallString);
        DebugLog("uninstall entry " + std::string(restored ? "put back: " : "not put back: ") + where);
      }
    }
    ForgetChange(title, root);
  }
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
  UndoUninstallEntry(title);
}

}  // namespace ss
