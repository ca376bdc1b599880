// Helpers for the Windows-side tests: finding windows another thread or
// process opened, reading their controls, handling this thread's messages
// while waiting, and saving a picture of a window.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace sstest {

// A wait on Windows programs, in milliseconds, stretched for the CPU that
// runs them: scripts/wine-env.sh sets SS_WINE_SLOW to how many times slower
// that CPU is than the machine's own (4 when qemu emulates it, 1 otherwise).
// Every wait that ends a check, waiting for something to happen or making
// sure that it does not, goes through this.
inline DWORD Slow(DWORD ms) {
  static const DWORD factor = [] {
    char text[16] = {};
    const DWORD n = GetEnvironmentVariableA("SS_WINE_SLOW", text, sizeof text);
    const long value = n > 0 && n < sizeof text ? std::strtol(text, nullptr, 10) : 1;
    return value >= 1 && value <= 100 ? static_cast<DWORD>(value) : 1u;
  }();
  return ms * factor;
}

// A unix path of the build tree as Wine sees it (drive Z: maps "/"), with
// backslashes.
inline std::string WinePath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Waits up to timeoutMs (stretched by Slow) for a visible top-level window
// of process `pid` (0: this one) with the given class (nullptr: any) and
// title.
inline HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs = 10000, DWORD pid = 0) {
  timeoutMs = Slow(timeoutMs);
  if (pid == 0) pid = GetCurrentProcessId();
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND w = FindWindowExA(nullptr, nullptr, className, title); w != nullptr;
         w = FindWindowExA(nullptr, w, className, title)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid && IsWindowVisible(w)) return w;
    }
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(20);
  }
}

// Handles the window messages of this thread for `ms` (at least once).
inline void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

// Handles this thread's messages until `done()` holds or `timeoutMs`
// (stretched by Slow) pass; whether it holds.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  timeoutMs = Slow(timeoutMs);
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Pump(20);
  }
  return true;
}

inline std::string WindowText(HWND w) {
  char buf[4096] = {};
  GetWindowTextA(w, buf, sizeof buf);
  return buf;
}

inline std::string ClassOf(HWND w) {
  char buf[256] = {};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

inline BOOL CALLBACK CollectChild(HWND w, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

inline std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&out));
  return out;
}

// Saves what the screen shows of a window as a 24-bit BMP file.
inline bool SaveWindowPicture(HWND w, const std::string& path) {
  RECT r;
  if (!GetWindowRect(w, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
  std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
  GetDIBits(mem, bmp, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, &file, sizeof file, &written, nullptr) && WriteFile(h, &info, sizeof info, &written, nullptr) &&
            WriteFile(h, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(h);
  return ok;
}

}  // namespace sstest
