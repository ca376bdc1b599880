#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/DebugLog.h"
#include "core/MessageDlg.h"
#include "core/Strings.h"
#include "tests/support/WinTestUtil.h"
#include "tests/support/WinThread.h"

namespace ss {
namespace {

// What a watcher thread saw of the box it found.
struct Seen {
  bool found = false;
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;
  bool hasIcon = false;
};

// Finds the dialog with the given caption, reads it, optionally saves its
// picture, then presses the button with the given caption (posted, since the
// box runs a modal loop on the other thread).
sstest::Thread Watch(const char* caption, const char* press, Seen* seen, const char* picture = nullptr) {
  return sstest::Thread([=] {
    HWND dlg = sstest::WaitForWindow("#32770", caption);
    if (dlg == nullptr) return;
    seen->found = true;
    seen->caption = sstest::WindowText(dlg);
    HWND target = nullptr;
    for (HWND child : sstest::Children(dlg)) {
      const std::string cls = sstest::ClassOf(child);
      const LONG style = GetWindowLongA(child, GWL_STYLE);
      if (_stricmp(cls.c_str(), "Button") == 0) {
        seen->buttons.push_back(sstest::WindowText(child));
        if (seen->buttons.back() == press) target = child;
      } else if (_stricmp(cls.c_str(), "Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
          seen->hasIcon = SendMessageA(child, STM_GETICON, 0, 0) != 0;
        } else {
          seen->text = sstest::WindowText(child);
        }
      }
    }
    if (picture != nullptr) {
      CreateDirectoryA(sstest::WinePath(SS_SCREENSHOT_DIR).c_str(), nullptr);
      Sleep(300);  // let the box paint before it is photographed
      sstest::SaveWindowPicture(dlg, sstest::WinePath(std::string(SS_SCREENSHOT_DIR) + "/" + picture));
    }
    if (target != nullptr) {
      PostMessageA(target, BM_CLICK, 0, 0);
    } else {
      PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
    }
  });
}

TEST(ErrorBox, SharingViolationShowsOneAbortButton) {
  const std::string path = "C:\\windows\\system32\\Aqua Screensaver.scr";
  Seen seen;
  sstest::Thread watcher = Watch("Error", "&Abort", &seen, "error-box-32.bmp");
  showInstallError(32, path);
  watcher.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, "Error");
  EXPECT_EQ(seen.text, "Installation Error: " + path + "\r\n\r\nProblem with file " + path + ". ");
  ASSERT_EQ(seen.buttons.size(), 1u);
  EXPECT_EQ(seen.buttons[0], "&Abort");
  EXPECT_TRUE(seen.hasIcon);
}

TEST(ConfirmBox, ReturnsThePressedButtonAndEscapeMeansNo) {
  Seen seen;
  sstest::Thread watcher = Watch("Confirm", "&No", &seen);
  const int answer = MessageDlg(LoadStr(StringId::InstallSuccessOpenPanel), DlgType::Confirmation, {kBtnYes, kBtnNo});
  watcher.join();
  EXPECT_EQ(answer, kBtnNo);
  ASSERT_EQ(seen.buttons.size(), 2u);
  EXPECT_EQ(seen.buttons[0], "&Yes");
  EXPECT_EQ(seen.buttons[1], "&No");

  Seen escaped;
  sstest::Thread escaper = Watch("Confirm", "(none: cancel)", &escaped);
  const int escapeAnswer = MessageDlg("Aqua screen saver already exists. Overwrite?", DlgType::Confirmation,
                                      {kBtnOk, kBtnCancel});
  escaper.join();
  EXPECT_EQ(escapeAnswer, kBtnCancel);

  Seen yes;
  sstest::Thread yesWatcher = Watch("Confirm", "&Yes", &yes);
  EXPECT_EQ(MessageDlg("?", DlgType::Confirmation, {kBtnYes, kBtnNo}), kBtnYes);
  yesWatcher.join();
}

TEST(StartupBoxes, FlashDownloadIsInformationWithOk) {
  Seen seen;
  sstest::Thread watcher = Watch("Information", "OK", &seen);
  ShowStartupFailure(kErrFlashMissing);
  watcher.join();
  ASSERT_TRUE(seen.found);
  ASSERT_EQ(seen.buttons.size(), 1u);
  EXPECT_EQ(seen.buttons[0], "OK");
  EXPECT_EQ(seen.text.rfind("This screen saver requires the latest Macromedia Flash Player", 0), 0u);

  Seen corrupt;
  sstest::Thread w2 = Watch("Error", "&Abort", &corrupt);
  ShowStartupFailure(kErrSegmentNoName);
  w2.join();
  EXPECT_EQ(corrupt.text, "Installer file is corrupted. Lumetra Error: -531. ");
}

TEST(ErrorBox, UserCancellationShowsNothing) {
  // If a box appeared the watcher would close it and record it.
  Seen seen;
  std::atomic<bool> done{false};
  sstest::Thread watcher([&] {
    while (!done) {
      HWND dlg = FindWindowA("#32770", "Error");
      if (dlg != nullptr) {
        seen.found = true;
        PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
      }
      Sleep(20);
    }
  });
  showInstallError(kErrUserDeclined, "C:\\x");
  Sleep(300);
  done = true;
  watcher.join();
  EXPECT_FALSE(seen.found);
}

TEST(StringResources, MatchTheCompiledTable) {
  size_t count = 0;
  const uint16_t* ids = StringTableIds(&count);
  for (size_t i = 0; i < count; ++i) {
    char buf[2048] = {};
    const int n = LoadStringA(GetModuleHandleA(nullptr), ids[i], buf, sizeof buf);
    ASSERT_GT(n, 0) << "no resource for " << ids[i];
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), StringTableText(ids[i])) << ids[i];
  }
}

TEST(DebugLogSink, KeepsTheLastError) {
  SetLastError(1234);
  DebugLog("install error: -31");
  EXPECT_EQ(GetLastError(), 1234u);
  SetLastError(ERROR_SHARING_VIOLATION);
  DebugLog(std::string(600, 'x'));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

}  // namespace
}  // namespace ss
