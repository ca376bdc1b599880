#include "tests/e2e/install/E2eUtil.h"

#include <algorithm>

namespace e2e {

using sstest::Slow;
using sstest::WithSlash;

std::vector<std::string> ListDir(const std::string& dir, const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((WithSlash(dir) + pattern).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = fd.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return names;
}

void SetScreenSaverSetting(const std::string& value) {
  WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value.empty() ? nullptr : value.c_str(), "system.ini");
}

ChildProcess::~ChildProcess() {
  if (process_ != nullptr && Running()) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (process_ != nullptr) CloseHandle(process_);
}

bool ChildProcess::Start(const std::string& exe, const std::string& args, const std::string& currentDir) {
  std::string commandLine = "\"" + exe + "\"";
  if (!args.empty()) commandLine += " " + args;
  // The thread that creates a debugged process is the one that receives its
  // debug events, so the process is created by the log thread.
  // DebugLoop sets process_ before it signals.
  started_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (started_ == nullptr) return false;
  thread_ = sstest::Thread([this, commandLine, exe, currentDir] { DebugLoop(commandLine, exe, currentDir); });
  if (thread_.joinable()) WaitForSingleObject(started_, INFINITE);
  CloseHandle(started_);
  started_ = nullptr;
  sstest::Held held(mutex_);
  return process_ != nullptr;
}

void ChildProcess::DebugLoop(std::string commandLine, std::string exe, std::string currentDir) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  // Wine now and then fails to start a process at all ("failed to map the
  // shared user data", seen with 64-bit Wine); a second start then works.
  // Nothing of the program has run in such a start, so it is simply tried
  // again.
  BOOL ok = FALSE;
  for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
    if (attempt > 0) Sleep(200);
    ok = CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &si, &pi);
  }
  {
    sstest::Held held(mutex_);
    if (ok) {
      CloseHandle(pi.hThread);
      process_ = pi.hProcess;
      pid_ = pi.dwProcessId;
    }
  }
  SetEvent(started_);
  if (!ok) return;
  // Ending the test must not end an installer that is left running.
  DebugSetProcessKillOnExit(FALSE);
  bool firstBreak = true;
  for (;;) {
    DEBUG_EVENT ev = {};
    if (!WaitForDebugEvent(&ev, 100)) {
      if (stop_) break;
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
        std::vector<char> text(info.nDebugStringLength + 1, '\0');
        SIZE_T got = 0;
        if (!info.fUnicode &&
            ReadProcessMemory(process_, info.lpDebugStringData, text.data(), info.nDebugStringLength, &got)) {
          std::string line(text.data());
          while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
          sstest::Held held(mutex_);
          lines_.push_back(line);
        }
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        // The loader's breakpoint is ours; every other exception is the
        // program's own to handle.
        if (firstBreak && ev.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
          firstBreak = false;
        } else {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
    if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) break;
  }
  DebugActiveProcessStop(pid_);
}

bool ChildProcess::Running() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::Wait(DWORD timeoutMs) {
  if (process_ == nullptr) return false;
  timeoutMs = Slow(timeoutMs);
  const DWORD start = GetTickCount();
  bool ended = false;
  while (!(ended = WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) && GetTickCount() - start < timeoutMs) {
    Pump(20);
  }
  if (!ended) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
  GetExitCodeProcess(process_, &exitCode_);
  return ended;
}

std::vector<std::string> ChildProcess::DebugLines() const {
  sstest::Held held(mutex_);
  return lines_;
}

bool ChildProcess::Logged(const std::string& text) const {
  for (const std::string& line : DebugLines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

std::string ChildProcess::LogText() const {
  std::string all;
  for (const std::string& line : DebugLines()) all += "  | " + line + "\n";
  return all;
}

namespace {

struct Collect {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND w, LPARAM p) {
  auto* c = reinterpret_cast<Collect*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if ((c->pid == 0 || pid == c->pid) && IsWindowVisible(w)) c->found.push_back(w);
  return TRUE;
}

}  // namespace

std::vector<HWND> WindowsOf(DWORD pid) {
  Collect c{pid, {}};
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&c));
  return c.found;
}

std::vector<std::string> VisibleChildTexts(HWND parent) {
  std::vector<std::string> texts;
  for (HWND child : Children(parent)) {
    if (IsWindowVisible(child)) texts.push_back(WindowText(child));
  }
  return texts;
}

bool IsForm(HWND w) {
  const std::string cls = ClassOf(w);
  return cls != "#32770" && cls != "SsApplication";
}

std::string PlainCaption(const std::string& caption) {
  std::string out;
  for (char c : caption)
    if (c != '&') out += c;
  return out;
}

HWND WaitForWindow(DWORD pid, const std::function<bool(HWND)>& match, DWORD timeoutMs, const ChildProcess* child) {
  timeoutMs = Slow(timeoutMs);
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND w : WindowsOf(pid)) {
      if (match(w)) return w;
    }
    if (GetTickCount() - start > timeoutMs) return nullptr;
    if (child != nullptr && !child->Running()) return nullptr;
    Pump(30);
  }
}

HWND WaitForTitle(DWORD pid, const std::string& title, DWORD timeoutMs, const ChildProcess* child) {
  return WaitForWindow(
      pid, [&](HWND w) { return WindowText(w) == title && IsForm(w); }, timeoutMs, child);
}

Box ReadBox(HWND dialog) {
  Box box;
  box.hwnd = dialog;
  box.caption = WindowText(dialog);
  for (HWND child : Children(dialog)) {
    const std::string cls = ClassOf(child);
    if (_stricmp(cls.c_str(), "Button") == 0) {
      box.buttons.push_back(PlainCaption(WindowText(child)));
    } else if (_stricmp(cls.c_str(), "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
      const std::string text = WindowText(child);
      if (!text.empty()) box.text = text;
    }
  }
  return box;
}

HWND WaitForBox(DWORD pid, DWORD timeoutMs, const ChildProcess* child) {
  HWND box = WaitForWindow(
      pid, [](HWND w) { return ClassOf(w) == "#32770"; }, timeoutMs, child);
  if (box != nullptr) Pump(100);  // let the box finish laying itself out
  return box;
}

HWND FindButton(HWND parent, const std::string& caption) {
  for (HWND child : Children(parent)) {
    if (_stricmp(ClassOf(child).c_str(), "Button") == 0 && PlainCaption(WindowText(child)) == caption) return child;
  }
  return nullptr;
}

bool ClickButton(HWND parent, const std::string& caption) {
  HWND button = FindButton(parent, caption);
  if (button == nullptr) return false;
  // Posted, not sent: the click may open a modal box in the other process.
  PostMessageA(button, BM_CLICK, 0, 0);
  return true;
}

int DistinctColours(HWND w, double top, double bottom) {
  RECT client;
  if (!GetClientRect(w, &client)) return 0;
  POINT origin = {0, 0};
  ClientToScreen(w, &origin);
  HDC screen = GetDC(nullptr);
  std::vector<COLORREF> seen;
  const int width = client.right, height = client.bottom;
  for (int i = 0; i < 12; ++i) {
    for (int j = 0; j < 12; ++j) {
      const int x = origin.x + width * (2 * i + 1) / 24;
      const int y = origin.y + static_cast<int>(height * (top + (bottom - top) * (2 * j + 1) / 24.0));
      const COLORREF c = GetPixel(screen, x, y);
      if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
    }
  }
  ReleaseDC(nullptr, screen);
  return static_cast<int>(seen.size());
}

COLORREF ScreenColourAt(HWND w, double fx, double fy) {
  RECT client;
  if (!GetClientRect(w, &client)) return CLR_INVALID;
  POINT p = {static_cast<LONG>(client.right * fx), static_cast<LONG>(client.bottom * fy)};
  ClientToScreen(w, &p);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  return c;
}

}  // namespace e2e
