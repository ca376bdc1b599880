// System state the Windows-side tests read and put back: the screen saver
// line of "system.ini" and registry keys and values.
#pragma once

#include <windows.h>

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
inline std::string RegString(HKEY root, const std::string& key, const char* value, bool* found = nullptr) {
  HKEY k = nullptr;
  char buf[2048] = {};
  DWORD size = sizeof buf - 1, type = 0;
  const bool ok = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS &&
                  RegQueryValueExA(k, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS;
  if (k != nullptr) RegCloseKey(k);
  if (found != nullptr) *found = ok;
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

// The system's list of files to rename or delete at the next start of
// Windows (PendingFileRenameOperations of the Session Manager key, where
// MoveFileEx's delayed deletion writes, under Wine too): pairs of names, an
// empty second one for a deletion. Taken at construction, put back as it was
// (or removed, when there was none) at destruction.
class PendingRenamesRestorer {
 public:
  PendingRenamesRestorer() { present_ = Read(&before_); }
  ~PendingRenamesRestorer() { Write(); }
  PendingRenamesRestorer(const PendingRenamesRestorer&) = delete;
  PendingRenamesRestorer& operator=(const PendingRenamesRestorer&) = delete;

  // The names added since construction, in lower case ("\??\c:\...", "").
  std::vector<std::string> Added() const {
    std::vector<std::string> now;
    Read(&now);
    std::vector<std::string> added;
    for (size_t i = before_.size(); i < now.size(); ++i) {
      std::string name = now[i];
      for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      added.push_back(name);
    }
    return added;
  }

 private:
  static constexpr const char* kKey = "System\\CurrentControlSet\\Control\\Session Manager";
  static constexpr const char* kValue = "PendingFileRenameOperations";

  static bool Read(std::vector<std::string>* names) {
    names->clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    const bool present = RegQueryValueExA(key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    std::vector<char> data(size + 2, '\0');
    if (present) RegQueryValueExA(key, kValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    // Each name ends with a NUL; an empty name after the last pair ends the list.
    for (size_t pos = 0; present && pos < size;) {
      const std::string name(data.data() + pos);
      names->push_back(name);
      pos += name.size() + 1;
    }
    while (names->size() % 2 != 0) names->pop_back();
    return present;
  }
  void Write() const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (!present_) {
      RegDeleteValueA(key, kValue);
    } else {
      std::string data;
      for (const std::string& name : before_) data += name + '\0';
      data += '\0';
      RegSetValueExA(key, kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size()));
    }
    RegCloseKey(key);
  }

  bool present_ = false;
  std::vector<std::string> before_;
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
