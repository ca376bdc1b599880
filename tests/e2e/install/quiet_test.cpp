// Quiet runs of real installers: the "/q" switch in either case, and a
// package without presentation that installs without any switch. Each run
// is read back file by file, together with system.ini, the uninstall entry,
// the exit code and the work directory. A title that is another program's
// uninstall entry is refused untouched.
#include <set>
#include <sstream>

#include "core/ResultCodes.h"
#include "tests/e2e/install/InstallFixture.h"
#include "tests/e2e/install/Pictures.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/LMT_StringUtils.h"

namespace e2e {
namespace {

using ss::pack::Compression;

// Every top-level window of one process, shown or not, by class name.
struct WindowsSeen {
  DWORD pid = 0;
  std::set<std::string> classes;
};

BOOL CALLBACK CollectAnyWindow(HWND w, LPARAM p) {
  auto* seen = reinterpret_cast<WindowsSeen*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == seen->pid) seen->classes.insert(ClassOf(w));
  return TRUE;
}

class QuietInstall : public InstallE2e {};

// Both spellings of the switch, with packed and with stored items, and with
// a presentation that a quiet run must still extract but never show.
TEST_F(QuietInstall, SwitchInstallsEverythingByteForByteWithoutAWindow) {
  // The stand-in panel makes an opened Display control panel visible.
  PlaceDisplayPanel();
  struct Case {
    const char* args;
    Compression compression;
    uint8_t displayMode;
  };
  const Case cases[] = {{"/q", Compression::kAuto, ss::dmFlash},
                        {"/Q", Compression::kCompress, ss::dmSilent},
                        {"/x /Q -q", Compression::kStore, ss::dmBitmap}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    PackagePlan plan;
    plan.title = "E2E Quiet " + std::to_string(++n);
    plan.compression = c.compression;
    plan.displayMode = c.displayMode;
    plan.showDisplayProperties = true;
    const Package package = MakePackage(plan);
    const std::string exe = WriteInstaller(package);
    auto child = RunToEnd(exe, c.args);
    EXPECT_EQ(child->exitCode(), 0u);
    ExpectInstalled(package);
    // Every parameter is logged, the ignored ones too.
    std::istringstream words(c.args);
    for (std::string word; words >> word;) EXPECT_TRUE(child->Logged("command line parameter:" + word)) << word;
    // The presentation is extracted even though no window shows it.
    if (c.displayMode == ss::dmBitmap) {
      EXPECT_TRUE(child->Logged("installer.BMP")) << child->LogText();
    }
    // A quiet run reaches no box and opens no control panel, although the
    // package asks for the offer.
    EXPECT_FALSE(child->Logged("box not shown"));
    EXPECT_EQ(WaitForDisplayPanel(2000), nullptr) << "\"" << c.args << "\" opened the Display control panel";
  }
}

// "/q" makes no window at all, not even one off-screen or of no size: the
// test looks for every top-level window of the process, shown or not, while
// it runs. A large engine keeps the run going long enough to be watched.
TEST_F(QuietInstall, SwitchMakesNoWindowAtAll) {
  PackagePlan plan;
  plan.title = "E2E Quiet Windowless";
  plan.displayMode = ss::dmBitmap;
  plan.compression = Compression::kStore;
  plan.engineSize = 48u << 20;
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package);
  WindowsSeen seen;
  auto child = Start(exe, "/q");
  seen.pid = child->pid();
  int looks = 0;
  while (child->Running()) {
    EnumWindows(CollectAnyWindow, reinterpret_cast<LPARAM>(&seen));
    ++looks;
    Sleep(2);
  }
  EXPECT_TRUE(child->Wait(60000));
  EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
  ExpectInstalled(package);
  std::string classes;
  for (const std::string& c : seen.classes) classes += c + " ";
  EXPECT_TRUE(seen.classes.empty()) << "windows of the quiet run: " << classes;
  EXPECT_GT(looks, 10) << "the run ended before it could be watched";
}

// A killed run never reaches its clean-up: its work directory stays, with
// the whole installer copy (temp.dat) in it. The next run removes it before
// making its own. Kept: the folder of an installer still running (waiting
// at its window, it holds its marker), and folders of the same pattern that
// are not ours: one without the marker, one with the marker but a folder of
// foreign content.
TEST_F(QuietInstall, NextRunRemovesAKilledRunsWorkDirectoryOnly) {
  PackagePlan plan;
  plan.title = "E2E Killed Run";
  plan.displayMode = ss::dmBitmap;
  plan.presentation = MakeBitmapFile(320, 200);
  const Package package = MakePackage(plan);
  PackagePlan large = plan;
  large.compression = Compression::kStore;
  large.engineSize = 48u << 20;
  const Package largePackage = MakePackage(large);

  auto waiting = Start(WriteInstaller(package, "Waiting.exe"), "");
  HWND win = WaitForInstaller(*waiting, plan.title);
  ASSERT_NE(win, nullptr) << waiting->LogText();
  const std::vector<std::string> waitingDirs = NewWorkDirs();
  ASSERT_EQ(waitingDirs.size(), 1u);
  const std::string inUse = TempDir() + waitingDirs[0] + "\\";

  // Killed once its copy of the installer is in its work directory.
  std::string killedDir;
  {
    auto killed = Start(WriteInstaller(largePackage, "Killed.exe"), "/q");
    for (int i = 0; i < 400 && killedDir.empty() && killed->Running(); ++i) {
      for (const std::string& d : NewWorkDirs()) {
        if (TempDir() + d + "\\" != inUse && FileExists(TempDir() + d + "\\temp.dat")) killedDir = TempDir() + d + "\\";
      }
      Sleep(5);
    }
    ASSERT_TRUE(killed->Running()) << "the run ended before it could be killed";
  }  // TerminateProcess
  ASSERT_FALSE(killedDir.empty());
  ASSERT_TRUE(FileExists(killedDir + "temp.dat"));
  ASSERT_TRUE(FileExists(killedDir + ss::kWorkDirectoryMarker));

  const std::string unmarked = TempDir() + "LMF998\\";
  const std::string foreign = TempDir() + "LMF999\\";
  ASSERT_FALSE(DirExists(unmarked) || DirExists(foreign)) << "left by an earlier test run";
  ss::ForceDirectoryPath(unmarked);
  ss::ForceDirectoryPath(foreign + "documents\\");
  ASSERT_TRUE(WriteAll(unmarked + "temp.dat", Bytes(100, 'u')));
  ASSERT_TRUE(WriteAll(foreign + ss::kWorkDirectoryMarker, Bytes()));
  ASSERT_TRUE(WriteAll(foreign + "documents\\letter.txt", Bytes(10, 'l')));

  auto next = RunToEnd(WriteInstaller(package), "/q");
  EXPECT_EQ(next->exitCode(), 0u) << next->LogText();
  EXPECT_TRUE(next->Logged("left work directory removed: " + killedDir)) << next->LogText();
  EXPECT_FALSE(DirExists(killedDir));
  EXPECT_TRUE(FileExists(inUse + "temp.dat")) << "the folder of a running installer was touched";
  EXPECT_TRUE(FileExists(unmarked + "temp.dat"));
  EXPECT_TRUE(FileExists(foreign + ss::kWorkDirectoryMarker));
  EXPECT_TRUE(FileExists(foreign + "documents\\letter.txt"));

  ASSERT_TRUE(ClickButton(win, "Cancel"));
  EXPECT_TRUE(waiting->Wait(30000));
  EXPECT_FALSE(DirExists(inUse));
  ss::RemoveDirectoryTree(unmarked);
  ss::RemoveDirectoryTree(foreign);
  ExpectInstalled(package);
}

// Kind 4 without switch installs at once and then starts the Display
// control panel; the same package with "/q" does not.
TEST_F(QuietInstall, PackageWithoutPresentationOpensDisplayPanelOnlyWithoutSwitch) {
  PlaceDisplayPanel();
  PackagePlan plan;
  plan.displayMode = ss::dmSilent;
  plan.showDisplayProperties = true;
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package);

  auto child = RunToEnd(exe, "");
  EXPECT_EQ(child->exitCode(), 0u);
  ExpectInstalled(package);
  HWND panel = WaitForDisplayPanel(10000);
  EXPECT_NE(panel, nullptr) << "the Display control panel was not started\n" << child->LogText();
  if (panel != nullptr) CloseDisplayPanel(panel);

  child = RunToEnd(exe, "/q");
  EXPECT_EQ(child->exitCode(), 0u);
  ExpectInstalled(package);
  EXPECT_EQ(WaitForDisplayPanel(2000), nullptr) << "\"/q\" opened the Display control panel";
}

// A quiet run replaces a screen saver of the same title without asking,
// even when no switch makes it unattended (kind 4 alone).
TEST_F(QuietInstall, ReplacesAnExistingScreenSaverWithoutAsking) {
  PackagePlan plan;
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package);
  ASSERT_TRUE(CreateDirectoryA(InstallDir(plan.title).c_str(), nullptr));
  ASSERT_TRUE(WriteAll(InstallDir(plan.title) + "old.txt", Bytes(10, 'o')));
  ASSERT_TRUE(WriteAll(EnginePath(plan.title), Bytes(100, 'x')));

  auto child = Start(exe, "");
  EXPECT_EQ(WaitForBox(child->pid(), 15000, child.get()), nullptr) << "a box was shown";
  EXPECT_TRUE(child->Wait(60000));
  EXPECT_EQ(child->exitCode(), 0u);
  ExpectInstalled(package);
  EXPECT_FALSE(FileExists(InstallDir(plan.title) + "old.txt")) << "the old install directory was kept";
}

// The title names the install's uninstall entry. Another program's entry of
// that name (with its own uninstaller, or a key without one, under either
// root) refuses the install with -607 before anything is written, and
// without a box; the entry an earlier install of the same screen saver left
// is taken over, and the install succeeds.
TEST_F(QuietInstall, TitleOfAnotherProgramIsRefusedAnEarlierInstallsIsTakenOver) {
  struct Case {
    const char* what;
    HKEY root;
    bool foreign;      // another program's entry; else an earlier install's
    bool withCommand;  // the entry has an UninstallString
  };
  const Case cases[] = {
      {"another program's, machine", HKEY_LOCAL_MACHINE, true, true},
      {"another program's, user, no command", HKEY_CURRENT_USER, true, false},
      {"an earlier install's, machine", HKEY_LOCAL_MACHINE, false, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PackagePlan plan;
    plan.title = "E2E Quiet Taken " + std::to_string(++n);
    const Package package = MakePackage(plan);
    const std::string key = ss::UninstallKeyPath(plan.title);
    if (c.foreign) {
      PutForeignEntry(c.root, plan.title, c.withCommand);
    } else {
      // The bare form earlier versions wrote, in other letter case.
      ASSERT_TRUE(RegPut(c.root, key, "DisplayName", "An old version"));
      std::string engine = EnginePath(plan.title);
      for (char& ch : engine) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
      ASSERT_TRUE(RegPut(c.root, key, "UninstallString", engine + " /u"));
    }
    const Bytes iniBefore = ReadAll(WindowsDir() + "system.ini");
    auto child = RunToEnd(WriteInstaller(package, "Taken" + std::to_string(n) + ".exe"), "/q");
    if (c.foreign) {
      EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrForeignUninstallEntry) << child->LogText();
      ExpectRefusedUntouched(c.root, plan.title, c.withCommand, iniBefore);
      EXPECT_FALSE(child->Logged("box not shown")) << child->LogText();
    } else {
      EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
      ExpectInstalled(package);
      EXPECT_EQ(RegString(c.root, key, "UninstallString"), ss::MakeUninstallCommand(SystemDir(), plan.title));
      EXPECT_EQ(RegString(c.root, key, "DisplayName"), ss::MakeDisplayName(plan.title));
    }
  }
}

}  // namespace
}  // namespace e2e
