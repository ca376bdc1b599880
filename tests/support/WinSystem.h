// System state the Windows-side tests read and put back: the screen saver
// line of "system.ini" and registry keys.
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
