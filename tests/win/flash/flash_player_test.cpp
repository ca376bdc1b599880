#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "core/DebugLog.h"
#include "flash/FlashPlayer.h"
#include "flash/ShockwaveFlash.h"
#include "tests/win/flash/FlashTestUtil.h"
#include "winsys/LMT_FileUtils.h"

using namespace ss;
using flashtest::ControlPath;
using flashtest::ControlRegistration;

namespace {

class FlashPlayerTest : public ::testing::Test {
 protected:
  flashtest::ShortProbes probes_;
  ss::OleScope ole_;
};

// The version in the registered control's file properties.
std::pair<int32_t, int32_t> FileVersion() {
  int32_t major = -1, minor = -1;
  getFlashPlugInVersionInfoFromFileProperties(major, minor);
  return {major, minor};
}

// What getFlashPlugInVersion leaves in found, major and minor, from the
// values given.
std::tuple<bool, int32_t, int32_t> PlugInVersion(bool found, int32_t major, int32_t minor) {
  getFlashPlugInVersion(found, major, minor);
  return {found, major, minor};
}

// The probe's result, found and major, from the values given.
std::tuple<Result, bool, int32_t> Probe(int attempts, bool found, int32_t major) {
  const Result rc = probeFlashControlVersion(found, major, attempts);
  return {rc, found, major};
}

int32_t QuietProbe(int attempts, int32_t major) {
  probeFlashControlVersionQuiet(major, attempts);
  return major;
}

}  // namespace

TEST_F(FlashPlayerTest, DetectionReadsTheRegisteredFilesVersion) {
  struct Row {
    int major, minor;
  } rows[] = {{7, 19}, {7, 14}, {7, 0}, {6, 79}, {8, 22}};
  for (const Row& row : rows) {
    ControlRegistration reg(ControlPath(row.major, row.minor));
    std::string path;
    ASSERT_EQ(getRegisteredFlashAXPath(path), kOk);
    EXPECT_EQ(path, ControlPath(row.major, row.minor));
    EXPECT_EQ(FileVersion(), std::make_pair(row.major, row.minor));
  }

  ControlRegistration none("");
  std::string path = "stale";
  EXPECT_EQ(getRegisteredFlashAXPath(path), kErrFlashMissing);
  EXPECT_EQ(path, "");
  EXPECT_EQ(FileVersion(), std::make_pair(0, 0));

  // A registered file that is not there reads as no version.
  ControlRegistration gone("C:\\no\\such\\flash.ocx");
  EXPECT_EQ(FileVersion(), std::make_pair(0, 0));
}

TEST_F(FlashPlayerTest, ProbeFailsWithoutAControlThenCachesTheFirstSuccess) {
  {
    ControlRegistration none("");
    const DWORD start = GetTickCount();
    EXPECT_EQ(Probe(4, true, 5), std::make_tuple(kErrFlashMissing, false, -1));
    const DWORD spent = GetTickCount() - start;
    EXPECT_EQ(cachedFlashMajor(), -1);
    EXPECT_GE(spent, 4u * 20u - 10u);  // a pause before each of the 4 attempts
    EXPECT_EQ(QuietProbe(2, -1), 0);
  }
  {
    ControlRegistration reg(ControlPath(7, 19));
    EXPECT_EQ(Probe(4, false, 0), std::make_tuple(kOk, true, 7));
    EXPECT_EQ(cachedFlashMajor(), 7);
  }
  // Cached: later probes answer at once without a control, and the quiet
  // form then leaves its major at 0.
  ControlRegistration none("");
  const DWORD start = GetTickCount();
  EXPECT_EQ(Probe(1000, false, 0), std::make_tuple(kOk, true, 7));
  EXPECT_LT(GetTickCount() - start, 500u);
  EXPECT_EQ(QuietProbe(1000, 7), 0);
}

TEST_F(FlashPlayerTest, PlugInVersionFallsBackToTheProbe) {
  {
    ControlRegistration reg(ControlPath(6, 79));
    EXPECT_EQ(PlugInVersion(false, 0, 0), std::make_tuple(true, 6, 79));
    EXPECT_EQ(cachedFlashMajor(), -1);  // the file answered; no probe ran
  }
  ControlRegistration none("");
  EXPECT_EQ(PlugInVersion(true, 3, 3), std::make_tuple(false, 0, 0));
}

TEST_F(FlashPlayerTest, OldControlFilesAreRemovedUnlessHeld) {
  flashtest::ScratchDir system;
  ASSERT_FALSE(system.path().empty());
  const std::string dir = system.path() + "Macromed\\Flash\\";
  ForceDirectoryPath(dir);
  flashtest::WriteAll(dir + "Flash.ocx", {1, 2, 3});
  flashtest::WriteAll(dir + "swflash.ocx", {4});
  EXPECT_FALSE(removeFlashAXFiles(system.path()));
  EXPECT_FALSE(FileExists(dir + "Flash.ocx"));
  EXPECT_FALSE(FileExists(dir + "swflash.ocx"));
  EXPECT_FALSE(removeFlashAXFiles(system.path()));  // nothing there: nothing remains

  flashtest::WriteAll(dir + "swflash.ocx", {4});
  HANDLE held = CreateFileA((dir + "swflash.ocx").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(removeFlashAXFiles(system.path()));
  CloseHandle(held);
  EXPECT_FALSE(removeFlashAXFiles(""));
}

TEST_F(FlashPlayerTest, DecisionRemovesFilesForUpdatesAndReportsDownloads) {
  flashtest::ScratchDir system;
  const std::string ocx = system.path() + "Macromed\\Flash\\Flash.ocx";
  RequiredFlashVersion index0;
  ASSERT_EQ(requiredFlashVersion(0, index0), kOk);

  ForceDirectoryPath(system.path() + "Macromed\\Flash\\");
  flashtest::WriteAll(ocx, {1});
  FlashPlayerOutcome outcome;
  EXPECT_EQ(applyFlashDecision(true, 7, 14, index0, true, system.path(), outcome), kOk);
  EXPECT_EQ(outcome.decision, FlashDecision::MinorUpdate);
  EXPECT_TRUE(outcome.flashUpdateNeeded);
  EXPECT_FALSE(outcome.flashControlInUse);
  EXPECT_FALSE(FileExists(ocx));

  // An update without a carried setup keeps the old player (nothing would
  // replace it) and asks for a download.
  flashtest::WriteAll(ocx, {1});
  EXPECT_EQ(applyFlashDecision(true, 6, 79, index0, false, system.path(), outcome), kErrFlashMissing);
  EXPECT_EQ(outcome.decision, FlashDecision::MajorUpdate);
  EXPECT_TRUE(FileExists(ocx));
  EXPECT_EQ(applyFlashDecision(true, 7, 14, index0, false, system.path(), outcome), kErrFlashMissing);
  EXPECT_EQ(outcome.decision, FlashDecision::MinorUpdate);
  EXPECT_TRUE(FileExists(ocx));

  // A file in use: the update cannot go ahead.
  flashtest::WriteAll(ocx, {1});
  HANDLE held = CreateFileA(ocx.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(applyFlashDecision(true, 6, 79, index0, true, system.path(), outcome), kErrFlashMissing);
  EXPECT_TRUE(outcome.flashControlInUse);
  CloseHandle(held);

  // Current players and clean installs leave files alone.
  EXPECT_EQ(applyFlashDecision(true, 7, 0, index0, true, system.path(), outcome), kOk);
  EXPECT_FALSE(outcome.flashUpdateNeeded);
  EXPECT_TRUE(FileExists(ocx));
  EXPECT_EQ(applyFlashDecision(false, 0, 0, index0, true, system.path(), outcome), kOk);
  EXPECT_EQ(outcome.decision, FlashDecision::CleanInstall);
  EXPECT_TRUE(outcome.flashUpdateNeeded);
  EXPECT_TRUE(FileExists(ocx));
  EXPECT_EQ(applyFlashDecision(false, 0, 0, index0, false, system.path(), outcome), kErrFlashMissing);
}

TEST_F(FlashPlayerTest, InstallerStartResults) {
  flashtest::ScratchDir work;
  EXPECT_EQ(runFlashAXInstaller("flashsetup.exe", work.path(), nullptr), kErrFlashSetupMissing);
  EXPECT_EQ(runFlashAXInstaller("..\\flashsetup.exe", work.path(), nullptr), kErrBadEntryName);
  EXPECT_EQ(runFlashAXInstaller("C:\\windows\\notepad.exe", work.path(), nullptr), kErrBadEntryName);
  // A file the shell cannot start: its own code (no association) passes through.
  flashtest::WriteAll(work.path() + "setup.noassoc", {0});
  const Result rc = runFlashAXInstaller("setup.noassoc", work.path(), nullptr);
  EXPECT_GE(rc, 1);
  EXPECT_LE(rc, 32);

  // A program that starts: 0, without waiting for it. installFlashPlayer
  // takes it from the process-wide work directory and then checks the
  // player again (no control here: the quiet probe finds nothing).
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string probe(self);
  probe = probe.substr(0, probe.find_last_of('\\') + 1) + "os_kind_probe.exe";
  ASSERT_TRUE(CopyFileA(probe.c_str(), (work.path() + "flashsetup.exe").c_str(), FALSE));
  EXPECT_EQ(runFlashAXInstaller("flashsetup.exe", work.path(), nullptr), kOk);
  const DirectorySet saved = Dirs();
  DirectorySet dirs = saved;
  dirs.workDir = work.path();
  SetDirs(dirs);
  ControlRegistration none("");
  EXPECT_EQ(installFlashPlayer("flashsetup.exe", nullptr), kOk);
  EXPECT_EQ(installFlashPlayer("missing.exe", nullptr), kErrFlashSetupMissing);
  EXPECT_EQ(cachedFlashMajor(), -1);
  SetDirs(saved);
  Sleep(300);  // let the started copies end before the directory goes
}
