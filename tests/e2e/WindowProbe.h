// Reading and pressing the windows of another process, for the helper
// programs the end-to-end scripts run under Wine beside the installer.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/WinTestUtil.h"

namespace e2e_probe {

// The waits of the helpers are given for the CPU itself and stretched for
// an emulated one.
using sstest::Slow;

// Text of a window of another process; a hung window gives up after 2 s.
inline std::string TextOf(HWND hwnd) {
  char buffer[512] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                      &ignored);
  return buffer;
}

struct ChildSearch {
  int id;
  HWND found;
};

inline BOOL CALLBACK FindChildById(HWND hwnd, LPARAM lParam) {
  auto* search = reinterpret_cast<ChildSearch*>(lParam);
  if (GetDlgCtrlID(hwnd) != search->id) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The child window (at any depth) of `parent` with control id `id`.
inline HWND ChildById(HWND parent, int id) {
  ChildSearch search{id, nullptr};
  EnumChildWindows(parent, FindChildById, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Posts (never sends) BM_CLICK to `parent`'s button `id`: whatever the click
// starts, a modal box included, must not block the helper. False when there
// is no such button.
inline bool PostClick(HWND parent, int id) {
  HWND button = parent != nullptr ? ChildById(parent, id) : nullptr;
  return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0);
}

}  // namespace e2e_probe
