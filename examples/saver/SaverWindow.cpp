#include "examples/saver/SaverWindow.h"

#include <algorithm>
#include <cstdlib>

#include "core/WinFile.h"
#include "core/WinHandles.h"

namespace ss::sample {

namespace {

constexpr char kWindowClass[] = "SampleAquariumSaverWindow";
constexpr UINT_PTR kSlideTimer = 1;
constexpr UINT_PTR kFrameTimer = 2;
constexpr UINT kFrameMs = 100;
constexpr int kMouseSlack = 8;  // pixels a mouse may drift before the show ends

// Painters of the two support libraries in the install directory. Both are
// optional: without them the show draws plain pictures and text.
using PaintBubblesFn = void(__cdecl*)(HDC dc, int width, int height, unsigned frame);
using PaintCaptionFn = void(__cdecl*)(HDC dc, const RECT* area, const char* text);

// Files above 1 MiB are refused: nothing the engine reads is that big.
constexpr DWORD kMaxReadFile = 1u << 20;

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One window of the show; `this` travels in the window's user data.
class SaverWindow {
 public:
  SaverWindow(const SlideShowContent& content, bool preview) : content_(content), preview_(preview) {}
  ~SaverWindow() {
    if (bitmap_) DeleteObject(bitmap_);
  }
  SaverWindow(const SaverWindow&) = delete;
  SaverWindow& operator=(const SaverWindow&) = delete;

  static bool Register(HINSTANCE instance) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, kWindowClass, &existing)) return true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = &SaverWindow::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    return RegisterClassA(&wc) != 0;
  }

  HWND Create(HINSTANCE instance, HWND parent) {
    // The preview holds no file of the install directory open (pictures
    // and settings are read and closed), so that the screen saver can be
    // removed while the Display control panel shows it; it draws without
    // the support libraries.
    if (!parent) LoadLibraries();
    if (parent) {
      parent_ = parent;
      RECT rc;
      GetClientRect(parent, &rc);
      return CreateWindowExA(0, kWindowClass, "", WS_CHILD | WS_VISIBLE, 0, 0, rc.right, rc.bottom,
                             parent, nullptr, instance, this);
    }
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0) {  // systems without the virtual-screen metrics
      x = y = 0;
      w = GetSystemMetrics(SM_CXSCREEN);
      h = GetSystemMetrics(SM_CYSCREEN);
    }
    GetCursorPos(&startCursor_);
    return CreateWindowExA(WS_EX_TOPMOST, kWindowClass, content_.settings.caption.c_str(),
                           WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr, instance, this);
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    SaverWindow* self;
    if (msg == WM_NCCREATE) {
      self = static_cast<SaverWindow*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->hwnd_ = hwnd;
    } else {
      self = reinterpret_cast<SaverWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    return self ? self->Handle(msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
  }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_CREATE:
        ShowPicture(0);
        SetTimer(hwnd_, kSlideTimer, content_.settings.slideSeconds * 1000, nullptr);
        SetTimer(hwnd_, kFrameTimer, kFrameMs, nullptr);
        return 0;
      case WM_TIMER:
        if (wp == kSlideTimer) {
          ShowPicture(index_ + 1);
        } else {
          ++frame_;
          // The preview ends with the window it is drawn into, even where
          // the system does not take the child window down with it.
          if (preview_ && !IsWindow(parent_)) {
            End();
            return 0;
          }
        }
        InvalidateRect(hwnd_, nullptr, FALSE);
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_PAINT:
        Paint();
        return 0;
      case WM_SETCURSOR:
        if (!preview_) {
          SetCursor(nullptr);
          return TRUE;
        }
        break;
      case WM_MOUSEMOVE:
        if (!preview_) {
          POINT p;
          GetCursorPos(&p);
          if (std::abs(p.x - startCursor_.x) + std::abs(p.y - startCursor_.y) > kMouseSlack) End();
        }
        return 0;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        if (!preview_) End();
        return 0;
      case WM_CLOSE:
        End();
        return 0;
      case WM_DESTROY:
        KillTimer(hwnd_, kSlideTimer);
        KillTimer(hwnd_, kFrameTimer);
        PostQuitMessage(0);
        return 0;
      default:
        break;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
  }

  void End() {
    if (!ending_) {
      ending_ = true;
      DestroyWindow(hwnd_);
    }
  }

  void LoadLibraries() {
    fx_.reset(LoadLibraryA((content_.installDir + "aquafx.dll").c_str()));
    if (fx_) bubbles_ = reinterpret_cast<PaintBubblesFn>(reinterpret_cast<void (*)()>(GetProcAddress(fx_.get(), "PaintBubbles")));
    cap_.reset(LoadLibraryA((content_.installDir + "aquacap.dll").c_str()));
    if (cap_) caption_ = reinterpret_cast<PaintCaptionFn>(reinterpret_cast<void (*)()>(GetProcAddress(cap_.get(), "PaintCaption")));
  }

  // Loads picture `index` (wrapping around); a picture that does not load
  // is passed over, so one damaged file does not stop the show.
  void ShowPicture(size_t index) {
    const size_t count = content_.pictures.size();
    for (size_t tries = 0; tries < count; ++tries) {
      const size_t i = (index + tries) % count;
      HBITMAP b = static_cast<HBITMAP>(LoadImageA(nullptr, content_.pictures[i].c_str(), IMAGE_BITMAP,
                                                  0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
      if (b) {
        if (bitmap_) DeleteObject(bitmap_);
        bitmap_ = b;
        index_ = i;
        return;
      }
    }
  }

  void Paint() {
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(hwnd_, &ps);
    RECT rc;
    GetClientRect(hwnd_, &rc);
    const int w = rc.right, h = rc.bottom;
    // Drawn off screen first, so the frames do not flicker.
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP back = CreateCompatibleBitmap(screen, w > 0 ? w : 1, h > 0 ? h : 1);
    HGDIOBJ oldBack = SelectObject(dc, back);
    HBRUSH bg = CreateSolidBrush(content_.settings.backgroundColour);
    FillRect(dc, &rc, bg);
    DeleteObject(bg);

    if (bitmap_) {
      BITMAP bm{};
      GetObjectA(bitmap_, sizeof bm, &bm);
      // As large as fits, keeping the picture's proportions.
      int dw = w, dh = bm.bmWidth > 0 ? static_cast<int>(static_cast<long long>(w) * bm.bmHeight / bm.bmWidth) : h;
      if (dh > h) {
        dh = h;
        dw = bm.bmHeight > 0 ? static_cast<int>(static_cast<long long>(h) * bm.bmWidth / bm.bmHeight) : w;
      }
      HDC src = CreateCompatibleDC(dc);
      HGDIOBJ oldSrc = SelectObject(src, bitmap_);
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchBlt(dc, (w - dw) / 2, (h - dh) / 2, dw, dh, src, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
      SelectObject(src, oldSrc);
      DeleteDC(src);
    }
    if (bubbles_) bubbles_(dc, w, h, frame_);

    std::string text;
    if (content_.pictures.empty()) {
      text = "No pictures in " + content_.installDir;
    } else if (content_.settings.showCaptions && index_ < content_.pictures.size()) {
      text = PictureCaption(content_, content_.pictures[index_]);
    }
    if (!preview_ && !text.empty()) {
      RECT area{0, h - h / 8, w, h};
      if (caption_) {
        caption_(dc, &area, text.c_str());
      } else {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        DrawTextA(dc, text.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      }
    }
    if (!preview_ && !content_.settingsError.empty()) {
      RECT top{8, 8, w - 8, 40};
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 230, 0));
      DrawTextA(dc, content_.settingsError.c_str(), -1, &top, DT_LEFT | DT_SINGLELINE);
    }

    BitBlt(screen, 0, 0, w, h, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBack);
    DeleteObject(back);
    DeleteDC(dc);
    EndPaint(hwnd_, &ps);
  }

  const SlideShowContent& content_;
  bool preview_;
  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  size_t index_ = 0;
  unsigned frame_ = 0;
  bool ending_ = false;
  POINT startCursor_{};
  LibraryHandle fx_;
  LibraryHandle cap_;
  PaintBubblesFn bubbles_ = nullptr;
  PaintCaptionFn caption_ = nullptr;
};

int MessageLoop() {
  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
    if (got == -1) return LastErrorOr(kErrGeneric);
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

SlideShowContent LoadSlideShowContent(const SaverLocation& location) {
  SlideShowContent c;
  c.installDir = location.installDir;
  c.settings.caption = location.title;
  std::string dat;
  SampleSettings read;
  std::string error;
  if (ReadWholeFile(location.settingsPath, kMaxReadFile, &dat) != kOk) {
    c.settingsError = "saver.dat could not be read in " + location.installDir + "; the defaults are used";
  } else if (!ParseSaverDat(reinterpret_cast<const uint8_t*>(dat.data()), dat.size(), &read, &error)) {
    c.settingsError = error + "; the defaults are used";
  } else {
    c.settings = read;
  }

  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA((location.installDir + "*.bmp").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) c.pictures.push_back(fd.cFileName);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
  }
  std::sort(c.pictures.begin(), c.pictures.end(),
            [](const std::string& a, const std::string& b) { return LowerAscii(a) < LowerAscii(b); });
  for (std::string& p : c.pictures) p = location.installDir + p;

  std::string captions;
  if (ReadWholeFile(location.installDir + "captions.txt", kMaxReadFile, &captions) == kOk) {
    c.captions = ParseCaptions(captions);
  }
  return c;
}

std::string PictureCaption(const SlideShowContent& content, const std::string& picturePath) {
  std::string text = content.settings.caption;
  const auto it = content.captions.find(LowerAscii(BaseName(picturePath)));
  if (it != content.captions.end() && !it->second.empty()) {
    text += text.empty() ? it->second : " - " + it->second;
  }
  return text;
}

Result RunSlideShow(HINSTANCE instance, const SlideShowContent& content) {
  // A second start while the show runs (the system may send one) keeps the
  // first.
  if (FindWindowA(kWindowClass, nullptr)) return kOk;
  if (!SaverWindow::Register(instance)) return LastErrorOr(kErrGeneric);
  SaverWindow window(content, false);
  if (!window.Create(instance, nullptr)) return LastErrorOr(kErrGeneric);
  ShowCursor(FALSE);
  const int rc = MessageLoop();
  ShowCursor(TRUE);
  return rc;
}

Result RunPreview(HINSTANCE instance, HWND parent, const SlideShowContent& content) {
  if (!IsWindow(parent)) return ERROR_INVALID_WINDOW_HANDLE;
  if (!SaverWindow::Register(instance)) return LastErrorOr(kErrGeneric);
  SaverWindow window(content, true);
  if (!window.Create(instance, parent)) return LastErrorOr(kErrGeneric);
  // The child is destroyed with its parent, which ends the loop.
  return MessageLoop();
}

std::string SettingsNoteText(const SaverLocation& location, const SlideShowContent& content) {
  std::string text = content.settings.caption + "\r\n\r\n";
  text += "Pictures: " + std::to_string(content.pictures.size()) + " in " + location.installDir + "\r\n";
  text += "Each picture stays " + std::to_string(content.settings.slideSeconds) + " seconds.\r\n";
  text += content.settings.showCaptions ? "Captions are shown.\r\n" : "Captions are hidden.\r\n";
  if (!content.settingsError.empty()) text += "\r\n" + content.settingsError + ".\r\n";
  text += "\r\nThis sample has nothing to set up: its settings come with the installer (saver.dat).";
  return text;
}

}  // namespace ss::sample
