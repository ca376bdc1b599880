// Helpers of the sample screen saver's Windows tests: processes started and
// waited for, and restorers for the system state an install and uninstall
// touch ("system.ini", the files pending deletion at the next start).
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/WinHandles.h"
#include "tests/support/WinSystem.h"
#include "tests/win/winsys/WinsysTestSupport.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"

namespace ss::sample::test {

using ss::test::Exists;
using ss::test::ScratchDir;
using sstest::ReadText;
using sstest::WriteText;
using sstest::RegPut;
using sstest::RegString;
using sstest::PendingDeletes;
using sstest::ScreenSaverSetting;
using sstest::SystemIniRestorer;
using sstest::WinePath;

inline std::string ShortName(const std::string& path) {
  char buf[MAX_PATH + 1];
  const DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

// Whether `title` has an uninstall entry under `root`.
inline bool KeyExists(HKEY root, const std::string& title) { return sstest::KeyExists(root, UninstallKeyPath(title)); }

// Starts a command line; the handle is closed on destruction, and a process
// still running then is ended.
class Process {
 public:
  explicit Process(std::string commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    started_ = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
    if (started_) CloseHandle(pi_.hThread);
  }
  ~Process() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
    CloseHandle(pi_.hProcess);
  }
  bool started() const { return started_; }
  DWORD id() const { return pi_.dwProcessId; }
  // The exit code, or -1 when it did not end within `ms` (stretched by
  // sstest::Slow; window messages of this thread are handled meanwhile).
  long Wait(DWORD ms) {
    const DWORD end = GetTickCount() + sstest::Slow(ms);
    for (;;) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      if (WaitForSingleObject(pi_.hProcess, 20) == WAIT_OBJECT_0) break;
      if (static_cast<LONG>(GetTickCount() - end) > 0) return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
};

// Removes whatever a test left of an install, whatever the outcome.
class InstallGuard {
 public:
  InstallGuard(std::string systemDir, std::string title)
      : systemDir_(std::move(systemDir)), title_(std::move(title)) {}
  ~InstallGuard() {
    ss::test::ScratchDir::Wipe(systemDir_ + title_ + " dir\\");
    SetFileAttributesA((systemDir_ + title_ + ".scr").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((systemDir_ + title_ + ".scr").c_str());
    DeleteUninstallEntry(title_, HKEY_LOCAL_MACHINE);
    DeleteUninstallEntry(title_, HKEY_CURRENT_USER);
    for (const std::string& f : leftovers_) DeleteFileA(f.c_str());
  }
  void AlsoDelete(const std::string& file) { leftovers_.push_back(file); }

 private:
  std::string systemDir_;
  std::string title_;
  std::vector<std::string> leftovers_;
};

}  // namespace ss::sample::test
