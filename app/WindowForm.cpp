// The application object and the form building blocks: the title window,
// the message loops and hook, timers, panels, images and forms.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/WindowForm.h"

namespace ss {

namespace {

// Posted by Form::release: the form destroys its window when it gets it.
constexpr UINT kMsgRelease = WM_APP + 1;
// Marks the top-level windows that are forms of this program, so that the
// message loop gives them dialog keyboard handling (Tab between controls).
constexpr char kFormProperty[] = "ss.form";
constexpr char kPanelClass[] = "SsPanel";
constexpr char kImageClass[] = "SsImage";
constexpr char kTitleClass[] = "SsApplication";

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// Registers the common control classes (the progress bar) for the first
// window. comctl32.dll is loaded here instead of imported: its start-up
// connects to the display, which a quiet run, making no window, does
// without. Where the system has the side-by-side store (XP on, which has
// ActivateActCtx) it is loaded by name, so that the manifest's version 6
// comes from that store as the import's did; elsewhere (95 to 2000) by its
// full path in the system directory, never from beside the installer. It
// stays loaded for the life of the process.
void InitCommonControlClasses(DWORD classes) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  HMODULE library = nullptr;
  if (kernel != nullptr && GetProcAddress(kernel, "ActivateActCtx") != nullptr) {
    library = LoadLibraryA("comctl32.dll");
  } else {
    char dir[MAX_PATH];
    const UINT n = GetSystemDirectoryA(dir, MAX_PATH);
    if (n > 0 && n < MAX_PATH) library = LoadLibraryA((std::string(dir, n) + "\\comctl32.dll").c_str());
  }
  if (library == nullptr) return;
  using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (auto init = reinterpret_cast<InitEx>(reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControlsEx")))) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = classes;
    init(&controls);
  }
}

}  // namespace

// ---------------------------------------------------------------- Application

Application& App() {
  static Application application;
  return application;
}

HFONT FormFont() {
  static FontHandle font(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif"));
  return font.get() != nullptr ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool Application::Initialize() {
  if (initialized_) return true;
  InitCommonControlClasses(ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES);

  if (!Window::RegisterClass(kPanelClass, nullptr) || !Window::RegisterClass(kImageClass, nullptr)) return false;

  WNDCLASSEXA titleClass{};
  titleClass.cbSize = sizeof(titleClass);
  if (!GetClassInfoExA(Instance(), kTitleClass, &titleClass)) {
    titleClass = WNDCLASSEXA{};
    titleClass.cbSize = sizeof(titleClass);
    titleClass.lpfnWndProc = &Application::TitleWindowProc;
    titleClass.hInstance = Instance();
    titleClass.lpszClassName = kTitleClass;
    RegisterClassExA(&titleClass);
  }
  // The application's own window: shown, but of no size, so that all the
  // user sees of it is its taskbar button with the application title. The
  // forms are owned by it and so have no buttons of their own.
  titleWindow_ = CreateWindowExA(0, kTitleClass, title_.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                 GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                 nullptr, nullptr, Instance(), nullptr);
  if (titleWindow_ != nullptr) ShowWindow(titleWindow_, SW_SHOWNOACTIVATE);

  // A thread hook sees every message any loop of this thread removes from
  // the queue, the loops of modal boxes and of hosted controls included.
  getMessageHook_.reset(SetWindowsHookExA(WH_GETMESSAGE, &Application::GetMessageHook, nullptr,
                                          GetCurrentThreadId()));
  initialized_ = true;
  return true;
}

// Pressing the taskbar button activates the application's window: the
// activation goes on to the window the user last worked in (a form or one of
// its boxes), as long as it can take it.
LRESULT CALLBACK Application::TitleWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
    HWND last = GetLastActivePopup(hwnd);
    if (last != hwnd && IsWindowVisible(last) && IsWindowEnabled(last)) {
      SetActiveWindow(last);
      return 0;
    }
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

void Application::SetTitle(const std::string& title) {
  title_ = title;
  if (titleWindow_ != nullptr) SetWindowTextA(titleWindow_, title_.c_str());
}

void Application::FormCreated(HWND form) {
  if (mainWindow_ == nullptr || !IsWindow(mainWindow_)) mainWindow_ = form;
}

LRESULT CALLBACK Application::GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    Application& app = App();
    if (app.hook_ && message->message != WM_NULL) {
      bool handled = false;
      app.hook_(*message, handled);
      if (handled) {
        // Dispatching a null message to no window does nothing at all.
        message->message = WM_NULL;
        message->hwnd = nullptr;
        message->wParam = 0;
        message->lParam = 0;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool Application::processOne() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  if (message.message == WM_NULL && message.hwnd == nullptr) return true;
  if (message.hwnd != nullptr) {
    // The top-level window the message is for (GetAncestor's GA_ROOT, which
    // Windows 95 and NT 4.0 lack): up through the parents while a child.
    HWND root = message.hwnd;
    while (root != nullptr && (GetWindowLongA(root, GWL_STYLE) & WS_CHILD) != 0) root = GetParent(root);
    if (root != nullptr && GetPropA(root, kFormProperty) != nullptr && IsDialogMessageA(root, &message)) {
      return true;
    }
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void Application::ProcessMessages() {
  while (processOne()) {
  }
}

void Application::HandleMessage() {
  if (!processOne()) WaitMessage();
}

void Application::Run() {
  while (!terminated_) HandleMessage();
}

void Application::BringToFront() {
  HWND target = activeForm_;
  if (target == nullptr || !IsWindow(target) || !IsWindowVisible(target)) target = mainWindow_;
  if (target != nullptr && IsWindow(target) && IsWindowVisible(target)) SetForegroundWindow(target);
}

void Application::BeginWait() {
  HCURSOR wait = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
  if (waits_++ == 0) {
    cursorBeforeWait_ = SetCursor(wait);
  } else {
    SetCursor(wait);
  }
}

void Application::EndWait() {
  if (waits_ == 0) return;
  if (--waits_ == 0) SetCursor(cursorBeforeWait_);
}

// ---------------------------------------------------------------- FormTimer

void FormTimer::setEnabled(bool enabled) {
  if (owner_ == nullptr) {
    enabled_ = false;
    return;
  }
  if (enabled) {
    enabled_ = SetTimer(owner_, id_, interval_, nullptr) != 0;
  } else {
    KillTimer(owner_, id_);
    enabled_ = false;
  }
}

// ---------------------------------------------------------------- Panel, image

HWND CreateChild(const char* className, const char* text, DWORD style, DWORD exStyle, HWND parent, UINT id,
                 int left, int top, int width, int height) {
  HWND hwnd = CreateWindowExA(exStyle, className, text, style | WS_CHILD, left, top, width, height, parent,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), Instance(), nullptr);
  if (hwnd != nullptr) SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);
  return hwnd;
}

bool Panel::create(HWND parent, int left, int top, int width, int height, unsigned anchors, int parentWidth,
                   int parentHeight, bool loweredBevel) {
  loweredBevel_ = loweredBevel;
  if (!createWindow(kPanelClass, WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                    "", left, top, width, height, parent, 0)) {
    return false;
  }
  control.attach(hwnd_, anchors, parentWidth, parentHeight);
  return true;
}

LRESULT Panel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      RECT rect;
      GetClientRect(hwnd_, &rect);
      FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
      if (loweredBevel_) DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
      EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_SIZE: {
      RECT rect;
      GetClientRect(hwnd_, &rect);
      for (Control* child : anchored_) child->parentResized(rect.right, rect.bottom);
      return 0;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      // The form handles its controls, wherever they sit.
      if (HWND parent = GetParent(hwnd_)) return SendMessageA(parent, message, wParam, lParam);
      break;
    default:
      break;
  }
  return Window::handleMessage(message, wParam, lParam);
}

bool ImagePanel::create(HWND parent, int left, int top, int width, int height, unsigned anchors,
                        int parentWidth, int parentHeight) {
  if (!createWindow(kImageClass, 0, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, "", left, top, width, height,
                    parent, 0)) {
    return false;
  }
  control.attach(hwnd_, anchors, parentWidth, parentHeight);
  return true;
}

void ImagePanel::setPicture(HBITMAP bitmap) {
  picture_.reset(bitmap);
  if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT ImagePanel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      RECT rect;
      GetClientRect(hwnd_, &rect);
      BITMAP info{};
      if (picture_ && GetObjectA(picture_.get(), sizeof(info), &info) != 0) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, picture_.get());
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, rect.right, rect.bottom, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
      } else {
        FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
      }
      EndPaint(hwnd_, &paint);
      return 0;
    }
    default:
      break;
  }
  return Window::handleMessage(message, wParam, lParam);
}

// ---------------------------------------------------------------- Form

namespace {
constexpr DWORD kFixedStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
}

Form::~Form() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) {
    HWND hwnd = hwnd_;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    RemovePropA(hwnd, kFormProperty);
    DestroyWindow(hwnd);
  }
}

bool Form::createForm(const char* className, DWORD exStyle, const char* caption, int left, int top, int width,
                      int height, bool visible) {
  App().Initialize();
  if (!RegisterClass(className, GetSysColorBrush(COLOR_BTNFACE))) return false;
  if (!createWindow(className, exStyle, kFixedStyle, caption, left, top, width, height, App().TitleWindow(), 0)) {
    return false;
  }
  SetPropA(hwnd_, kFormProperty, reinterpret_cast<HANDLE>(1));
  App().FormCreated(hwnd_);
  createComponents();
  FormCreate();
  if (visible && exists() && !closed_ && !App().Terminated()) show();
  return true;
}

void Form::setBorderSizeable(bool sizeable) {
  if (!exists()) return;
  LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
  style &= ~(WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
  style |= WS_CAPTION | WS_SYSMENU;
  if (sizeable) style |= WS_THICKFRAME;
  SetWindowLongA(hwnd_, GWL_STYLE, style);
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Form::borderSizeable() const { return exists() && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_THICKFRAME) != 0; }

void Form::setMinimumSize(int width, int height) {
  minWidth_ = width;
  minHeight_ = height;
  if (exists() && (this->width() < width || this->height() < height)) {
    setBounds(left(), top(), std::max(this->width(), width), std::max(this->height(), height));
  }
}

void Form::setCaption(const std::string& caption) {
  if (exists()) SetWindowTextA(hwnd_, caption.c_str());
}

std::string Form::caption() const { return WindowText(hwnd_); }

namespace {
RECT OuterRect(HWND hwnd) {
  RECT rect{};
  if (hwnd != nullptr) GetWindowRect(hwnd, &rect);
  return rect;
}
RECT InnerRect(HWND hwnd) {
  RECT rect{};
  if (hwnd != nullptr) GetClientRect(hwnd, &rect);
  return rect;
}
}  // namespace

int Form::left() const { return OuterRect(hwnd_).left; }
int Form::top() const { return OuterRect(hwnd_).top; }
int Form::width() const {
  RECT rect = OuterRect(hwnd_);
  return rect.right - rect.left;
}
int Form::height() const {
  RECT rect = OuterRect(hwnd_);
  return rect.bottom - rect.top;
}
int Form::clientWidth() const { return InnerRect(hwnd_).right; }
int Form::clientHeight() const { return InnerRect(hwnd_).bottom; }

void Form::setBounds(int left, int top, int width, int height) {
  if (exists()) SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::setPosition(int left, int top) {
  if (exists()) SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::show() {
  if (exists()) ShowWindow(hwnd_, SW_SHOW);
}

void Form::hide() {
  if (exists()) ShowWindow(hwnd_, SW_HIDE);
}

bool Form::visible() const { return exists() && IsWindowVisible(hwnd_) != FALSE; }

void Form::setNormalState() {
  if (exists() && (IsIconic(hwnd_) || IsZoomed(hwnd_))) ShowWindow(hwnd_, SW_RESTORE);
}

void Form::close() {
  if (closed_ || !exists()) return;
  if (!FormCloseQuery()) return;
  FormClose();
}

void Form::release() {
  closed_ = true;
  if (exists()) PostMessageA(hwnd_, kMsgRelease, 0, 0);
}

LRESULT Form::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      close();
      return 0;
    case WM_SIZE:
      FormResize();
      return 0;
    case WM_SHOWWINDOW:
      // An explicit show (not a parent being restored) is the form's show.
      if (wParam != FALSE && lParam == 0) FormShow();
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) App().FormActivated(hwnd_);
      break;
    case WM_GETMINMAXINFO:
      if (minWidth_ > 0 || minHeight_ > 0) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = std::max<LONG>(info->ptMinTrackSize.x, minWidth_);
        info->ptMinTrackSize.y = std::max<LONG>(info->ptMinTrackSize.y, minHeight_);
        return 0;
      }
      break;
    case WM_WINDOWPOSCHANGING: {
      // Sizes set from code obey the minimum too, not only dragging.
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (!(pos->flags & SWP_NOSIZE)) {
        if (pos->cx < minWidth_) pos->cx = minWidth_;
        if (pos->cy < minHeight_) pos->cy = minHeight_;
      }
      break;
    }
    case WM_COMMAND:
      if (lParam != 0) {
        onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
      }
      break;
    case WM_TIMER:
      onTimer(static_cast<UINT>(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (HBRUSH brush = controlBrush(reinterpret_cast<HWND>(lParam), dc)) return reinterpret_cast<LRESULT>(brush);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      // Over the form and its controls (whose WM_SETCURSOR asks the parent
      // first) the hourglass stays while the application waits.
      if (App().Waiting() && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        return TRUE;
      }
      break;
    case WM_QUERYENDSESSION:
      return FormQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      if (wParam != FALSE) FormEndSession();
      return 0;
    case kMsgRelease:
      RemovePropA(hwnd_, kFormProperty);
      DestroyWindow(hwnd_);
      return 0;
    default:
      break;
  }
  return Window::handleMessage(message, wParam, lParam);
}

}  // namespace ss
