// System state the Windows-side tests read and put back: the screen saver
// line of "system.ini", registry keys and values, and the files pending
// deletion at the next start of Windows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/WinFiles.h"

namespace sstest {

// The [boot] "SCRNSAVE.EXE" value of system.ini; `absent` when there is none.
inline std::string ScreenSaverSetting(const char* absent = "") {
  char buf[1024] = {};
  GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", absent, buf, sizeof buf, "system.ini");
  return buf;
}

inline bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A string value; "" and *found false when the key or the value is missing.
// *type, when asked for, is the value's type (REG_NONE when missing).
inline std::string RegString(HKEY root, const std::string& key, const char* value, bool* found = nullptr,
                             DWORD* type = nullptr) {
  HKEY k = nullptr;
  char buf[2048] = {};
  DWORD size = sizeof buf - 1, kind = REG_NONE;
  const bool ok = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS &&
                  RegQueryValueExA(k, value, nullptr, &kind, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS;
  if (k != nullptr) RegCloseKey(k);
  if (found != nullptr) *found = ok;
  if (type != nullptr) *type = ok ? kind : REG_NONE;
  return ok ? buf : "";
}

// Writes a string value, creating the key; true when it was written.
inline bool RegPut(HKEY root, const std::string& key, const char* value, const std::string& data) {
  HKEY k = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS) return false;
  const bool ok = RegSetValueExA(k, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
  RegCloseKey(k);
  return ok;
}

// Removes a key with all its subkeys.
inline void RegDeleteTree(HKEY root, const std::string& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WRITE, &k) == ERROR_SUCCESS) {
    std::vector<std::string> subkeys;
    char name[512];
    DWORD len = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, len = sizeof name) {
      subkeys.push_back(name);
    }
    RegCloseKey(k);
    for (const std::string& sub : subkeys) RegDeleteTree(root, key + "\\" + sub);
  }
  RegDeleteKeyA(root, key.c_str());
}

// Keeps the system's list of files to delete at the next start of Windows
// (PendingFileRenameOperations of the Session Manager key, where MoveFileEx's
// delayed deletion writes, under Wine too) as it was, and tells which
// entries a run added (paths without the "\??\" prefix).
class PendingDeletes {
 public:
  PendingDeletes() : existed_(Read(&saved_)) {}
  ~PendingDeletes() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (existed_) {
      RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(saved_.data()),
                     static_cast<DWORD>(saved_.size()));
    } else {
      RegDeleteValueA(key, kPending);
    }
    RegCloseKey(key);
  }
  PendingDeletes(const PendingDeletes&) = delete;
  PendingDeletes& operator=(const PendingDeletes&) = delete;

  std::vector<std::string> Added() const {
    std::string now;
    Read(&now);
    const std::vector<std::string> before = Split(saved_), after = Split(now);
    std::vector<std::string> added;
    for (const std::string& s : after) {
      if (!s.empty() && std::find(before.begin(), before.end(), s) == before.end()) {
        added.push_back(s.compare(0, 4, "\\??\\") == 0 ? s.substr(4) : s);
      }
    }
    return added;
  }

 private:
  static constexpr const char* kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
  static constexpr const char* kPending = "PendingFileRenameOperations";

  static bool Read(std::string* out) {
    out->clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0, type = 0;
    bool ok = RegQueryValueExA(key, kPending, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
      out->resize(size);
      ok = size == 0 || RegQueryValueExA(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(&(*out)[0]),
                                         &size) == ERROR_SUCCESS;
      out->resize(ok ? size : 0);
    }
    RegCloseKey(key);
    return ok;
  }
  static std::vector<std::string> Split(const std::string& multi) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < multi.size()) {
      const size_t end = multi.find('\0', pos);
      parts.push_back(multi.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
      if (end == std::string::npos) break;
      pos = end + 1;
    }
    return parts;
  }

  std::string saved_;
  bool existed_;
};

// Keeps "system.ini" as it was before the test, byte for byte.
class SystemIniRestorer {
 public:
  SystemIniRestorer() : path_(WindowsDir() + "system.ini"), content_(ReadAll(path_)) {}
  ~SystemIniRestorer() { WriteAll(path_, content_); }
  SystemIniRestorer(const SystemIniRestorer&) = delete;
  SystemIniRestorer& operator=(const SystemIniRestorer&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<uint8_t> content_;
};

}  // namespace sstest
