// Flash packages and the Windows versions Wine reports: the movie in the
// window with the stand-in control, the download message without any player,
// the carried setup run for a clean install, the direct install when the
// movie cannot play (and its refusal of a title that is another program's),
// and the Windows NT refusal of a Flash 8 package.
#include <algorithm>

#include "core/Messages.h"
#include "core/ResultCodes.h"
#include "tests/e2e/install/InstallFixture.h"
#include "tests/host/flash/SwfBuilder.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"

namespace e2e {
namespace {

constexpr char kFlashPlayerRequired[] =
    "This screen saver requires the latest Macromedia Flash Player for Internet Explorer.\r\n\r\nPlease download "
    "the free player from http://www.macromedia.com/go/getflashplayer and then run this installation again.";

// A playable version-7 movie with a background colour of its own.
Bytes Movie(uint8_t version = 7) {
  swftest::Movie m;
  m.version = version;
  m.colour = {0xC0, 0x30, 0x80};
  return m.build();
}

using sstest::WinePath;

class FlashInstall : public InstallE2e {
 protected:
  PackagePlan FlashPlan() {
    PackagePlan plan;
    plan.displayMode = ss::dmFlash;
    plan.presentation = Movie();
    return plan;
  }
  // Puts the stand-in player setup into the package; when run, it records
  // its command line and current folder, and registers the stand-in control
  // (SS_E2E_FLASHCTL).
  void CarrySetup(Package& package) {
    SetEnvironmentVariableA("SS_E2E_FLASHCTL", WinePath(SS_FLASHCTL_PATH).c_str());
    ss::pack::SegmentInput setup;
    setup.name = "flashax7.exe";
    setup.source = WinePath(SS_FLASH_SETUP_PATH);
    setup.data = ReadAll(setup.source);
    ASSERT_FALSE(setup.data.empty());
    package.input.segments[ss::kSegFlashSetup] = setup;
  }
  // The installer of a stored Flash package whose movie the control cannot
  // play (version 9; the builder refuses such a movie, so the stored
  // segment is changed after).
  std::string WriteUnplayable(const Package& package) {
    return WriteInstaller(package, "Setup.exe", [](Bytes& b) {
      const ss::TPackageHeader h = HeaderOf(b);
      b[h.segments[ss::kSegPresentation].startOffset + 3] = 9;
    });
  }
  // The stand-in setup ran (its record in `record`, waited for a while)
  // with "/Q", in the work directory, never in the installer's current
  // folder.
  static void ExpectSetupRanInWorkDirectory(const std::string& record) {
    for (int i = 0; i < 100 && !FileExists(record); ++i) Pump(50);
    const Bytes recorded = ReadAll(record);
    const std::string text(recorded.begin(), recorded.end());
    EXPECT_EQ(text.rfind("/Q\r\n" + TempDir() + "LMF", 0), 0u) << text;
  }
  void TearDown() override {
    SetEnvironmentVariableA("SS_E2E_FLASHCTL", nullptr);
    InstallE2e::TearDown();
  }
};

TEST_F(FlashInstall, MovieShowsInTheWindowWithTheControl) {
  const PackagePlan plan = FlashPlan();
  const Package package = MakePackage(plan);
  auto child = Start(WriteInstaller(package), "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  Pump(500);
  Screenshot(win, "e2e-install-flash");
  // The stand-in paints the movie's background colour.
  EXPECT_EQ(ScreenColourAt(win, 0.5, 0.3), RGB(0xC0, 0x30, 0x80));
  ASSERT_TRUE(ClickButton(win, "Cancel"));
  EXPECT_TRUE(child->Wait(30000));
  EXPECT_EQ(child->exitCode(), 0u);
  ExpectNothingInstalled(plan.title);
}

// No control registered and no setup carried: the download message alone
// (one box), the code as exit code, nothing installed.
TEST_F(FlashInstall, NoPlayerAndNoSetupGivesTheDownloadMessageOnly) {
  UnregisterFlashControl();
  const PackagePlan plan = FlashPlan();
  const Package package = MakePackage(plan);
  auto child = Start(WriteInstaller(package), "");
  const std::vector<Box> boxes = FinishAnsweringBoxes(*child, 90000);
  ASSERT_EQ(boxes.size(), 1u) << child->LogText();
  EXPECT_EQ(boxes[0].Shown(), std::make_tuple("Information", kFlashPlayerRequired, Buttons{"OK"}));
  EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrFlashMissing);
  EXPECT_TRUE(child->Logged("==== tell user to download and install player ===="));
  // The closing box waits for the user: the start-up's hourglass is gone.
  EXPECT_FALSE(child->Logged("box shown over the hourglass")) << child->LogText();
  ExpectNothingInstalled(plan.title);
}

// No player but a carried setup: the setup runs with "/Q" (the stand-in
// records that and registers the control), and the quiet install goes on;
// once with "/q", and once run without it for a package without
// presentation, whose run has the application's window: the setup is started
// with that window as owner (it has no form of its own to show yet).
TEST_F(FlashInstall, CarriedSetupRunsForACleanInstall) {
  const std::string record = TempDir() + "e2e-flash-setup.txt";
  struct Case {
    const char* what;
    uint8_t displayMode;
    const char* parameters;
    const char* ownerLine;
  };
  const Case cases[] = {{"with /q", ss::dmFlash, "/q", "owner \"\""},
                        {"without a window of its own", ss::dmSilent, "", "owner \"Preparing installation...\""}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UnregisterFlashControl();
    DeleteFileA(record.c_str());
    PackagePlan plan = FlashPlan();
    plan.title = "E2E Flash Clean " + std::to_string(++n);
    plan.displayMode = c.displayMode;
    if (c.displayMode == ss::dmSilent) plan.presentation.clear();
    Package package = MakePackage(plan);
    CarrySetup(package);

    auto child = RunToEnd(WriteInstaller(package), c.parameters, 90000);
    EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
    EXPECT_TRUE(child->Logged("carrying Flash PlugIn = true"));
    EXPECT_TRUE(child->Logged("==== do clean install ===="));
    EXPECT_TRUE(child->Logged(c.ownerLine)) << child->LogText();
    ExpectSetupRanInWorkDirectory(record);
    DeleteFileA(record.c_str());
    ExpectInstalled(package);
  }
}

// The carried setup still runs from the work directory when the quiet
// install ends: everything else there goes at once, and the setup's file,
// the marker and the folder are deleted at the next start of Windows (the
// system's list of pending deletions, where Wine's MoveFileEx writes too).
TEST_F(FlashInstall, CarriedSetupStillRunningAtTheEndIsDeletedAtTheNextStart) {
  UnregisterFlashControl();
  const std::string record = TempDir() + "e2e-flash-setup.txt";
  DeleteFileA(record.c_str());
  const std::string holdName = "ss-e2e-setup-hold-" + std::to_string(GetCurrentProcessId());
  HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, holdName.c_str());
  ASSERT_NE(hold, nullptr);
  SetEnvironmentVariableA("SS_E2E_SETUP_HOLD", holdName.c_str());
  PackagePlan plan = FlashPlan();
  Package package = MakePackage(plan);
  CarrySetup(package);
  std::string workDir;
  {
    const sstest::PendingDeletes pending;
    auto child = RunToEnd(WriteInstaller(package), "/q", 90000);
    SetEnvironmentVariableA("SS_E2E_SETUP_HOLD", nullptr);
    EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
    ExpectSetupRanInWorkDirectory(record);
    EXPECT_TRUE(FileExists(EnginePath(plan.title)));
    const std::vector<std::string> left = NewWorkDirs();
    ASSERT_EQ(left.size(), 1u);
    workDir = TempDir() + left[0] + "\\";
    std::vector<std::string> inside = ListDir(workDir, "*");
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(inside, (std::vector<std::string>{"flashax7.exe", ss::kWorkDirectoryMarker})) << child->LogText();
    const std::vector<std::string> expected = {workDir + "flashax7.exe", workDir + ss::kWorkDirectoryMarker,
                                               workDir.substr(0, workDir.size() - 1)};
    EXPECT_EQ(pending.Added(), expected);
  }
  // The setup ends; the next run's clean-up would take the folder, as the
  // test does now.
  SetEvent(hold);
  CloseHandle(hold);
  for (int i = 0; i < 100 && ss::RemoveWorkDirectory(workDir) != ss::kOk; ++i) Pump(50);
  EXPECT_FALSE(DirExists(workDir));
  DeleteFileA(record.c_str());
  ExpectInstalled(package);
}

// The installed player (the stand-in, 7.19) is older than a Flash 8 package
// asks for. The old control files go only when the carried setup replaces
// them; without a setup the run asks for a download and the user keeps the
// player there is.
TEST_F(FlashInstall, OldPlayerIsRemovedOnlyWhenTheCarriedSetupReplacesIt) {
  const std::string flashDir = SystemDir() + "Macromed\\Flash\\";
  const std::string record = TempDir() + "e2e-flash-setup.txt";
  const bool hadFolder = DirExists(SystemDir() + "Macromed\\");
  struct Case {
    const char* what;
    bool carriesSetup;
    int32_t exitCode;
  };
  const Case cases[] = {{"no setup carried", false, ss::kErrFlashMissing}, {"setup carried", true, 0}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegisterFlashControl(WinePath(SS_FLASHCTL_PATH));
    ss::ForceDirectoryPath(flashDir);
    ASSERT_TRUE(WriteAll(flashDir + "Flash.ocx", Bytes(64, 'f')));
    ASSERT_TRUE(WriteAll(flashDir + "swflash.ocx", Bytes(32, 's')));
    PackagePlan plan = FlashPlan();
    plan.title = "E2E Flash Update " + std::to_string(++n);
    plan.flashVersionIndex = 1;  // Flash 8 r22
    Package package = MakePackage(plan);
    if (c.carriesSetup) CarrySetup(package);
    DeleteFileA(record.c_str());
    auto child = RunToEnd(WriteInstaller(package), "/q", 90000);
    EXPECT_EQ(static_cast<int32_t>(child->exitCode()), c.exitCode) << child->LogText();
    EXPECT_TRUE(child->Logged("==== major version update ====")) << child->LogText();
    EXPECT_NE(FileExists(flashDir + "Flash.ocx"), c.carriesSetup);
    EXPECT_NE(FileExists(flashDir + "swflash.ocx"), c.carriesSetup);
    if (c.carriesSetup) {
      // The setup ran; the install went on. (The setup may still be running
      // from the work directory when the quiet install ends, so the work
      // directory is not judged here; the clean install above judges it.)
      ExpectSetupRanInWorkDirectory(record);
      EXPECT_TRUE(FileExists(EnginePath(plan.title)));
    } else {
      ExpectNothingInstalled(plan.title);
    }
    DeleteFileA(record.c_str());
  }
  if (hadFolder) {
    ss::RemoveDirectoryTree(flashDir);
  } else {
    ss::RemoveDirectoryTree(SystemDir() + "Macromed\\");
  }
}

// A movie the control cannot play (version 9) installs at once through the
// preparing window; the installer window never shows, and an existing screen
// saver of the same title is replaced without a question.
TEST_F(FlashInstall, MovieThatCannotPlayRunsTheDirectInstall) {
  PackagePlan plan = FlashPlan();
  plan.compression = ss::pack::Compression::kStore;
  plan.showDisplayProperties = true;
  const Package package = MakePackage(plan);
  const std::string exe = WriteUnplayable(package);
  ASSERT_TRUE(WriteAll(EnginePath(plan.title), Bytes(50, 'x')));
  auto child = Start(exe, "");
  HWND boxWindow = WaitForBox(child->pid(), 30000, child.get());
  ASSERT_NE(boxWindow, nullptr) << child->LogText();
  const Box box = ReadBox(boxWindow);
  // The only question is the one after the install.
  EXPECT_EQ(box.caption, "Confirm");
  EXPECT_NE(box.text.find("successful"), std::string::npos) << box.text;
  // The one window with the installer's caption is the preparing window,
  // showing the outcome; no window offers an Install button.
  HWND preparing = WaitForInstaller(*child, plan.title, 0);
  ASSERT_NE(preparing, nullptr);
  EXPECT_TRUE(HasChildText(preparing, "Installation Successful."));
  SetWindowPos(boxWindow, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Pump(300);
  Screenshot(preparing, "e2e-install-direct");
  for (HWND w : WindowsOf(child->pid())) EXPECT_EQ(FindButton(w, "Install"), nullptr) << WindowText(w);
  ClickButton(boxWindow, "No");
  EXPECT_TRUE(child->Wait(30000));
  EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
  EXPECT_TRUE(child->Logged("direct install")) << child->LogText();
  ExpectInstalled(package);
}

// The same direct install for a title that is another program's uninstall
// entry: refused before anything is written, with one box that says why.
TEST_F(FlashInstall, DirectInstallRefusesTheTitleOfAnotherProgram) {
  PackagePlan plan = FlashPlan();
  plan.title = "E2E Flash Taken";
  plan.compression = ss::pack::Compression::kStore;
  const Package package = MakePackage(plan);
  const std::string exe = WriteUnplayable(package);
  PutForeignEntry(HKEY_LOCAL_MACHINE, plan.title);
  const Bytes iniBefore = ReadAll(WindowsDir() + "system.ini");
  auto child = Start(exe, "");
  const std::vector<Box> boxes = FinishAnsweringBoxes(*child);
  ASSERT_EQ(boxes.size(), 1u) << child->LogText();
  EXPECT_EQ(boxes[0].Shown(),
            std::make_tuple("Error", ss::ComposeInstallError(ss::kErrForeignUninstallEntry, ""), Buttons{"Abort"}));
  EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrForeignUninstallEntry) << child->LogText();
  EXPECT_TRUE(child->Logged("direct install")) << child->LogText();
  ExpectRefusedUntouched(HKEY_LOCAL_MACHINE, plan.title, true, iniBefore);
}

class WindowsVersions : public InstallE2e {};

// Windows NT 4 cannot run the Flash 8 setup: a package that asks for Flash 8
// is refused with its box and code; one for Flash 7 installs.
TEST_F(WindowsVersions, NT4RefusesAFlash8Package) {
  PackagePlan plan;
  plan.displayMode = ss::dmFlash;
  plan.presentation = Movie();
  plan.flashVersionIndex = 1;
  const Package package = MakePackage(plan);
  SetWindowsVersion("SetupNT.exe", "nt40");
  auto child = Start(WriteInstaller(package, "SetupNT.exe"), "");
  const std::vector<Box> boxes = FinishAnsweringBoxes(*child);
  ASSERT_EQ(boxes.size(), 1u) << child->LogText();
  EXPECT_EQ(boxes[0].Shown(),
            std::make_tuple("Error", "This screen saver is not compatible with Windows NT.", Buttons{"Abort"}));
  EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrFlashNotOnNT);
  ExpectNothingInstalled(plan.title);

  PackagePlan seven;
  seven.title = "E2E Flash Seven";
  const Package sevenPackage = MakePackage(seven);
  child = RunToEnd(WriteInstaller(sevenPackage, "SetupNT.exe"), "/q");
  EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
  ExpectInstalled(sevenPackage);
}

// Each version installs the same way; the 9x family's attempt at a short
// uninstall command finds no such file and keeps the long command, so the
// command is the same under every version.
TEST_F(WindowsVersions, QuietInstallUnderEachVersion) {
  std::vector<std::string> commands, kinds;
  int n = 0;
  for (const char* version : {"win98", "nt40", "winxp"}) {
    SCOPED_TRACE(version);
    PackagePlan plan;
    plan.title = "E2E Version " + std::to_string(++n);
    const Package package = MakePackage(plan);
    const std::string exe = std::string("Setup") + version + ".exe";
    SetWindowsVersion(exe, version);
    auto child = RunToEnd(WriteInstaller(package, exe), "/q");
    EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
    ExpectInstalled(package);
    // The Windows kind the installer found: one line of its log.
    for (const std::string& line : child->DebugLines()) {
      if (line.rfind("version: ", 0) == 0) kinds.push_back(line);
    }
    bool found = false;
    std::string command = RegString(HKEY_LOCAL_MACHINE, ss::UninstallKeyPath(plan.title), "UninstallString", &found);
    const size_t at = command.find(plan.title);
    ASSERT_NE(at, std::string::npos) << command;
    commands.push_back(command.replace(at, plan.title.size(), "<title>"));
  }
  EXPECT_EQ(commands[0], commands[2]);
  EXPECT_EQ(commands[1], commands[2]);
  // Each run saw the version it was given.
  ASSERT_EQ(kinds.size(), 3u);
  EXPECT_NE(kinds[0], kinds[1]);
  EXPECT_NE(kinds[1], kinds[2]);
  EXPECT_NE(kinds[0], kinds[2]);
}

}  // namespace
}  // namespace e2e
