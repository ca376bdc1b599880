// Activation and Display Properties under Wine: the "system.ini" entry with
// the engine's short name, the licence and document copies, and the Display
// control panel (the stand-in desk.cpl built beside the tests).
#include <gtest/gtest.h>
#include <windows.h>
#include <cpl.h>

#include <algorithm>
#include <string>

#include "core/Strings.h"
#include "tests/support/WinSystem.h"
#include "tests/win/winsys/WinsysTestSupport.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"
#include "winsys/ScreenSaverActivation.h"

namespace ss {
namespace {

using namespace test;
using sstest::ScreenSaverSetting;
using sstest::SystemDir;
using sstest::SystemIniRestorer;
using sstest::WindowsDir;

// Waits up to `ms` (stretched by Slow) for a top-level window with the
// given title to appear (present = true) or to be gone (present = false).
bool WaitForWindow(const char* title, bool present, DWORD ms) {
  return sstest::PumpUntil([&] { return (FindWindowA(nullptr, title) != nullptr) == present; }, ms);
}

class Activation : public testing::Test {
 protected:
  void SetUp() override {
    ForceDirectoryPath(system_);
    DirectorySet d = Dirs();
    d.systemDir = system_;
    SetDirs(d);
  }
  DirsRestorer dirs_;
  SystemIniRestorer ini_;
  ScratchDir scratch_;
  std::string system_ = scratch_ / "Long System Folder\\";
};

TEST_F(Activation, WritesTheEnginesShortName) {
  const std::string engine = system_ + "Aqua Deep Sea.scr";
  WriteText(engine, "engine");
  ASSERT_EQ(ActivateScreenSaver("Aqua Deep Sea.scr"), 0);

  char expected[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(engine.c_str(), expected, sizeof expected), 0u);
  EXPECT_EQ(ScreenSaverSetting(), expected);
  EXPECT_EQ(ScreenSaverSetting().find(' '), std::string::npos);
  // On disk, at once, in the [boot] section.
  const std::string ini = ReadText(ini_.path());
  const size_t boot = ini.find("[boot]");
  ASSERT_NE(boot, std::string::npos);
  const size_t entry = ini.find(std::string("SCRNSAVE.EXE=") + expected);
  EXPECT_NE(entry, std::string::npos);
  EXPECT_GT(entry, boot);
}

TEST_F(Activation, MissingEngineChangesNothing) {
  ASSERT_TRUE(WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "BEFORE.SCR", "system.ini"));
  const std::string before = ReadText(ini_.path());
  ForceDirectoryPath(system_ + "Folder.scr\\");

  EXPECT_EQ(ActivateScreenSaver("Missing.scr"), kErrFileMissing);
  EXPECT_EQ(ActivateScreenSaver("Folder.scr"), kErrFileMissing);
  EXPECT_EQ(ActivateScreenSaver(""), kErrBadEntryName);
  WriteText(scratch_ / "outside.scr", "x");
  EXPECT_EQ(ActivateScreenSaver("..\\outside.scr"), kErrBadEntryName);

  EXPECT_EQ(ReadText(ini_.path()), before);
  EXPECT_EQ(ScreenSaverSetting(), "BEFORE.SCR");
}

TEST_F(Activation, RefusedProfileWriteIsAResultCode) {
  WriteText(system_ + "Aqua.scr", "engine");
  ASSERT_TRUE(WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "BEFORE.SCR", "system.ini"));
  const std::string before = ReadText(ini_.path());
  Result rc;
  {
    LockedFile lock(ini_.path());
    ASSERT_TRUE(lock.ok());
    rc = ActivateScreenSaver("Aqua.scr");
  }
  EXPECT_GT(rc, 0) << "expected the operating system's error number";
  EXPECT_EQ(ReadText(ini_.path()), before);
}

// ---- licence and document ----

class ExtraFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    ForceDirectoryPath(work_);
    ForceDirectoryPath(install_);
    DirectorySet d = Dirs();
    d.workDir = work_;
    SetDirs(d);
    files_.installDir = install_;
    files_.licenceName = "license.txt";
    files_.documentName = "readme.rtf";
  }
  DirsRestorer dirs_;
  ScratchDir scratch_;
  std::string work_ = scratch_ / "work\\";
  std::string install_ = scratch_ / "Aqua dir\\";
  ExtraFiles files_;
};

TEST_F(ExtraFilesTest, CopiesWhatIsAnnounced) {
  WriteText(work_ + "license.txt", "licence");
  WriteText(work_ + "readme.rtf", "document");

  EXPECT_EQ(PlaceExtraFiles(files_), 0);  // nothing announced
  EXPECT_FALSE(Exists(install_ + "license.txt"));
  EXPECT_FALSE(Exists(install_ + "readme.rtf"));

  files_.placeLicence = files_.placeDocument = true;
  WriteText(install_ + "readme.rtf", "an old read-only copy");
  SetFileAttributesA((install_ + "readme.rtf").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(PlaceExtraFiles(files_), 0);
  EXPECT_EQ(ReadText(install_ + "license.txt"), "licence");
  EXPECT_EQ(ReadText(install_ + "readme.rtf"), "document");
}

TEST_F(ExtraFilesTest, MissingOrFailedCopiesAreReported) {
  WriteText(work_ + "readme.rtf", "document");
  files_.placeLicence = files_.placeDocument = true;
  // The licence is missing; the document is still copied.
  EXPECT_EQ(PlaceExtraFiles(files_), kErrFileMissing);
  EXPECT_EQ(ReadText(install_ + "readme.rtf"), "document");

  // A copy into a directory that is not there gives the system's error.
  WriteText(work_ + "license.txt", "licence");
  files_.installDir = scratch_ / "gone\\";
  EXPECT_EQ(PlaceExtraFiles(files_), ERROR_PATH_NOT_FOUND);

  files_.installDir = install_;
  files_.licenceName = "..\\escape.txt";
  EXPECT_EQ(PlaceExtraFiles(files_), kErrBadEntryName);
}

// Associates the extension ".ssdoc" with a command that copies the opened
// file to `marker` and writes the folder it was started in to
// `marker`.folder, for the test's duration.
class CopyingAssociation {
 public:
  explicit CopyingAssociation(const std::string& marker) {
    const std::string command =
        "cmd.exe /c cd > \"" + marker + ".folder\" && copy \"%1\" \"" + marker + "\"";
    ok_ = SetDefault(".ssdoc", "SsTestDocument") &&
          SetDefault("SsTestDocument\\shell\\open\\command", command);
  }
  ~CopyingAssociation() {
    for (const char* key : {"SsTestDocument\\shell\\open\\command", "SsTestDocument\\shell\\open",
                            "SsTestDocument\\shell", "SsTestDocument", ".ssdoc"}) {
      RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    }
  }
  bool ok() const { return ok_; }

 private:
  static bool SetDefault(const char* key, const std::string& value) {
    return RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, value.c_str(), static_cast<DWORD>(value.size())) ==
           ERROR_SUCCESS;
  }
  bool ok_ = false;
};

TEST_F(ExtraFilesTest, DocumentIsOpenedWhenAnnounced) {
  const std::string marker = scratch_ / "opened.txt";
  CopyingAssociation association(marker);
  ASSERT_TRUE(association.ok());
  files_.documentName = "read me.ssdoc";
  WriteText(install_ + files_.documentName, "document");

  OpenDocument(files_);  // not announced
  Sleep(test::Slow(1500));
  EXPECT_FALSE(Exists(marker));

  files_.placeDocument = true;
  OpenDocument(files_);
  for (DWORD i = 0; i < test::Slow(100) && !Exists(marker); ++i) Sleep(100);
  EXPECT_EQ(ReadText(marker), "document");
  // Started in the install directory, not in this process's current folder.
  EXPECT_EQ(ReadText(marker + ".folder"), install_.substr(0, install_.size() - 1) + "\r\n");
}

// ---- Display Properties ----

// Shows the stand-in panel in this process, on its own thread, as the
// control panel would; the thread ends when the panel is closed.
class InProcessPanel {
 public:
  InProcessPanel() {
    module_ = LoadLibraryA((test::ProgramDir() + "desk.cpl").c_str());
    auto applet = reinterpret_cast<APPLET_PROC>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CPlApplet")));
    if (applet) thread_ = sstest::Thread([applet] { applet(nullptr, CPL_DBLCLK, 0, 0); });
  }
  ~InProcessPanel() {
    if (thread_.joinable()) {
      if (HWND w = FindWindowA(nullptr, "Display Properties")) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
      thread_.join();
    }
    if (module_) FreeLibrary(module_);
  }
  bool started() const { return thread_.joinable(); }

 private:
  HMODULE module_ = nullptr;
  sstest::Thread thread_;
};

TEST(DisplayProperties, CloseCancelsAnOpenPanel) {
  if (!test::HaveDisplay()) GTEST_SKIP() << "no display";
  CloseDisplayProperties();  // nothing open: nothing happens
  InProcessPanel panel;
  ASSERT_TRUE(panel.started());
  ASSERT_TRUE(WaitForWindow("Display Properties", true, 10000));
  HWND w = FindWindowA(nullptr, "Display Properties");
  CloseDisplayProperties();
  // The click was handled before the call returned: the dialog has ended
  // (hidden at once, destroyed when its loop returns).
  EXPECT_TRUE(!IsWindow(w) || !IsWindowVisible(w));
  EXPECT_TRUE(WaitForWindow("Display Properties", false, 5000));
}

// A panel still opening when the install starts: its window is there (and
// found by its title) some time before its Cancel button, as a dialog's
// window is before its controls. On a slow machine (an emulated CPU) that
// gap once let the panel outlive its close (the close found no Cancel button
// and gave up); here it is made wide on purpose.
LRESULT CALLBACK LatePanelProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    DestroyWindow(w);
    return 0;
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(w, msg, wParam, lParam);
}

TEST(DisplayProperties, CloseWaitsForAPanelStillOpening) {
  if (!test::HaveDisplay()) GTEST_SKIP() << "no display";
  WNDCLASSA wc{};
  wc.lpfnWndProc = LatePanelProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "SsLatePanel";
  RegisterClassA(&wc);
  DWORD panelThread = 0;
  sstest::Thread panel([&panelThread] {
    panelThread = GetCurrentThreadId();
    HWND w = CreateWindowExA(0, "SsLatePanel", "Display Properties", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10,
                             300, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    Sleep(500);  // well within the close's bound of 5 s
    CreateWindowA("BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 100, 60, 80, 24, w,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), GetModuleHandleA(nullptr), nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
  });
  const bool opened = WaitForWindow("Display Properties", true, 10000);
  HWND w = FindWindowA(nullptr, "Display Properties");
  const bool early = w != nullptr && GetDlgItem(w, IDCANCEL) == nullptr;
  if (opened) CloseDisplayProperties();
  const bool closed = opened && WaitForWindow("Display Properties", false, 5000);
  // Whatever happened, the panel's thread ends before the test does.
  if (HWND left = FindWindowA(nullptr, "Display Properties")) {
    PostMessageA(left, WM_CLOSE, 0, 0);
  } else if (!closed && panelThread != 0) {
    PostThreadMessageA(panelThread, WM_QUIT, 0, 0);
  }
  ASSERT_TRUE(opened);
  EXPECT_TRUE(early) << "the button came too early to show the gap";
  EXPECT_TRUE(closed) << "a panel still opening outlived its close";
}

// Puts the stand-in desk.cpl into the system directory for the test's
// duration, where rundll32 looks for it.
class PanelInSystemDirectory {
 public:
  PanelInSystemDirectory() : target_(SystemDir() + "desk.cpl") {
    existed_ = Exists(target_);
    copied_ = !existed_ && CopyFileA((test::ProgramDir() + "desk.cpl").c_str(), target_.c_str(), TRUE);
  }
  ~PanelInSystemDirectory() {
    if (!copied_) return;
    for (DWORD i = 0; i < test::Slow(100) && !DeleteFileA(target_.c_str()); ++i) Sleep(100);
  }
  bool ready() const { return copied_; }
  bool existed() const { return existed_; }

 private:
  std::string target_;
  bool existed_ = false;
  bool copied_ = false;
};

TEST(DisplayProperties, OpenStartsThePanelAndRestoresTheCursor) {
  if (!test::HaveDisplay()) GTEST_SKIP() << "no display";
  PanelInSystemDirectory panel;
  if (panel.existed()) GTEST_SKIP() << "the system has a desk.cpl of its own";
  ASSERT_TRUE(panel.ready()) << test::LastErrorText();

  HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
  SetCursor(arrow);
  OpenDisplayProperties(false);
  EXPECT_FALSE(WaitForWindow("Display Properties", true, 1500));

  OpenDisplayProperties(true);
  EXPECT_EQ(GetCursor(), arrow);
  ASSERT_TRUE(WaitForWindow("Display Properties", true, 15000)) << "panel did not appear";
  CloseDisplayProperties();
  EXPECT_TRUE(WaitForWindow("Display Properties", false, 10000));
}

TEST(DisplayProperties, OfferAsksFirst) {
  if (!test::HaveDisplay()) GTEST_SKIP() << "no display";
  PanelInSystemDirectory panel;
  if (panel.existed()) GTEST_SKIP() << "the system has a desk.cpl of its own";
  ASSERT_TRUE(panel.ready()) << test::LastErrorText();
  HWND app = CreateWindowA("STATIC", "ss winsys offer test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                           100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(app, nullptr);

  {
    BoxAnswerer answer("Confirm", "&No");
    OfferDisplayProperties(false, app);
    EXPECT_EQ(answer.boxesSeen(), 0);
    OfferDisplayProperties(true, app);
    EXPECT_EQ(answer.boxesSeen(), 1);
    const std::vector<std::string> texts = answer.lastTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), LoadStr(StringId::InstallSuccessOpenPanel)),
              texts.end());
  }
  EXPECT_FALSE(WaitForWindow("Display Properties", true, 1500));
  EXPECT_FALSE(IsIconic(app));

  {
    BoxAnswerer answer("Confirm", "&Yes");
    OfferDisplayProperties(true, app);
    EXPECT_EQ(answer.boxesSeen(), 1);
  }
  EXPECT_TRUE(IsIconic(app));
  EXPECT_TRUE(WaitForWindow("Display Properties", true, 15000));
  CloseDisplayProperties();
  EXPECT_TRUE(WaitForWindow("Display Properties", false, 10000));
  DestroyWindow(app);
}

}  // namespace
}  // namespace ss
