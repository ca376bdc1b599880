// A small window wrapper for the installer's forms, and RAII holders for the
// handles they use. Windows only.
//
// `Window` does not own its window: it attaches itself at WM_NCCREATE (the
// pointer lives in GWLP_USERDATA) and forwards every message to the virtual
// handleMessage; it lets go at WM_NCDESTROY. When the object dies first it
// detaches, so a late message falls through to DefWindowProc instead of
// reaching a dead object.
//
// `Control` is the geometry of one child control as the forms see it: bounds
// in the parent's client coordinates, anchors that keep distances to the
// parent's edges when the parent is resized, and an optional minimum height.
#pragma once

#include <windows.h>

#include <string>

#include "core/WinHandles.h"

namespace ss {

// Owners of a GDI object (deleted at the end) and of a thread message hook
// (removed at the end), in the form of the other handle owners.
template <typename T>
struct GdiObjectTraits {
  using Type = T;
  static Type invalid() { return nullptr; }
  static void close(Type h) { DeleteObject(h); }
};

struct HookTraits {
  using Type = HHOOK;
  static Type invalid() { return nullptr; }
  static void close(Type h) { UnhookWindowsHookEx(h); }
};

using FontHandle = UniqueHandle<GdiObjectTraits<HFONT>>;
using BitmapHandle = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using HookHandle = UniqueHandle<HookTraits>;

// Non-owning wrapper of one window whose procedure forwards to the object.
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND handle() const { return hwnd_; }
  bool exists() const { return hwnd_ != nullptr && IsWindow(hwnd_) != FALSE; }

  // Registers `className` once for this process with the forwarding
  // procedure. The background brush may be null (the window paints itself).
  static bool RegisterClass(const char* className, HBRUSH background, UINT style = 0);

 protected:
  // Creates the window of a class registered with RegisterClass. Returns
  // false when the system refused; the object then stays detached.
  bool createWindow(const char* className, DWORD exStyle, DWORD style, const char* caption, int x, int y,
                    int width, int height, HWND parent, UINT id);

  // Every message of the window; the default passes it to DefWindowProc.
  virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Called at WM_NCDESTROY, after which the object is detached.
  virtual void windowDestroyed() {}

  HWND hwnd_ = nullptr;

 private:
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// Anchors of a child control, as sets of edges whose distance is kept.
enum Anchor : unsigned {
  kAnchorLeft = 1,
  kAnchorTop = 2,
  kAnchorRight = 4,
  kAnchorBottom = 8,
  kAnchorLeftTop = kAnchorLeft | kAnchorTop,
};

// Geometry and state helpers for one child window.
class Control {
 public:
  // Takes the child `hwnd` with its design bounds inside a parent whose
  // client area is parentWidth x parentHeight at design time; the anchor
  // distances are measured against that size.
  void attach(HWND hwnd, unsigned anchors, int parentWidth, int parentHeight);
  HWND handle() const { return hwnd_; }

  int left() const { return left_; }
  int top() const { return top_; }
  int width() const { return width_; }
  int height() const { return height_; }

  // Moves the control and measures the anchor distances afresh. The height
  // never goes below the minimum height.
  void setBounds(int left, int top, int width, int height);
  void setLeft(int left) { setBounds(left, top_, width_, height_); }
  void setWidth(int width) { setBounds(left_, top_, width, height_); }
  void setHeight(int height) { setBounds(left_, top_, width_, height); }
  void setMinHeight(int minHeight) { minHeight_ = minHeight; }

  // Keeps the anchored distances after the parent's client area changed.
  void parentResized(int parentWidth, int parentHeight);

  void setVisible(bool visible);
  bool visible() const;
  void setEnabled(bool enabled);
  bool enabled() const;
  void setText(const std::string& text);
  std::string text() const;
  void setFocus();

 private:
  void apply();

  HWND hwnd_ = nullptr;
  unsigned anchors_ = kAnchorLeftTop;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  int parentWidth_ = 0, parentHeight_ = 0;
  int rightGap_ = 0, bottomGap_ = 0;
  int minHeight_ = 0;
};

// Text of any window (WM_GETTEXT), for captions and control texts.
std::string WindowText(HWND hwnd);

}  // namespace ss
