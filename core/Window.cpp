// The window wrapper: a window whose procedure forwards to its object, the
// geometry of one child control, and the text of any window.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/Window.h"

namespace ss {

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

}  // namespace

// ---------------------------------------------------------------- Window

Window::~Window() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
}

bool Window::RegisterClass(const char* className, HBRUSH background, UINT style) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExA(Instance(), className, &existing)) return true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = &Window::StaticProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = background;
  wc.lpszClassName = className;
  return RegisterClassExA(&wc) != 0;
}

bool Window::createWindow(const char* className, DWORD exStyle, DWORD style, const char* caption, int x, int y,
                          int width, int height, HWND parent, UINT id) {
  HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
  HWND hwnd = CreateWindowExA(exStyle, className, caption, style, x, y, width, height, parent, menu, Instance(),
                              this);
  if (hwnd == nullptr) {
    hwnd_ = nullptr;
    return false;
  }
  hwnd_ = hwnd;
  return true;
}

LRESULT Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    self = static_cast<Window*>(create->lpCreateParams);
    if (self != nullptr) {
      self->hwnd_ = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  // Messages before WM_NCCREATE, and after the object let go, need no object.
  if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    LRESULT result = self->handleMessage(message, wParam, lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->windowDestroyed();
    return result;
  }
  return self->handleMessage(message, wParam, lParam);
}

std::string WindowText(HWND hwnd) {
  if (hwnd == nullptr) return std::string();
  const int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  const int got = GetWindowTextA(hwnd, buffer.data(), length + 1);
  return std::string(buffer.data(), static_cast<size_t>(std::max(got, 0)));
}

// ---------------------------------------------------------------- Control

void Control::attach(HWND hwnd, unsigned anchors, int parentWidth, int parentHeight) {
  hwnd_ = hwnd;
  anchors_ = anchors;
  parentWidth_ = parentWidth;
  parentHeight_ = parentHeight;
  RECT rect{};
  if (hwnd != nullptr && GetWindowRect(hwnd, &rect)) {
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&rect), 2);
  }
  left_ = rect.left;
  top_ = rect.top;
  width_ = rect.right - rect.left;
  height_ = rect.bottom - rect.top;
  rightGap_ = parentWidth_ - (left_ + width_);
  bottomGap_ = parentHeight_ - (top_ + height_);
}

void Control::setBounds(int left, int top, int width, int height) {
  if (height < minHeight_) height = minHeight_;
  left_ = left;
  top_ = top;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  rightGap_ = parentWidth_ - (left_ + width_);
  bottomGap_ = parentHeight_ - (top_ + height_);
  apply();
}

void Control::parentResized(int parentWidth, int parentHeight) {
  if (anchors_ & kAnchorRight) {
    if (anchors_ & kAnchorLeft) {
      width_ = std::max(parentWidth - left_ - rightGap_, 0);
    } else {
      left_ = parentWidth - rightGap_ - width_;
    }
  }
  if (anchors_ & kAnchorBottom) {
    if (anchors_ & kAnchorTop) {
      height_ = std::max(parentHeight - top_ - bottomGap_, minHeight_);
    } else {
      top_ = parentHeight - bottomGap_ - height_;
    }
  }
  parentWidth_ = parentWidth;
  parentHeight_ = parentHeight;
  apply();
}

void Control::apply() {
  if (hwnd_ != nullptr) MoveWindow(hwnd_, left_, top_, width_, height_, TRUE);
}

void Control::setVisible(bool visible) {
  if (hwnd_ != nullptr) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool Control::visible() const {
  return hwnd_ != nullptr && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::setEnabled(bool enabled) {
  if (hwnd_ != nullptr) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

bool Control::enabled() const { return hwnd_ != nullptr && IsWindowEnabled(hwnd_) != FALSE; }

void Control::setText(const std::string& text) {
  if (hwnd_ != nullptr) SetWindowTextA(hwnd_, text.c_str());
}

std::string Control::text() const { return WindowText(hwnd_); }

void Control::setFocus() {
  if (hwnd_ != nullptr) SetFocus(hwnd_);
}

}  // namespace ss
