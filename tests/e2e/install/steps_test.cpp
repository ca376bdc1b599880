// Every step of the install failing, one at a time, in the installer's test
// build (the same program with fault hooks; see app/FaultSeam.h): the run
// never reports success, the window says why, the right boxes are shown, and
// what the install wrote is removed again, the screen-saver setting
// included. Also the work directory disappearing under a running installer,
// and another program's uninstall entry of the title, which no such run may
// touch.
#include <string>
#include <vector>

#include "core/Messages.h"
#include "core/ResultCodes.h"
#include "tests/e2e/install/InstallFixture.h"
#include "tests/e2e/install/Pictures.h"
#include "winsys/LMT_FileUtils.h"

namespace e2e {
namespace {

constexpr char kPrivilegesStatus[] = "Installation Aborted: Insufficient user account privileges.";
constexpr char kPrivilegesBoxText[] = "Insufficient user account privileges.";
constexpr char kEngineBusyStatus[] = "Installation Aborted: Screen saver cannot be replaced.";
constexpr char kFailedStatus[] = "Install failed. Error: ";
constexpr ss::Result kDiskFull = 112;  // ERROR_DISK_FULL

// Steps in the order the install runs them; activation is the one whose
// failure alone keeps the install.
const char* const kSteps[] = {"prepare", "extract", "header", "expand", "write", "activate", "place"};

// SS_FAULT for the installers started while it lives (children inherit it).
class PlannedFault {
 public:
  explicit PlannedFault(const std::string& fault) { SetEnvironmentVariableA("SS_FAULT", fault.c_str()); }
  ~PlannedFault() { SetEnvironmentVariableA("SS_FAULT", nullptr); }
  PlannedFault(const PlannedFault&) = delete;
  PlannedFault& operator=(const PlannedFault&) = delete;
};

class InstallSteps : public InstallE2e {
 protected:
  void SetUp() override {
    InstallE2e::SetUp();
    ASSERT_TRUE(UseStub(SS_FAULT_STUB_PATH)) << "test build of the installer not readable: " << SS_FAULT_STUB_PATH;
    // A screen saver of someone else's is active before each run; a failed
    // install must leave it so.
    SetScreenSaverSetting("C:\\WINDOWS\\SYSTEM32\\OTHER.SCR");
    otherSaver_ = ScreenSaverSetting();
  }

  // A package with a document, so that the last step has a file to place.
  // Each row starts with the other screen saver active again (a failed
  // activation alone leaves the new engine active).
  Package MakeStepPackage(const std::string& title, uint8_t displayMode) {
    SetScreenSaverSetting(otherSaver_);
    PackagePlan plan;
    plan.title = title;
    plan.displayMode = displayMode;
    plan.document = true;
    if (displayMode == ss::dmBitmap) plan.presentation = MakeBitmapFile(320, 200);
    return MakePackage(plan);
  }

  // What a failure of `step` leaves: nothing, or (activation alone) the
  // whole install with the setting pointing at the new engine.
  void ExpectOutcomeOfFailure(const std::string& step, const Package& package, const std::string& title,
                              const ChildProcess& child) {
    if (step == "activate") {
      EXPECT_TRUE(ReadAll(EnginePath(title)) == package.segment(ss::kSegEngine));
      for (const auto& [name, bytes] : package.dataEntries) EXPECT_TRUE(ReadAll(InstallDir(title) + name) == bytes);
      EXPECT_TRUE(UninstallEntryExists(title));
      EXPECT_TRUE(NewWorkDirs().empty());
    } else {
      ExpectNothingInstalled(title);
      EXPECT_EQ(ScreenSaverSetting(), otherSaver_) << child.LogText();
    }
  }

  // Waits until `win` shows `text` among its controls.
  static void ExpectStatus(HWND win, const std::string& text, const ChildProcess& child) {
    EXPECT_TRUE(WaitForChildText(win, text, 10000)) << "status \"" << text << "\" not shown\n" << child.LogText();
  }

  // Cancel in the window's Failed or Ready phase closes it; the process ends.
  static void CloseWithCancel(HWND win, ChildProcess& child) {
    EXPECT_TRUE(ClickButton(win, "Cancel"));
    EXPECT_TRUE(child.Wait(30000)) << child.LogText();
  }

  std::string otherSaver_;
};

// Quiet runs: the failing step's code is the exit code, whatever step it is.
TEST_F(InstallSteps, QuietRunReportsEachStepsFailureAndUndoesTheInstall) {
  int n = 0;
  for (const char* step : kSteps) {
    SCOPED_TRACE(step);
    const std::string title = "E2E Step Quiet " + std::to_string(++n);
    const Package package = MakeStepPackage(title, ss::dmSilent);
    const std::string exe = WriteInstaller(package, "Quiet" + std::to_string(n) + ".exe");
    std::unique_ptr<ChildProcess> child;
    {
      PlannedFault fault(std::string(step) + ":" + std::to_string(kDiskFull));
      child = RunToEnd(exe, "/q");
    }
    EXPECT_TRUE(child->Logged(std::string("fault injected: ") + step)) << child->LogText();
    EXPECT_EQ(static_cast<int32_t>(child->exitCode()), kDiskFull) << child->LogText();
    ExpectOutcomeOfFailure(step, package, title, *child);
  }
}

// The window: code 5 from any step gives the privileges status and box,
// the program stays in its Failed phase with only Cancel usable, and its
// exit code is the failure.
TEST_F(InstallSteps, PrivilegesFailureAtEachStepShowsItsStatusAndBox) {
  int n = 0;
  for (const char* step : kSteps) {
    SCOPED_TRACE(step);
    const std::string title = "E2E Step Rights " + std::to_string(++n);
    const Package package = MakeStepPackage(title, ss::dmBitmap);
    const std::string exe = WriteInstaller(package, "Rights" + std::to_string(n) + ".exe");
    PlannedFault fault(std::string(step) + ":5");
    auto child = Start(exe, "");
    HWND win = WaitForInstaller(*child, title);
    ASSERT_NE(win, nullptr) << child->LogText();
    ASSERT_TRUE(ClickButton(win, "Install"));
    HWND boxWindow = WaitForBox(child->pid(), 30000, child.get());
    ASSERT_NE(boxWindow, nullptr) << child->LogText();
    const Box box = ReadBox(boxWindow);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_NE(box.text.find(kPrivilegesBoxText), std::string::npos) << box.text;
    EXPECT_EQ(box.buttons, Buttons{"Abort"});
    ExpectStatus(win, kPrivilegesStatus, *child);
    if (n == 1) Screenshot(win, "e2e-step-privileges");
    ClickButton(boxWindow, "Abort");
    for (int i = 0; i < 100 && IsWindow(boxWindow); ++i) Pump(20);
    EXPECT_EQ(WaitForBox(child->pid(), 300, child.get()), nullptr) << "a second box";
    EXPECT_FALSE(ButtonUsable(win, "Install"));
    EXPECT_TRUE(ButtonUsable(win, "Cancel"));
    EXPECT_TRUE(child->Running()) << "the window closed after a failure";
    CloseWithCancel(win, *child);
    EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kOsAccessDenied) << child->LogText();
    ExpectOutcomeOfFailure(step, package, title, *child);
  }
}

// The other codes of the window: -38 has its own status and box; any other
// code shows "Install failed. Error: " and the code, and no box (the failing
// step shows its own, and an injected failure has none).
TEST_F(InstallSteps, OtherFailuresShowTheirStatus) {
  struct Case {
    const char* step;
    ss::Result code;
    const char* status;
    bool box;
  };
  const std::string failed112 = kFailedStatus + std::to_string(kDiskFull);
  const std::string failedMissing = kFailedStatus + std::to_string(ss::kErrFileMissing);
  const Case cases[] = {{"extract", ss::kErrEngineBusy, kEngineBusyStatus, true},
                        {"expand", kDiskFull, failed112.c_str(), false},
                        {"place", ss::kErrFileMissing, failedMissing.c_str(), false}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.step) + " " + std::to_string(c.code));
    const std::string title = "E2E Step Other " + std::to_string(++n);
    const Package package = MakeStepPackage(title, ss::dmBitmap);
    const std::string exe = WriteInstaller(package, "Other" + std::to_string(n) + ".exe");
    PlannedFault fault(std::string(c.step) + ":" + std::to_string(c.code));
    auto child = Start(exe, "");
    HWND win = WaitForInstaller(*child, title);
    ASSERT_NE(win, nullptr) << child->LogText();
    ASSERT_TRUE(ClickButton(win, "Install"));
    if (c.box) {
      HWND boxWindow = WaitForBox(child->pid(), 30000, child.get());
      ASSERT_NE(boxWindow, nullptr) << child->LogText();
      EXPECT_EQ(ReadBox(boxWindow).caption, "Error");
      ClickButton(boxWindow, "Abort");
      for (int i = 0; i < 100 && IsWindow(boxWindow); ++i) Pump(20);
    }
    ExpectStatus(win, c.status, *child);
    EXPECT_EQ(WaitForBox(child->pid(), 300, child.get()), nullptr) << "an unexpected box";
    EXPECT_FALSE(ButtonUsable(win, "Install"));
    CloseWithCancel(win, *child);
    EXPECT_EQ(static_cast<int32_t>(child->exitCode()), c.code) << child->LogText();
    ExpectOutcomeOfFailure(c.step, package, title, *child);
  }
}

// Cancel arriving during any step: no box, no failure status, everything
// removed (the setting restored when the engine had been activated), and
// the window back in its Ready phase; closing it then reports the abort.
TEST_F(InstallSteps, CancelDuringEachStepUndoesTheInstall) {
  int n = 0;
  for (const char* step : kSteps) {
    SCOPED_TRACE(step);
    const std::string title = "E2E Step Cancel " + std::to_string(++n);
    const Package package = MakeStepPackage(title, ss::dmBitmap);
    const std::string exe = WriteInstaller(package, "Cancel" + std::to_string(n) + ".exe");
    PlannedFault fault(std::string(step) + ":cancel");
    auto child = Start(exe, "");
    HWND win = WaitForInstaller(*child, title);
    ASSERT_NE(win, nullptr) << child->LogText();
    ASSERT_TRUE(ClickButton(win, "Install"));
    // The aborted status shows only while the clean-up runs; the Ready phase
    // then clears it.
    for (int i = 0; i < 100 && !child->Logged("runInstall: "); ++i) Pump(50);
    EXPECT_TRUE(sstest::PumpUntil([&] { return ButtonUsable(win, "Install"); }, 5000))
        << "Install not usable again after the cancel";
    EXPECT_EQ(WaitForBox(child->pid(), 300, child.get()), nullptr) << "a box after a cancel";
    EXPECT_TRUE(child->Logged("runInstall: " + std::to_string(ss::kErrUserDeclined))) << child->LogText();
    for (const char* status : {kPrivilegesStatus, kEngineBusyStatus}) EXPECT_FALSE(HasChildText(win, status));
    EXPECT_FALSE(HasChildText(win, kFailedStatus + std::to_string(ss::kErrUserDeclined)));
    CloseWithCancel(win, *child);
    EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrUserDeclined) << child->LogText();
    ExpectNothingInstalled(title);
    EXPECT_EQ(ScreenSaverSetting(), otherSaver_);
  }
}

// A library other programs share in the system directory (segment 9 made
// type 2): an existing one is replaced only by a newer file version (the MS
// half decides before the LS half; a packaged file without a version
// resource never replaces, one with a version replaces an existing file
// without one), a missing one is written, and after a later failure or a
// cancel the clean-up puts the old file back byte for byte, or removes the
// one this run created. A deletion the system refuses fails the install.
TEST_F(InstallSteps, SharedSystemFileReplacedOnlyByANewerVersionAndPutBackAfterAFailure) {
  constexpr char kName[] = "sse2eshared.dll";
  const std::string target = SystemDir() + kName;
  auto fixture = [](const std::string& version) {
    return ReadAll(sstest::WinePath(std::string(SS_SYSFILE_DIR) + "/e2e_sysfile_" + version + ".dll"));
  };
  struct Row {
    const char* existing;  // "": no file there
    const char* packaged;
    const char* fault;     // SS_FAULT, "" for none
    int32_t exit;
    bool packagedStays;    // else the existing file (or none) is there afterwards
    bool heldOpen = false; // the existing file open without sharing its deletion
  };
  const std::string disk = "expand:" + std::to_string(kDiskFull);
  const Row rows[] = {
      {"2_0_0_5", "1_9_0_9", "", 0, false},
      {"2_0_0_5", "2_0_0_4", "", 0, false},
      {"2_0_0_5", "2_0_0_5", "", 0, false},
      {"2_0_0_5", "none", "", 0, false},
      {"2_0_0_5", "2_0_0_6", "", 0, true},
      {"2_0_0_5", "3_0_0_0", "", 0, true},
      {"none", "1_9_0_9", "", 0, true},
      {"", "none", "", 0, true},
      {"2_0_0_5", "3_0_0_0", disk.c_str(), kDiskFull, false},
      {"none", "2_0_0_6", "place:5", ss::kOsAccessDenied, false},
      {"2_0_0_5", "2_0_0_6", "write:cancel", ss::kErrUserDeclined, false},
      {"", "3_0_0_0", disk.c_str(), kDiskFull, false},
      {"2_0_0_5", "3_0_0_0", "", ss::kErrSystemFileNotReplaced, false, true},
  };
  int n = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.existing) + " <- " + r.packaged + " " + r.fault + (r.heldOpen ? " held open" : ""));
    const std::string title = "E2E Step Shared " + std::to_string(++n);
    Package package = MakeStepPackage(title, ss::dmSilent);
    const Bytes packaged = fixture(r.packaged);
    ASSERT_GT(packaged.size(), 512u);
    package.input.segments[ss::kSegSupportLib1]->name = kName;
    package.input.segments[ss::kSegSupportLib1]->data = packaged;
    const std::string exe = WriteInstaller(package, "Shared" + std::to_string(n) + ".exe", [&](Bytes& b) {
      ss::TPackageHeader h = ss::TPackageHeader::Parse(b.data() + stub_->size());
      h.segments[ss::kSegSupportLib1].segmentType = 2;
      h.Write(b.data() + stub_->size());
    });
    // The existing copy carries a tail of its own, so that an equal version
    // still tells which file is there.
    Bytes existing;
    if (*r.existing != 0) {
      existing = fixture(r.existing);
      const std::string tail = "existing copy";
      existing.insert(existing.end(), tail.begin(), tail.end());
      ASSERT_TRUE(WriteAll(target, existing));
    }
    HANDLE held = INVALID_HANDLE_VALUE;
    if (r.heldOpen) {
      held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
    }
    std::unique_ptr<ChildProcess> child;
    {
      PlannedFault fault(r.fault);
      child = RunToEnd(exe, "/q");
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ(static_cast<int32_t>(child->exitCode()), r.exit) << child->LogText();
    const Bytes after = ReadAll(target);
    if (r.packagedStays) {
      EXPECT_TRUE(after == packaged) << child->LogText();
    } else if (*r.existing != 0) {
      EXPECT_TRUE(after == existing) << child->LogText();
    } else {
      EXPECT_FALSE(FileExists(target)) << child->LogText();
    }
    if (r.exit == 0) {
      EXPECT_TRUE(ReadAll(EnginePath(title)) == package.segment(ss::kSegEngine));
      EXPECT_TRUE(UninstallEntryExists(title));
    } else {
      ExpectNothingInstalled(title);
    }
    EXPECT_TRUE(NewWorkDirs().empty());
    ss::DeleteFileForced(target);
  }
}

// Another program's uninstall entry of the title outlives runs that would
// fail or be cancelled (whose clean-up once removed it): each is refused
// with -607 before its first step, so no fault is reached, and writes
// nothing. In the window the refusal shows its box and status, and the run
// ends with the code.
TEST_F(InstallSteps, AnotherProgramsEntryOutlivesFailingAndCancelledRuns) {
  int n = 0;
  for (const char* planned : {"place:112", "extract:cancel", "prepare:5"}) {
    SCOPED_TRACE(planned);
    const std::string title = "E2E Step Taken " + std::to_string(++n);
    const Package package = MakeStepPackage(title, ss::dmSilent);
    const std::string exe = WriteInstaller(package, "Taken" + std::to_string(n) + ".exe");
    PutForeignEntry(HKEY_LOCAL_MACHINE, title);
    const Bytes iniBefore = ReadAll(WindowsDir() + "system.ini");
    std::unique_ptr<ChildProcess> child;
    {
      PlannedFault fault(planned);
      child = RunToEnd(exe, "/q");
    }
    EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrForeignUninstallEntry) << child->LogText();
    EXPECT_FALSE(child->Logged("fault injected")) << child->LogText();
    ExpectRefusedUntouched(HKEY_LOCAL_MACHINE, title, true, iniBefore);
  }

  const std::string title = "E2E Step Taken Window";
  const Package package = MakeStepPackage(title, ss::dmBitmap);
  const std::string exe = WriteInstaller(package, "TakenWindow.exe");
  PutForeignEntry(HKEY_CURRENT_USER, title);
  const Bytes iniBefore = ReadAll(WindowsDir() + "system.ini");
  PlannedFault fault("place:5");
  auto child = Start(exe, "");
  HWND win = WaitForInstaller(*child, title);
  ASSERT_NE(win, nullptr) << child->LogText();
  ASSERT_TRUE(ClickButton(win, "Install"));
  HWND boxWindow = WaitForBox(child->pid(), 30000, child.get());
  ASSERT_NE(boxWindow, nullptr) << child->LogText();
  EXPECT_EQ(ReadBox(boxWindow).Shown(),
            std::make_tuple("Error", ss::ComposeInstallError(ss::kErrForeignUninstallEntry, ""), Buttons{"Abort"}));
  Screenshot(boxWindow, "e2e-step-title-taken");
  ClickButton(boxWindow, "Abort");
  for (int i = 0; i < 100 && IsWindow(boxWindow); ++i) Pump(20);
  ExpectStatus(win, ss::CompletionStatus(ss::kErrForeignUninstallEntry), *child);
  EXPECT_EQ(WaitForBox(child->pid(), 300, child.get()), nullptr) << "a second box";
  EXPECT_FALSE(ButtonUsable(win, "Install"));
  CloseWithCancel(win, *child);
  EXPECT_EQ(static_cast<int32_t>(child->exitCode()), ss::kErrForeignUninstallEntry) << child->LogText();
  EXPECT_FALSE(child->Logged("fault injected")) << child->LogText();
  ExpectRefusedUntouched(HKEY_CURRENT_USER, title, true, iniBefore);
}

// The work directory removed under the installer: before the payload is
// extracted, and after the saver data file was written into it. Each run
// fails with the system's "not found" code and installs nothing.
TEST_F(InstallSteps, WorkDirectoryVanishingMidInstallFailsCleanly) {
  int n = 0;
  for (const char* step : {"extract", "header", "expand"}) {
    SCOPED_TRACE(step);
    const std::string title = "E2E Step Vanish " + std::to_string(++n);
    const Package package = MakeStepPackage(title, ss::dmSilent);
    const std::string exe = WriteInstaller(package, "Vanish" + std::to_string(n) + ".exe");
    std::unique_ptr<ChildProcess> child;
    {
      PlannedFault fault(std::string(step) + ":vanish");
      child = RunToEnd(exe, "/q");
    }
    EXPECT_TRUE(child->Logged("fault injected: work directory removed before " + std::string(step) + ": 0"))
        << child->LogText();
    const int32_t code = static_cast<int32_t>(child->exitCode());
    EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code << "\n" << child->LogText();
    ExpectNothingInstalled(title);
    EXPECT_EQ(ScreenSaverSetting(), otherSaver_);
  }
}

// The same, for real: the test itself empties the work directory while the
// window waits for Install. Only the marker the installer holds open (the
// sign that the folder is in use) stays, and with it the folder. The
// install fails with a box and the failure status, and leaves nothing
// behind.
TEST_F(InstallSteps, WorkDirectoryRemovedBeforeInstallIsClicked) {
  const std::string title = "E2E Step Removed";
  const Package package = MakeStepPackage(title, ss::dmBitmap);
  auto child = Start(WriteInstaller(package, "Removed.exe"), "");
  HWND win = WaitForInstaller(*child, title);
  ASSERT_NE(win, nullptr) << child->LogText();
  const std::vector<std::string> dirs = NewWorkDirs();
  ASSERT_EQ(dirs.size(), 1u);
  const std::string workDir = TempDir() + dirs.front() + "\\";
  EXPECT_NE(ss::RemoveDirectoryTree(workDir), ss::kOk) << "the running installer's marker was deleted";
  for (const std::string& name : ListDir(workDir, "*")) {
    if (name == ss::kWorkDirectoryMarker) continue;
    const std::string path = workDir + name;
    EXPECT_EQ(DirExists(path) ? ss::RemoveDirectoryTree(path + "\\") : ss::DeleteFileForced(path), ss::kOk) << name;
  }
  ASSERT_EQ(ListDir(workDir, "*"), std::vector<std::string>{ss::kWorkDirectoryMarker});

  ASSERT_TRUE(ClickButton(win, "Install"));
  HWND boxWindow = WaitForBox(child->pid(), 30000, child.get());
  ASSERT_NE(boxWindow, nullptr) << child->LogText();
  const Box box = ReadBox(boxWindow);
  EXPECT_EQ(box.caption, "Error");
  ClickButton(boxWindow, box.buttons.empty() ? "" : box.buttons.front());
  for (int i = 0; i < 100 && IsWindow(boxWindow); ++i) Pump(20);
  const std::string notFound = kFailedStatus + std::to_string(ERROR_FILE_NOT_FOUND);
  const std::string pathNotFound = kFailedStatus + std::to_string(ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(sstest::PumpUntil([&] { return HasChildText(win, notFound) || HasChildText(win, pathNotFound); }, 10000))
      << "no failure status\n" << child->LogText();
  EXPECT_FALSE(ButtonUsable(win, "Install"));
  CloseWithCancel(win, *child);
  const int32_t code = static_cast<int32_t>(child->exitCode());
  EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code << "\n" << child->LogText();
  ExpectNothingInstalled(title);
  EXPECT_EQ(ScreenSaverSetting(), otherSaver_);
}

}  // namespace
}  // namespace e2e
