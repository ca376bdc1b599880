// Pieces the end-to-end tests of the installer share: files, the system's
// directories, running an installer as a separate process with its debug
// log captured, and finding and pressing the windows of that process.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/WinSystem.h"
#include "tests/support/WinTestUtil.h"
#include "tests/support/WinThread.h"

namespace e2e {

using Bytes = std::vector<uint8_t>;

using sstest::DirExists;
using sstest::FileExists;
using sstest::ReadAll;
using sstest::WriteAll;

// Each with a trailing backslash.
using sstest::SystemDir;
using sstest::WindowsDir;
using sstest::TempDir;

// Names of the entries of `dir` that match `pattern` (e.g. "LMF*").
std::vector<std::string> ListDir(const std::string& dir, const std::string& pattern);

// The [boot] "SCRNSAVE.EXE" value of system.ini, "" when absent.
using sstest::ScreenSaverSetting;
void SetScreenSaverSetting(const std::string& value);  // "" removes the line

using sstest::RegDeleteTree;
using sstest::RegPut;
using sstest::RegString;

// A running installer. The test attaches to it as its debugger, which is
// how the installer's debug log (OutputDebugStringA) reaches the test under
// Wine as under Windows; Wait ends it by force when it outlives the timeout.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // `currentDir` empty: the test's own current folder.
  bool Start(const std::string& exe, const std::string& args, const std::string& currentDir = "");
  // True when the process ended within `timeoutMs` (stretched by
  // sstest::Slow, as are all the waits here); false after ending it.
  bool Wait(DWORD timeoutMs);
  bool Running() const;
  DWORD pid() const { return pid_; }
  DWORD exitCode() const { return exitCode_; }
  // The debug log lines written so far.
  std::vector<std::string> DebugLines() const;
  bool Logged(const std::string& text) const;  // some line contains `text`
  std::string LogText() const;                 // all lines, for failure messages

 private:
  void DebugLoop(std::string commandLine, std::string exe, std::string currentDir);

  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  DWORD exitCode_ = STILL_ACTIVE;
  sstest::Thread thread_;
  mutable sstest::Lock mutex_;
  HANDLE started_ = nullptr;  // set once the process is created (or not)
  std::atomic<bool> stop_{false};
  std::vector<std::string> lines_;
};

// Visible top-level windows of process `pid`.
std::vector<HWND> WindowsOf(DWORD pid);
// A window of the program's own forms: neither a box nor the application's
// title window (which carries the installer window's caption too).
bool IsForm(HWND w);
// Wine keeps every window's text with the server, so WindowText reads the
// controls of another process without waiting for it to answer.
using sstest::Children;
using sstest::ClassOf;
using sstest::WindowText;
// The texts of the visible controls inside `parent`.
std::vector<std::string> VisibleChildTexts(HWND parent);
// A caption without its "&" accelerator marks.
std::string PlainCaption(const std::string& caption);

// Waits until `match` accepts a visible top-level window of `pid` (pid 0:
// any process), or the timeout (stretched by sstest::Slow) passes (nullptr).
// Stops early when `child` ends.
HWND WaitForWindow(DWORD pid, const std::function<bool(HWND)>& match, DWORD timeoutMs,
                   const ChildProcess* child = nullptr);
HWND WaitForTitle(DWORD pid, const std::string& title, DWORD timeoutMs, const ChildProcess* child = nullptr);

// A message box (dialog class #32770): caption, text and button captions.
using Buttons = std::vector<std::string>;
struct Box {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;
  Buttons buttons;
  // All three, to compare in one check.
  auto Shown() const { return std::tie(caption, text, buttons); }
};
Box ReadBox(HWND dialog);
HWND WaitForBox(DWORD pid, DWORD timeoutMs, const ChildProcess* child = nullptr);
// Posts BM_CLICK to the child button whose caption (without "&") is
// `caption`; false when there is none.
bool ClickButton(HWND parent, const std::string& caption);
HWND FindButton(HWND parent, const std::string& caption);

// How many different colours the screen shows in a grid of 12 x 12 points
// over a band of `w`'s client area (`top` and `bottom` as fractions of its
// height): a shown picture gives many, an empty area one or two.
int DistinctColours(HWND w, double top, double bottom);

// The screen's colour at a point of `w`'s client area, given as fractions
// of its width and height.
COLORREF ScreenColourAt(HWND w, double fx, double fy);

// Lets time pass while the windows of this process stay responsive.
using sstest::Pump;

}  // namespace e2e
