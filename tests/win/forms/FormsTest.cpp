// The installer's windows, created for real in this process and read back
// from the live windows: geometry, button states, the right-button filter,
// closing, the pause and the silent mode. Needs a display (Xvfb under Wine).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "app/InstallerForm.h"
#include "app/PreparingWnd.h"
#include "app/WindowForm.h"
#include "core/Strings.h"
#include "tests/support/WinFiles.h"
#include "winsys/LMT_FileUtils.h"

namespace {

using ss::App;
using ss::TInstallerForm;
using ss::TpreparingInstallWnd;

RECT ScreenRect(HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  return rect;
}

// Rectangle of a child in its top-level window's client coordinates.
RECT ClientRectIn(HWND child, HWND form) {
  RECT rect = ScreenRect(child);
  MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }

RECT ClientRect(HWND hwnd) {
  RECT rect{};
  GetClientRect(hwnd, &rect);
  return rect;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

// Counts, per window, the messages that reach its window procedure.
class MessageCounter {
 public:
  void watch(HWND hwnd) {
    auto old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageCounter::Proc)));
    originals()[hwnd] = old;
  }
  static int count(HWND hwnd, UINT message) { return counts()[{hwnd, message}]; }
  static void reset() { counts().clear(); }
  ~MessageCounter() {
    for (auto& [hwnd, proc] : originals()) {
      if (IsWindow(hwnd)) SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    }
    originals().clear();
    counts().clear();
  }

 private:
  static std::map<HWND, WNDPROC>& originals() {
    static std::map<HWND, WNDPROC> map;
    return map;
  }
  static std::map<std::pair<HWND, UINT>, int>& counts() {
    static std::map<std::pair<HWND, UINT>, int> map;
    return map;
  }
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ++counts()[{hwnd, message}];
    return CallWindowProcA(originals()[hwnd], hwnd, message, wParam, lParam);
  }
};

// A scratch folder under TEMP with a few files, one read-only, and a
// subfolder: what a work directory looks like when the window closes.
std::string MakeWorkDirectory(const char* name) {
  const std::string dir = sstest::TempDir() + name + "\\";
  ss::RemoveWorkDirectory(dir);
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA((dir + "sub").c_str(), nullptr);
  for (const char* file : {"temp.dat", "impborl.dll", "sub\\movie.swf", "licence.txt"}) {
    sstest::WriteAll(dir + file, {'d', 'a', 't', 'a'});
  }
  SetFileAttributesA((dir + "licence.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  return dir;
}

using sstest::Exists;

const std::string kLicence = "LICENCE AGREEMENT\nLine two of the licence.\r\nLine three.\n";

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(App().Initialize());
    App().ClearTerminated();
    preparing_ = std::make_unique<TpreparingInstallWnd>();
    ASSERT_TRUE(preparing_->create()) << "no window could be created: is DISPLAY set (Xvfb)?";
  }

  void TearDown() override {
    form_.reset();
    preparing_.reset();
    App().ProcessMessages();
    App().ClearTerminated();
  }

  // The installer window in its Ready phase, with or without a licence.
  TInstallerForm& readyForm(bool licence) {
    form_ = std::make_unique<TInstallerForm>([licence](TInstallerForm& form) {
      ss::ShowReadyPhase(form, "Install Test Screen Saver", licence ? &kLicence : nullptr);
    });
    EXPECT_TRUE(form_->create());
    App().ProcessMessages();
    return *form_;
  }

  std::unique_ptr<TpreparingInstallWnd> preparing_;
  std::unique_ptr<TInstallerForm> form_;
};

// ---------------------------------------------------------------- preparing window

TEST_F(FormsTest, PreparingWindowIsAFixedBoxCreatedVisibleOffScreen) {
  HWND hwnd = preparing_->handle();
  EXPECT_EQ(ss::preparingInstallWnd, preparing_.get());
  RECT client = ClientRect(hwnd);
  EXPECT_EQ(client.right, 264);
  EXPECT_EQ(client.bottom, 91);
  RECT outer = ScreenRect(hwnd);
  EXPECT_EQ(outer.left, -3000);
  EXPECT_EQ(outer.top, -3000);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

  // The label fills the client area and centres its text both ways.
  HWND label = preparing_->Label1.handle();
  EXPECT_EQ(preparing_->text(), "Preparing Installation...");
  RECT labelRect = ClientRectIn(label, hwnd);
  EXPECT_EQ(labelRect.left, 0);
  EXPECT_EQ(labelRect.top, 0);
  EXPECT_EQ(labelRect.right, 264);
  EXPECT_EQ(labelRect.bottom, 91);
  const LONG labelStyle = GetWindowLongA(label, GWL_STYLE);
  EXPECT_EQ(labelStyle & SS_TYPEMASK, SS_CENTER);
  EXPECT_TRUE(labelStyle & SS_CENTERIMAGE);

  preparing_->setText("Installing Screen Saver...");
  EXPECT_EQ(ss::WindowText(label), "Installing Screen Saver...");
}

TEST_F(FormsTest, PreparingWindowCentresAndGoesOffScreenAgain) {
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  preparing_->centreOnScreen();
  RECT outer = ScreenRect(preparing_->handle());
  EXPECT_EQ(outer.left, (screenWidth - Width(outer)) / 2);
  EXPECT_EQ(outer.top, (screenHeight - Height(outer)) / 2);

  // A quiet run keeps it off-screen: it exists and is "visible", yet no
  // pixel of it is on the screen.
  preparing_->moveOffScreen();
  outer = ScreenRect(preparing_->handle());
  EXPECT_EQ(outer.left, -3000);
  EXPECT_EQ(outer.top, -3000);
  RECT screen{0, 0, screenWidth, screenHeight};
  RECT overlap;
  EXPECT_FALSE(IntersectRect(&overlap, &outer, &screen));
  EXPECT_TRUE(IsWindowVisible(preparing_->handle()));
}

TEST_F(FormsTest, PreparingWindowIgnoresCloseRequests) {
  // Only the installer window may end the program (it removes the work
  // directory on the way out).
  PostMessageA(preparing_->handle(), WM_CLOSE, 0, 0);
  App().ProcessMessages();
  EXPECT_TRUE(IsWindow(preparing_->handle()));
  EXPECT_FALSE(App().Terminated());
}

TEST_F(FormsTest, AFormTakesItsWindowAlongAndPanelsLetGo) {
  // A form owns its window: the object going destroys the window and clears
  // the program's reference.
  HWND hwnd = preparing_->handle();
  preparing_.reset();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(ss::preparingInstallWnd, nullptr);

  // A panel does not own its window: it lets go, and the window, handled by
  // the default procedure from then on, still paints and resizes safely.
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  HWND panelWindow = nullptr;
  {
    ss::Panel panel;
    ASSERT_TRUE(panel.create(parent, 0, 0, 50, 50, ss::kAnchorLeftTop, 100, 100, true));
    panelWindow = panel.handle();
    EXPECT_EQ(GetWindowLongPtrA(panelWindow, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&panel));
  }
  ASSERT_TRUE(IsWindow(panelWindow));
  EXPECT_EQ(GetWindowLongPtrA(panelWindow, GWLP_USERDATA), 0);
  MoveWindow(panelWindow, 0, 0, 60, 60, TRUE);
  RedrawWindow(panelWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  DestroyWindow(parent);
  EXPECT_FALSE(IsWindow(panelWindow));
}

TEST(ExeFileNameTest, KeepsOnlyNameAndExtension) {
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Program Files\\Saver Kit\\Saver Setup.exe", "Saver Setup.exe"},
      {"C:/mixed\\slashes/setup.v2.exe", "setup.v2.exe"},
      {"\\\\server\\share\\install.exe", "install.exe"},
      {"D:setup.exe", "setup.exe"},
      {"plain.exe", "plain.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(ss::ExeFileName(c.path), c.name) << c.path;
  const std::string self = ss::ModulePath();
  EXPECT_NE(self.find('\\'), std::string::npos) << self;
  EXPECT_EQ(ss::ExeFileName(self), "forms_tests.exe");
}

// ---------------------------------------------------------------- geometry

TEST_F(FormsTest, ReadyWithoutLicenceHasFixedBorderAndEightyPixelInstall) {
  TInstallerForm& form = readyForm(false);
  HWND hwnd = form.handle();
  ASSERT_TRUE(IsWindowVisible(hwnd));
  EXPECT_FALSE(IsWindowVisible(preparing_->handle())) << "FormShow hides the preparing window";
  EXPECT_FALSE(GetWindowLongA(hwnd, GWL_STYLE) & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);

  RECT install = ScreenRect(form.installBtn.handle());
  RECT cancel = ScreenRect(form.cancelBtn.handle());
  EXPECT_EQ(Width(install), 80);
  EXPECT_EQ(Width(cancel), 80);
  EXPECT_EQ(install.right + 6, cancel.left);
  EXPECT_EQ(install.top, cancel.top);
  EXPECT_EQ(ss::WindowText(form.installBtn.handle()), "Install");
  EXPECT_EQ(ss::WindowText(form.cancelBtn.handle()), "Cancel");
  EXPECT_EQ(ss::WindowText(form.doneBtn.handle()), "Close");

  // Outer width 359; the height holds the presentation and the 63-pixel strip.
  RECT outer = ScreenRect(hwnd);
  RECT client = ClientRect(hwnd);
  EXPECT_EQ(Width(outer), 359);
  EXPECT_EQ(client.bottom, -1 + 152 + 63);
  RECT content = ClientRectIn(form.contentPanel.handle(), hwnd);
  EXPECT_EQ(content.top, -1);
  EXPECT_EQ(Height(content), 152);
  EXPECT_EQ(Width(content), client.right);
  RECT strip = ClientRectIn(form.buttonPanel.handle(), hwnd);
  EXPECT_EQ(strip.bottom, client.bottom);
  EXPECT_EQ(Height(strip), 63);
  EXPECT_EQ(Width(strip), client.right);
  EXPECT_FALSE(IsWindowVisible(form.licenseScrollBox.handle()));

  // Centred on the screen.
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - Width(outer)) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - Height(outer)) / 2);
}

TEST_F(FormsTest, ReadyPhaseButtonsStatusAndProgress) {
  TInstallerForm& form = readyForm(false);
  EXPECT_TRUE(IsWindowVisible(form.installBtn.handle()));
  EXPECT_TRUE(IsWindowEnabled(form.installBtn.handle()));
  EXPECT_TRUE(IsWindowVisible(form.cancelBtn.handle()));
  EXPECT_TRUE(IsWindowEnabled(form.cancelBtn.handle()));
  EXPECT_FALSE(IsWindowVisible(form.doneBtn.handle()));
  EXPECT_EQ(ScreenRect(form.doneBtn.handle()).left, ScreenRect(form.cancelBtn.handle()).left);
  EXPECT_FALSE(IsWindowVisible(form.labCopying.handle()));
  EXPECT_EQ(form.progressPosition(), 0);
  EXPECT_EQ(form.progressMax(), 10);

  // The window's font: "MS Sans Serif", height -11, ANSI character set.
  auto font = reinterpret_cast<HFONT>(SendMessageA(form.installBtn.handle(), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTA logFont{};
  ASSERT_NE(GetObjectA(font, sizeof(logFont), &logFont), 0);
  EXPECT_EQ(logFont.lfHeight, -11);
  EXPECT_STREQ(logFont.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(logFont.lfCharSet, ANSI_CHARSET);
}

TEST_F(FormsTest, LicenceMakesTheWindowSizeableWithAMinimum) {
  TInstallerForm& form = readyForm(true);
  HWND hwnd = form.handle();
  EXPECT_TRUE(GetWindowLongA(hwnd, GWL_STYLE) & WS_THICKFRAME);
  EXPECT_EQ(ss::WindowText(form.installBtn.handle()), "Accept and Install");
  RECT install = ScreenRect(form.installBtn.handle());
  RECT cancel = ScreenRect(form.cancelBtn.handle());
  EXPECT_EQ(Width(install), 115);
  EXPECT_EQ(install.right + 6, cancel.left);

  HWND box = form.licenseScrollBox.handle();
  EXPECT_TRUE(IsWindowVisible(box));
  EXPECT_TRUE(GetWindowLongA(box, GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(GetWindowLongA(box, GWL_STYLE) & WS_VSCROLL);
  // Bare line feeds become line breaks the text box shows.
  EXPECT_EQ(SendMessageA(box, EM_GETLINECOUNT, 0, 0), 4);
  EXPECT_EQ(Height(ScreenRect(box)), 103);
  EXPECT_EQ(ClientRect(hwnd).bottom, -1 + 152 + 103 + 4 + 63);

  // Neither code nor the user can make it smaller than 359 x 340.
  SetWindowPos(hwnd, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT outer = ScreenRect(hwnd);
  EXPECT_EQ(Width(outer), 359);
  EXPECT_EQ(Height(outer), 340);
  MINMAXINFO limits{};
  SendMessageA(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 359);
  EXPECT_EQ(limits.ptMinTrackSize.y, 340);
  // At the minimum the licence box keeps its own minimum height.
  EXPECT_GE(Height(ScreenRect(box)), 103);
  // Then it reaches into the strip; the strip stays on top, so the status
  // line and the buttons are never covered.
  RECT strip = ClientRectIn(form.buttonPanel.handle(), hwnd);
  POINT statusLine{strip.left + 20, strip.top + 4};
  EXPECT_EQ(ChildWindowFromPointEx(hwnd, statusLine, CWP_SKIPINVISIBLE), form.buttonPanel.handle());
}

TEST_F(FormsTest, ResizedLicenceWindowKeepsStripAndPresentation) {
  TInstallerForm& form = readyForm(true);
  HWND hwnd = form.handle();
  for (SIZE size : {SIZE{640, 520}, SIZE{800, 600}, SIZE{420, 400}}) {
    SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    App().ProcessMessages();
    RECT client = ClientRect(hwnd);
    ASSERT_EQ(Width(ScreenRect(hwnd)), size.cx);

    RECT strip = ClientRectIn(form.buttonPanel.handle(), hwnd);
    EXPECT_EQ(Height(strip), 63) << size.cx;
    EXPECT_EQ(strip.bottom, client.bottom);
    EXPECT_EQ(strip.left, 0);
    EXPECT_EQ(Width(strip), client.right);

    // The presentation keeps its place and height and takes the full width.
    RECT content = ClientRectIn(form.contentPanel.handle(), hwnd);
    EXPECT_EQ(content.top, -1);
    EXPECT_EQ(Height(content), 152);
    EXPECT_EQ(Width(content), client.right);

    // The licence text fills what is left between them.
    RECT box = ClientRectIn(form.licenseScrollBox.handle(), hwnd);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, content.bottom + 2);
    EXPECT_EQ(Width(box), client.right);
    EXPECT_EQ(box.bottom, strip.top - 4);

    // The buttons stay at the right, Install 6 pixels left of Cancel, and
    // the progress bar stretches with the strip.
    RECT install = ScreenRect(form.installBtn.handle());
    RECT cancel = ScreenRect(form.cancelBtn.handle());
    RECT stripScreen = ScreenRect(form.buttonPanel.handle());
    EXPECT_EQ(install.right + 6, cancel.left);
    EXPECT_EQ(stripScreen.right - cancel.right, 4);
    RECT progress = ScreenRect(form.progressBar.handle());
    EXPECT_EQ(progress.left - stripScreen.left, 1);
    EXPECT_EQ(stripScreen.right - progress.right, 4);
  }
}

// ---------------------------------------------------------------- movie panel

struct FakeMovie {
  int stops = 0;
  int tempRemovals = 0;
  void stopMovie() { ++stops; }
  void removeTempDirectory() { ++tempRemovals; }
};

// The panel's temporary folder goes on closing in every mode (the session's
// end closes the window the same way).
TEST_F(FormsTest, MoviePanelFillsThePresentationAndIsStoppedOnClose) {
  for (uint8_t mode : {ss::dmFlash, ss::dmSilent}) {
    App().ClearTerminated();
    TInstallerForm& form = readyForm(true);
    form.displayMode = mode;
    FakeMovie movie;
    ss::MoviePanelAdapter<FakeMovie> slot(movie);
    HWND content = form.contentPanel.handle();
    HWND window = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, content, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    form.setMoviePanel(&slot, window);
    for (int width : {359, 640, 500}) {
      SetWindowPos(form.handle(), nullptr, 0, 0, width, 420, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      RECT area = ClientRect(content);
      RECT inside = ClientRectIn(window, content);
      EXPECT_EQ(inside.left, 1) << width;
      EXPECT_EQ(inside.top, 1);
      EXPECT_EQ(inside.right, area.right - 1);
      EXPECT_EQ(inside.bottom, area.bottom - 1);
      EXPECT_EQ(Height(inside), 150);
    }
    PostMessageA(form.handle(), WM_CLOSE, 0, 0);
    App().ProcessMessages();
    // A quiet run never started a movie and leaves the panel alone.
    EXPECT_EQ(movie.stops, mode == ss::dmSilent ? 0 : 1) << int{mode};
    EXPECT_EQ(movie.tempRemovals, 1) << int{mode};
    EXPECT_TRUE(App().Terminated());
    form_.reset();
  }
}

// ---------------------------------------------------------------- right button

TEST_F(FormsTest, RightButtonPressIsDroppedForEveryWindow) {
  TInstallerForm& form = readyForm(true);
  MessageCounter counter;
  const HWND targets[] = {form.handle(), form.bmpPanel.handle(), form.contentPanel.handle(),
                          form.licenseScrollBox.handle(), form.cancelBtn.handle(), preparing_->handle()};
  for (HWND hwnd : targets) counter.watch(hwnd);
  for (HWND hwnd : targets) {
    for (UINT message : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE}) {
      PostMessageA(hwnd, message, message == WM_RBUTTONDOWN ? MK_RBUTTON : 0, MAKELPARAM(5, 5));
    }
  }
  App().ProcessMessages();
  for (HWND hwnd : targets) {
    EXPECT_EQ(MessageCounter::count(hwnd, WM_RBUTTONDOWN), 0) << hwnd;
    EXPECT_EQ(MessageCounter::count(hwnd, WM_RBUTTONUP), 1) << hwnd;
    EXPECT_EQ(MessageCounter::count(hwnd, WM_LBUTTONDOWN), 1) << hwnd;
    EXPECT_EQ(MessageCounter::count(hwnd, WM_MOUSEMOVE), 1) << hwnd;
  }
}

TEST_F(FormsTest, RealRightClickOverThePresentationNeverArrives) {
  TInstallerForm& form = readyForm(false);
  App().ProcessMessages();
  MessageCounter counter;
  HWND image = form.bmpPanel.handle();
  counter.watch(image);
  RECT rect = ScreenRect(image);
  SetForegroundWindow(form.handle());
  SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  INPUT clicks[4] = {};
  const DWORD flags[4] = {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 4; ++i) {
    clicks[i].type = INPUT_MOUSE;
    clicks[i].mi.dwFlags = flags[i];
  }
  ASSERT_EQ(SendInput(4, clicks, sizeof(INPUT)), 4u);
  // Input from the X server arrives asynchronously: wait for the left click
  // that follows the right one.
  const DWORD start = GetTickCount();
  while (MessageCounter::count(image, WM_LBUTTONUP) == 0 && GetTickCount() - start < 3000) {
    App().ProcessMessages();
    Sleep(10);
  }
  ASSERT_EQ(MessageCounter::count(image, WM_LBUTTONUP), 1) << "the mouse input never arrived";
  EXPECT_EQ(MessageCounter::count(image, WM_LBUTTONDOWN), 1);
  EXPECT_EQ(MessageCounter::count(image, WM_RBUTTONUP), 1);
  EXPECT_EQ(MessageCounter::count(image, WM_RBUTTONDOWN), 0);
}

// ---------------------------------------------------------------- closing

TEST_F(FormsTest, CloseIsRefusedWhileInstallingThenRemovesTheWorkDirectory) {
  TInstallerForm& form = readyForm(false);
  const std::string work = MakeWorkDirectory("ss-forms-close");
  form.setWorkDirectory(work);

  form.run.installRunning = true;
  PostMessageA(form.handle(), WM_CLOSE, 0, 0);
  App().ProcessMessages();
  EXPECT_TRUE(IsWindow(form.handle()));
  EXPECT_TRUE(Exists(work + "temp.dat"));
  EXPECT_FALSE(App().Terminated());

  form.run.installRunning = false;
  HWND hwnd = form.handle();
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  App().ProcessMessages();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(Exists(work)) << work;
  EXPECT_TRUE(App().Terminated());
}

TEST_F(FormsTest, CancelOutsideAnInstallEndsTheProgram) {
  TInstallerForm& form = readyForm(false);
  const std::string work = MakeWorkDirectory("ss-forms-cancel");
  form.setWorkDirectory(work);
  HWND hwnd = form.handle();
  PostMessageA(form.cancelBtn.handle(), BM_CLICK, 0, 0);
  App().ProcessMessages();
  EXPECT_TRUE(App().Terminated());
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(Exists(work));
}

TEST_F(FormsTest, InstallRunRefusesCloseAndIgnoresASecondClick) {
  TInstallerForm& form = readyForm(false);
  const std::string work = MakeWorkDirectory("ss-forms-install");
  form.setWorkDirectory(work);
  int runs = 0;
  bool stillOpenDuringRun = false;
  form.setInstallAction([&](TInstallerForm& f, ss::RunState& run) {
    ++runs;
    EXPECT_TRUE(run.installRunning);
    f.prepareFormForInstall();
    PostMessageA(f.handle(), WM_CLOSE, 0, 0);
    f.installBtnClick();  // nested click while running
    f.stepProgress();     // the close request is handled in here
    stillOpenDuringRun = IsWindow(f.handle()) && Exists(work);
    return ss::Result{32};
  });
  PostMessageA(form.installBtn.handle(), BM_CLICK, 0, 0);
  App().ProcessMessages();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(stillOpenDuringRun);
  EXPECT_FALSE(form.run.installRunning);
  // A failed run leaves the window open; Install stays disabled.
  EXPECT_TRUE(IsWindow(form.handle()));
  EXPECT_FALSE(IsWindowEnabled(form.installBtn.handle()));
  EXPECT_FALSE(App().Terminated());

  PostMessageA(form.handle(), WM_CLOSE, 0, 0);
  App().ProcessMessages();
  EXPECT_TRUE(App().Terminated());
  EXPECT_FALSE(Exists(work));
}

TEST_F(FormsTest, CancelDuringAnInstallAbortsAndReturnsToReady) {
  TInstallerForm& form = readyForm(false);
  std::string statusSeen;
  int positionSeen = -1;
  form.setInstallAction([&](TInstallerForm& f, ss::RunState& run) {
    f.prepareFormForInstall();
    EXPECT_FALSE(IsWindowEnabled(f.installBtn.handle()));
    EXPECT_EQ(ss::WindowText(f.labCopying.handle()), "Installing Screen Saver...");
    f.stepProgress();
    PostMessageA(f.cancelBtn.handle(), BM_CLICK, 0, 0);
    f.stepProgress();
    statusSeen = ss::WindowText(f.labCopying.handle());
    positionSeen = f.progressPosition();
    EXPECT_TRUE(IsWindow(f.handle()));
    if (run.cancelRequested) f.resetFormAfterCancel();
    return ss::kErrUserDeclined;
  });
  PostMessageA(form.installBtn.handle(), BM_CLICK, 0, 0);
  App().ProcessMessages();
  EXPECT_TRUE(form.run.cancelRequested);
  EXPECT_EQ(statusSeen, "Installation Aborted. Cleaning up files...");
  // The bar was stepped before the pause in which Cancel reset it.
  EXPECT_EQ(positionSeen, 0);
  // Back in Ready: Install enabled again, an empty but visible status line.
  EXPECT_TRUE(IsWindowEnabled(form.installBtn.handle()));
  EXPECT_TRUE(IsWindowEnabled(form.cancelBtn.handle()));
  EXPECT_TRUE(IsWindowVisible(form.labCopying.handle()));
  EXPECT_EQ(ss::WindowText(form.labCopying.handle()), "");
  EXPECT_EQ(form.progressPosition(), 0);
  EXPECT_FALSE(App().Terminated());
}

TEST_F(FormsTest, CompletePhaseOffersOnlyCloseWhichEndsTheProgram) {
  TInstallerForm& form = readyForm(false);
  form.setProgressPosition(10);
  form.showCompletePhase();
  EXPECT_EQ(ss::WindowText(form.labCopying.handle()), "Screen Saver Installation and Setup Complete.");
  EXPECT_TRUE(IsWindowVisible(form.doneBtn.handle()));
  EXPECT_EQ(GetFocus(), form.doneBtn.handle());
  EXPECT_FALSE(IsWindowVisible(form.installBtn.handle()));
  EXPECT_FALSE(IsWindowEnabled(form.installBtn.handle()));
  EXPECT_FALSE(IsWindowVisible(form.cancelBtn.handle()));
  HWND hwnd = form.handle();
  PostMessageA(form.doneBtn.handle(), BM_CLICK, 0, 0);
  App().ProcessMessages();
  EXPECT_TRUE(App().Terminated());
  EXPECT_FALSE(IsWindow(hwnd));
}

// ---------------------------------------------------------------- hourglass

// The start-up and the install show the hourglass; a mouse move makes the
// system ask the window under the mouse for its cursor (WM_SETCURSOR), and
// the answer must keep the hourglass over every window of the program. Waits
// nest (the direct install runs inside the start-up).
TEST_F(FormsTest, HourglassStaysOverEveryWindowWhileTheProgramWaits) {
  TInstallerForm& form = readyForm(false);
  const HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  const HCURSOR wait = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
  const HWND windows[] = {form.handle(), form.cancelBtn.handle(), form.installBtn.handle(),
                          form.buttonPanel.handle(), form.bmpPanel.handle(), preparing_->handle()};
  // The cursor after the mouse moved over `w`.
  auto afterMove = [](HWND w) {
    SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  SetCursor(arrow);
  {
    ss::WaitCursor startUp;
    EXPECT_EQ(GetCursor(), wait);
    {
      ss::WaitCursor install;
      for (HWND w : windows) EXPECT_EQ(afterMove(w), wait) << ss::WindowText(w);
    }
    for (HWND w : windows) EXPECT_EQ(afterMove(w), wait) << "after the inner wait: " << ss::WindowText(w);
  }
  EXPECT_EQ(GetCursor(), arrow);
  EXPECT_EQ(afterMove(form.cancelBtn.handle()), arrow);
}

// ---------------------------------------------------------------- pause, silent mode

TEST_F(FormsTest, PauseLastsAboutATenthOfASecondAndHandlesClicks) {
  TInstallerForm& form = readyForm(false);
  form.run.installRunning = true;  // so that Cancel only asks for the abort
  PostMessageA(form.cancelBtn.handle(), BM_CLICK, 0, 0);
  const LARGE_INTEGER start = Now();
  form.pause();
  const double elapsed = Milliseconds(start, Now());
  EXPECT_TRUE(form.run.cancelRequested) << "the click posted before the pause was not handled";
  // The handled click ran two pauses of its own inside this one.
  EXPECT_GE(elapsed, 90.0);
  EXPECT_LT(elapsed, 1000.0);

  const LARGE_INTEGER again = Now();
  form.pause();
  const double single = Milliseconds(again, Now());
  EXPECT_GE(single, 90.0);
  EXPECT_LT(single, 400.0);
  EXPECT_FALSE(form.pauseTimer.enabled());
}

TEST_F(FormsTest, PauseEndsWhenTheWindowGoesAway) {
  TInstallerForm& form = readyForm(false);
  // Closing in the middle of a pause ends the application; the pause must
  // not wait for a timer that no longer exists.
  PostMessageA(form.handle(), WM_CLOSE, 0, 0);
  const LARGE_INTEGER start = Now();
  form.pause();
  EXPECT_LT(Milliseconds(start, Now()), 1000.0);
  EXPECT_TRUE(App().Terminated());
}

TEST_F(FormsTest, SilentModeLeavesStatusAndProgressAlone) {
  TInstallerForm& form = readyForm(false);
  form.displayMode = ss::dmSilent;
  form.setStatus("Writing screen saver files...");
  const LARGE_INTEGER start = Now();
  form.stepProgress();
  const double elapsed = Milliseconds(start, Now());
  form.prepareFormForInstall();
  EXPECT_FALSE(IsWindowVisible(form.labCopying.handle()));
  EXPECT_EQ(ss::WindowText(form.labCopying.handle()), "");
  EXPECT_EQ(form.progressPosition(), 0);
  EXPECT_LT(elapsed, 50.0) << "a silent step must not pause";
  EXPECT_TRUE(IsWindowEnabled(form.installBtn.handle()));

  form.displayMode = ss::dmBitmap;
  form.setStatus("Writing screen saver files...");
  const LARGE_INTEGER shown = Now();
  form.stepProgress();
  EXPECT_GE(Milliseconds(shown, Now()), 90.0);
  EXPECT_TRUE(IsWindowVisible(form.labCopying.handle()));
  EXPECT_EQ(ss::WindowText(form.labCopying.handle()), "Writing screen saver files...");
  EXPECT_EQ(form.progressPosition(), 1);
  // An empty text leaves a visible, empty line.
  form.setStatus("");
  EXPECT_TRUE(IsWindowVisible(form.labCopying.handle()));
  EXPECT_EQ(ss::WindowText(form.labCopying.handle()), "");
}

TEST_F(FormsTest, BeingCreatedPhaseBeforeTheStartUpPlacesAnything) {
  HWND seen = nullptr;
  bool installVisible = false, cancelVisible = false, doneVisible = true, statusVisible = true;
  std::string installCaption;
  RECT outer{};
  form_ = std::make_unique<TInstallerForm>([&](TInstallerForm& form) {
    seen = form.handle();
    // The form itself is not shown yet: look at the controls' own state.
    installVisible = form.installBtn.visible();
    installCaption = ss::WindowText(form.installBtn.handle());
    cancelVisible = form.cancelBtn.visible();
    doneVisible = form.doneBtn.visible();
    statusVisible = form.labCopying.visible();
    GetWindowRect(form.handle(), &outer);
    // A start-up that ends the run closes the window before it is shown.
    form.close();
  });
  ASSERT_TRUE(form_->create());
  EXPECT_EQ(seen, form_->handle());
  EXPECT_EQ(installCaption, "&Install");
  EXPECT_TRUE(installVisible);
  EXPECT_TRUE(cancelVisible);
  EXPECT_FALSE(doneVisible);
  EXPECT_FALSE(statusVisible);
  EXPECT_EQ(outer.left, -3000);
  EXPECT_EQ(Width(outer), 352);
  EXPECT_EQ(Height(outer), 370);
  EXPECT_TRUE(App().Terminated());
  EXPECT_FALSE(IsWindowVisible(form_->handle())) << "a closed form must not be shown";
  App().ProcessMessages();
  EXPECT_FALSE(IsWindow(seen));
}

}  // namespace
