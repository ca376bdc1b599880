// Answers the message boxes a test provokes: a background thread finds each
// dialog box of this process, records its caption, text and buttons, and
// presses a button (by default the first). Tests then check what was shown.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "tests/support/WinTestUtil.h"
#include "tests/support/WinThread.h"

namespace sstest {

struct ShownBox {
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;
};

class BoxWatcher {
 public:
  // `press`: the caption of the button to press; empty presses the first.
  explicit BoxWatcher(std::string press = std::string()) : press_(std::move(press)) {
    thread_ = Thread([this] { Run(); });
  }
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  std::vector<ShownBox> boxes() {
    Held held(mutex_);
    return boxes_;
  }
  size_t count() { return boxes().size(); }

 private:
  static BOOL CALLBACK Collect(HWND w, LPARAM p) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(w) && ClassOf(w) == "#32770") {
      reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    }
    return TRUE;
  }

  void Run() {
    std::vector<HWND> answered;
    while (!stop_) {
      std::vector<HWND> found;
      EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
      for (HWND dlg : found) {
        bool seen = false;
        for (HWND a : answered) seen = seen || a == dlg;
        if (seen) continue;
        Sleep(Slow(50));  // let the box finish laying itself out
        ShownBox box;
        box.caption = WindowText(dlg);
        HWND first = nullptr, chosen = nullptr;
        for (HWND child : Children(dlg)) {
          const std::string cls = ClassOf(child);
          if (_stricmp(cls.c_str(), "Button") == 0) {
            box.buttons.push_back(WindowText(child));
            if (first == nullptr) first = child;
            if (!press_.empty() && box.buttons.back() == press_) chosen = child;
          } else if (_stricmp(cls.c_str(), "Static") == 0 &&
                     (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            box.text = WindowText(child);
          }
        }
        {
          Held held(mutex_);
          boxes_.push_back(box);
        }
        answered.push_back(dlg);
        HWND button = chosen != nullptr ? chosen : first;
        if (button != nullptr) {
          PostMessageA(button, BM_CLICK, 0, 0);
        } else {
          PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        }
      }
      Sleep(20);
    }
  }

  std::string press_;
  std::atomic<bool> stop_{false};
  Lock mutex_;
  std::vector<ShownBox> boxes_;
  Thread thread_;
};

}  // namespace sstest
