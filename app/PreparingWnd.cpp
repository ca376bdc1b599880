// The preparing window.
#include "app/PreparingWnd.h"

#include <windows.h>

#include <vector>

#include "core/Strings.h"

namespace ss {

TpreparingInstallWnd* preparingInstallWnd = nullptr;

namespace {
constexpr char kClassName[] = "TpreparingInstallWnd";
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// The label's design-time caption; FormCreate replaces it before it is seen.
constexpr char kDesignCaption[] = "Installation wird vorbereitet...";
}  // namespace

TpreparingInstallWnd::~TpreparingInstallWnd() {
  if (preparingInstallWnd == this) preparingInstallWnd = nullptr;
}

bool TpreparingInstallWnd::create() {
  preparingInstallWnd = this;
  RECT outer{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  if (!createForm(kClassName, 0, "", kOffScreen, kOffScreen, outer.right - outer.left, outer.bottom - outer.top,
                  true)) {
    preparingInstallWnd = nullptr;
    return false;
  }
  return true;
}

void TpreparingInstallWnd::createComponents() {
  // One label over the whole client area, its text centred both ways.
  HWND label = CreateChild("STATIC", kDesignCaption, WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, 0,
                           hwnd_, 1, 0, 0, clientWidth(), clientHeight());
  Label1.attach(label, kAnchorLeftTop, clientWidth(), clientHeight());
}

void TpreparingInstallWnd::FormCreate() { setText(LoadStr(StringId::PreparingInstallation)); }

void TpreparingInstallWnd::FormResize() {
  if (Label1.handle() != nullptr) Label1.setBounds(0, 0, clientWidth(), clientHeight());
}

void TpreparingInstallWnd::setText(const std::string& text) {
  Label1.setText(text);
  App().ProcessMessages();
}

void TpreparingInstallWnd::moveOffScreen() { setPosition(kOffScreen, kOffScreen); }

void TpreparingInstallWnd::centreOnScreen() {
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  // Integer division truncating toward zero, also for a window larger than
  // the screen.
  setPosition((screenWidth - width()) / 2, (screenHeight - height()) / 2);
  App().ProcessMessages();
}

std::string ExeFileName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ModulePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace ss
