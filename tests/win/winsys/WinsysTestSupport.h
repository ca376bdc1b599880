// Helpers shared by the winsys tests under Wine: scratch folders, restorers
// for the process state the services read (environment, directory set), and
// an answerer for the installer's modal boxes.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/WinFiles.h"
#include "tests/support/WinTestUtil.h"
#include "tests/support/WinThread.h"
#include "winsys/LMT_FileUtils.h"

namespace ss::test {

using sstest::Slow;

inline std::string LastErrorText() { return "error " + std::to_string(GetLastError()); }

inline std::string Env(const char* name, bool* isSet = nullptr) {
  char buf[32768];
  const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  if (isSet) *isSet = n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  return std::string(buf, n < sizeof buf ? n : 0);
}

// Puts an environment variable back as it was.
class EnvRestorer {
 public:
  explicit EnvRestorer(const char* name) : name_(name) { value_ = Env(name, &wasSet_); }
  ~EnvRestorer() { SetEnvironmentVariableA(name_.c_str(), wasSet_ ? value_.c_str() : nullptr); }

 private:
  std::string name_;
  std::string value_;
  bool wasSet_ = false;
};

// Puts the process-wide directory set back as it was.
class DirsRestorer {
 public:
  DirsRestorer() : saved_(Dirs()) {}
  ~DirsRestorer() { SetDirs(saved_); }

 private:
  DirectorySet saved_;
};

using sstest::ScratchDir;

using sstest::Exists;
using sstest::ReadText;
using sstest::WriteText;

// Opens a file without any sharing for as long as it lives.
class LockedFile {
 public:
  explicit LockedFile(const std::string& path)
      : h_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~LockedFile() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// True when windows can be created (a display is there); the tests that
// answer boxes or wait for the control panel need one.
inline bool HaveDisplay() {
  HWND w = CreateWindowA("STATIC", "probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  if (!w) return false;
  DestroyWindow(w);
  return true;
}

// The directory of the running test program (ends with a backslash); the
// fixtures are built beside it.
inline std::string ProgramDir() {
  char buf[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  std::string path(buf, n);
  return path.substr(0, path.find_last_of('\\') + 1);
}

inline BOOL CALLBACK CollectChildText(HWND child, LPARAM out) {
  char buf[1024];
  const int n = GetWindowTextA(child, buf, sizeof buf);
  reinterpret_cast<std::vector<std::string>*>(out)->emplace_back(buf, n > 0 ? n : 0);
  return TRUE;
}

// Texts of a window's children, in order.
inline std::vector<std::string> ChildTexts(HWND parent) {
  std::vector<std::string> texts;
  EnumChildWindows(parent, CollectChildText, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

// Waits (on its own thread) for top-level windows captioned `caption` and
// answers each by posting BM_CLICK to its button captioned `button`; records
// how many boxes it saw and the texts of the last one. Stops when destroyed.
class BoxAnswerer {
 public:
  BoxAnswerer(std::string caption, std::string button)
      : caption_(std::move(caption)), button_(std::move(button)), thread_([this] { Run(); }) {}
  ~BoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  int boxesSeen() const { return seen_; }
  std::vector<std::string> lastTexts() const { return texts_; }

 private:
  void Run() {
    HWND answered = nullptr;
    while (!stop_) {
      HWND box = FindWindowA(nullptr, caption_.c_str());
      if (box && box != answered && IsWindowVisible(box)) {
        HWND btn = FindWindowExA(box, nullptr, "Button", button_.c_str());
        if (btn) {
          texts_ = ChildTexts(box);
          ++seen_;
          answered = box;
          PostMessageA(btn, BM_CLICK, 0, 0);
        }
      } else if (!box) {
        answered = nullptr;
      }
      Sleep(20);
    }
  }

  std::string caption_;
  std::string button_;
  std::atomic<bool> stop_{false};
  std::atomic<int> seen_{0};
  std::vector<std::string> texts_;
  sstest::Thread thread_;
};

}  // namespace ss::test
