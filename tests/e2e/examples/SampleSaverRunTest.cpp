// The sample engine run as the system runs it, under Wine: "/u" after an
// install laid out the way the installer leaves it (engine in the system
// directory, install directory with pictures and saver.dat, the uninstall
// entry, the "SCRNSAVE.EXE" line), the settings note of "/c" and the
// preview of "/p". The engine and its libraries are copied beside this test
// by the build.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/WinHandles.h"
#include "examples/media/SampleMedia.h"
#include "examples/saver/SampleSettings.h"
#include "examples/saver/SaverPaths.h"
#include "examples/saver/SaverUninstall.h"
#include "examples/saver/SaverWindow.h"
#include "tests/e2e/examples/SampleTestSupport.h"
#include "tests/win/winsys/WinsysTestSupport.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/ScreenSaverActivation.h"

namespace ss::sample {
namespace {

using namespace test;

std::string EngineSource() { return ss::test::ProgramDir() + "Sample Aquarium.scr"; }

// What the installer leaves: the engine as <title>.scr in `systemDir`, the
// install directory with two pictures, saver.dat, the captions, a support
// library, a sub-folder and a read-only file.
void LayOutInstall(const std::string& systemDir, const std::string& title, uint32_t slideSeconds) {
  ForceDirectoryPath(systemDir);
  ASSERT_TRUE(CopyFileA(EngineSource().c_str(), (systemDir + title + ".scr").c_str(), FALSE))
      << ss::test::LastErrorText();
  const std::string dir = systemDir + title + " dir\\";
  ForceDirectoryPath(dir + "notes\\");
  for (int i = 0; i < 2; ++i) {
    const auto bmp = EncodeBmp24(PaintScene(i, 64, 48));
    sstest::WriteAll(dir + SceneFileName(i), bmp);
  }
  SampleSettings settings;
  settings.slideSeconds = slideSeconds;
  std::vector<uint8_t> blob;
  std::string error;
  ASSERT_TRUE(EncodeSettingsBlob(settings, &blob, &error)) << error;
  const auto dat = SaverDatFromBlob(blob, 2, 0);
  sstest::WriteAll(dir + "saver.dat", dat);
  WriteText(dir + "captions.txt", "01-reef.bmp = Reef\r\n");
  ASSERT_TRUE(CopyFileA((ss::test::ProgramDir() + "aquafx.dll").c_str(), (dir + "aquafx.dll").c_str(), FALSE));
  WriteText(dir + "notes\\readme.txt", "notes");
  WriteText(dir + "locked.txt", "read-only");
  SetFileAttributesA((dir + "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
}

// Registers and activates as the installer's last steps do.
void RegisterAndActivate(const std::string& systemDir, const std::string& title) {
  ss::test::DirsRestorer dirs;
  DirectorySet d = Dirs();
  d.systemDir = systemDir;
  SetDirs(d);
  ASSERT_EQ(RegisterUninstallEntry(title), kOk);
  ASSERT_EQ(ActivateScreenSaver(title + ".scr"), kOk);
}

// The engine's removal check shared by the runs: everything the install put
// in place is gone, and the engine file waits for the next start elsewhere.
void ExpectRemoved(const std::string& systemDir, const std::string& title, const PendingDeletes& pending,
                   InstallGuard& guard) {
  EXPECT_FALSE(Exists(systemDir + title + " dir")) << "install directory left behind";
  EXPECT_FALSE(Exists(systemDir + title + ".scr")) << "engine left in place";
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, title));
  const std::vector<std::string> added = pending.Added();
  ASSERT_EQ(added.size(), 1u) << "expected one file handed over for deletion at the next start";
  guard.AlsoDelete(added[0]);
  EXPECT_NE(LowerAscii(added[0]).find(LowerAscii(systemDir)), 0u)
      << "not moved out of the system directory: " << added[0];
  EXPECT_EQ(ReadText(added[0]), ReadText(EngineSource())) << "the pending file is the engine";
}

TEST(SampleUninstallRun, RegisteredCommandRemovesTheInstallFromTheSystemDirectory) {
  const std::string systemDir = GetSystemDirectoryPath();
  const std::string title = "Sample Aquarium Test " + std::to_string(GetCurrentProcessId());
  SystemIniRestorer ini;
  PendingDeletes pending;
  InstallGuard guard(systemDir, title);
  ASSERT_NO_FATAL_FAILURE(LayOutInstall(systemDir, title, 6));
  ASSERT_NO_FATAL_FAILURE(RegisterAndActivate(systemDir, title));

  const std::string command = RegString(HKEY_LOCAL_MACHINE, UninstallKeyPath(title), "UninstallString");
  ASSERT_EQ(command, MakeUninstallCommand(systemDir, title));
  ASSERT_EQ(ScreenSaverSetting(), ShortName(systemDir + title + ".scr"));

  // As the list of installed programs runs it.
  Process run(command);
  ASSERT_TRUE(run.started()) << command << ": " << ss::test::LastErrorText();
  EXPECT_EQ(run.Wait(20000), 0);

  ExpectRemoved(systemDir, title, pending, guard);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, title));
  EXPECT_EQ(ScreenSaverSetting(), "");
}

TEST(SampleUninstallRun, StartedByShortNameLeavesOtherProgramsEntriesAlone) {
  ScratchDir scratch("sample");
  const std::string systemDir = scratch / "System Folder\\";
  const std::string title = "Sample Aquarium Other " + std::to_string(GetCurrentProcessId());
  SystemIniRestorer ini;
  PendingDeletes pending;
  InstallGuard guard(systemDir, title);
  ASSERT_NO_FATAL_FAILURE(LayOutInstall(systemDir, title, 6));
  ASSERT_NO_FATAL_FAILURE(RegisterAndActivate(systemDir, title));

  // Another program is the active screen saver, and a same-titled entry of
  // the current user starts another engine.
  WriteText(systemDir + "Other Saver.scr", "another engine");
  const std::string other = ShortName(systemDir + "Other Saver.scr");
  ASSERT_TRUE(WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", other.c_str(), "system.ini"));
  const std::string foreign = "\"C:\\Elsewhere\\" + title + ".scr\" /u";
  ASSERT_TRUE(RegPut(HKEY_CURRENT_USER, UninstallKeyPath(title), "UninstallString", foreign));

  // The system starts a screen saver by the short name in system.ini; the
  // title must still come from the long one.
  const std::string shortEngine = ShortName(systemDir + title + ".scr");
  ASSERT_FALSE(shortEngine.empty());
  ASSERT_EQ(shortEngine.find(title), std::string::npos) << "expected a short form";
  Process run(shortEngine + " /u");
  ASSERT_TRUE(run.started()) << ss::test::LastErrorText();
  EXPECT_EQ(run.Wait(20000), 0);

  ExpectRemoved(systemDir, title, pending, guard);
  EXPECT_EQ(ScreenSaverSetting(), other) << "another program's screen saver line was changed";
  EXPECT_EQ(RegString(HKEY_CURRENT_USER, UninstallKeyPath(title), "UninstallString"), foreign);
  EXPECT_TRUE(Exists(systemDir + "Other Saver.scr"));
}

TEST(SampleUninstallSteps, EveryStepRunsWhenOneFails) {
  ScratchDir scratch("sample");
  const std::string systemDir = scratch / "Sys\\";
  const std::string title = "Busy Aquarium";
  SystemIniRestorer ini;
  PendingDeletes pending;
  InstallGuard guard(systemDir, title);
  ASSERT_NO_FATAL_FAILURE(LayOutInstall(systemDir, title, 6));
  ASSERT_NO_FATAL_FAILURE(RegisterAndActivate(systemDir, title));

  SaverLocation loc;
  std::string error;
  ASSERT_TRUE(LocateSaver(systemDir + title + ".scr", &loc, &error)) << error;
  UninstallReport report;
  Result rc;
  {
    ss::test::LockedFile busy(loc.installDir + "notes\\busy.bin");
    ASSERT_TRUE(busy.ok());
    rc = UninstallSaver(loc, &report);
  }
  EXPECT_NE(rc, kOk);
  EXPECT_FALSE(report.installDirRemoved);
  EXPECT_NE(report.error.find(loc.installDir), std::string::npos) << report.error;
  EXPECT_TRUE(Exists(loc.installDir + "notes\\busy.bin")) << "the busy file went";
  // The other steps still ran; the engine was not running, so it went at once.
  EXPECT_EQ(report.entriesRemoved, 1);
  EXPECT_TRUE(report.profileLineRemoved);
  EXPECT_EQ(ScreenSaverSetting(), "");
  EXPECT_EQ(report.engine, EngineRemoval::kGone);
  EXPECT_FALSE(Exists(loc.enginePath));
  EXPECT_TRUE(pending.Added().empty());

  // Run again once the file is free: the rest goes, and the missing pieces
  // are no failure.
  UninstallReport again;
  EXPECT_EQ(UninstallSaver(loc, &again), kOk) << again.error;
  EXPECT_FALSE(Exists(loc.installDir));
  EXPECT_EQ(again.entriesRemoved, 0);
  EXPECT_FALSE(again.profileLineRemoved);
}

TEST(SampleUninstallSteps, EngineIsKnownByEitherName) {
  ScratchDir scratch("sample");
  const std::string engine = scratch / "Long Engine Name.scr";
  WriteText(engine, "x");
  WriteText(scratch / "Long Other Name.scr", "y");
  EXPECT_TRUE(NamesEngine(engine, engine));
  EXPECT_TRUE(NamesEngine(ShortName(engine), engine));
  EXPECT_TRUE(NamesEngine(LowerAscii(engine), engine));
  EXPECT_FALSE(NamesEngine(ShortName(scratch / "Long Other Name.scr"), engine));
  EXPECT_FALSE(NamesEngine(scratch / "Missing.scr", engine));
  EXPECT_FALSE(NamesEngine("", engine));
}

// The system may start the engine by its short name; the title comes from
// the long one, through either conversion.
TEST(SampleUninstallSteps, ShortNameGivesBackTheLongTitle) {
  ScratchDir scratch("sample");
  const std::string dir = scratch / "Long Folder Name\\";
  ForceDirectoryPath(dir);
  const std::string engine = dir + "Sample Aquarium.scr";
  WriteText(engine, "x");
  const std::string shortEngine = ShortName(engine);
  ASSERT_EQ(shortEngine.find("Sample Aquarium"), std::string::npos) << shortEngine;

  EXPECT_TRUE(SamePathText(LongPathOf(shortEngine), engine)) << LongPathOf(shortEngine);
  // The fallback gives the long file name in the directory as written.
  const std::string viaListing = LongFileNameOf(shortEngine);
  EXPECT_EQ(viaListing.substr(viaListing.size() - 19), "Sample Aquarium.scr");
  SaverLocation loc;
  std::string error;
  ASSERT_TRUE(LocateSaver(viaListing, &loc, &error)) << error;
  EXPECT_EQ(loc.title, "Sample Aquarium");

  EXPECT_EQ(LongPathOf(dir + "Missing.scr"), dir + "Missing.scr");
  EXPECT_EQ(LongFileNameOf(dir + "Missing.scr"), dir + "Missing.scr");
}

TEST(SampleSlideShowContent, PicturesCaptionsAndSettingsFromTheInstallDirectory) {
  ScratchDir scratch("sample");
  const std::string systemDir = scratch / "Sys\\";
  ASSERT_NO_FATAL_FAILURE(LayOutInstall(systemDir, "Show", 42));
  const std::string dir = systemDir + "Show dir\\";
  WriteText(dir + "B-Second.BMP", "not really a picture");
  WriteText(dir + "a-first.bmp", "nor this");
  WriteText(dir + "notes.txt", "no picture");
  SaverLocation loc;
  std::string error;
  ASSERT_TRUE(LocateSaver(systemDir + "Show.scr", &loc, &error)) << error;

  SlideShowContent c = LoadSlideShowContent(loc);
  EXPECT_EQ(c.settingsError, "");
  EXPECT_EQ(c.settings.slideSeconds, 42u);
  // Every *.bmp, in name order without regard to case.
  const std::vector<std::string> want = {dir + "01-reef.bmp", dir + "02-kelp.bmp", dir + "a-first.bmp",
                                         dir + "B-Second.BMP"};
  EXPECT_EQ(c.pictures, want);
  EXPECT_EQ(PictureCaption(c, dir + "01-reef.bmp"), "Sample Aquarium - Reef");
  EXPECT_EQ(PictureCaption(c, dir + "02-kelp.bmp"), "Sample Aquarium");

  // A damaged or missing saver.dat gives the defaults and says why.
  WriteText(dir + "saver.dat", std::string(1239, '\0'));
  c = LoadSlideShowContent(loc);
  EXPECT_NE(c.settingsError.find("1239"), std::string::npos) << c.settingsError;
  EXPECT_EQ(c.settings.slideSeconds, SampleSettings{}.slideSeconds);
  EXPECT_EQ(c.settings.caption, "Show");
  DeleteFileA((dir + "saver.dat").c_str());
  c = LoadSlideShowContent(loc);
  EXPECT_NE(c.settingsError.find(dir), std::string::npos) << c.settingsError;
  EXPECT_EQ(c.settings.caption, "Show");
}

TEST(SampleSaverWindows, SettingsNoteShowsTheInstalledSettings) {
  if (!ss::test::HaveDisplay()) GTEST_SKIP() << "no display";
  ScratchDir scratch("sample");
  const std::string systemDir = scratch / "Sys\\";
  const std::string title = "Note Aquarium";
  InstallGuard guard(systemDir, title);
  ASSERT_NO_FATAL_FAILURE(LayOutInstall(systemDir, title, 9));

  Process run("\"" + systemDir + title + ".scr\" /c");
  ASSERT_TRUE(run.started());
  HWND box = sstest::WaitForWindow("#32770", title.c_str(), 15000, run.id());
  ASSERT_NE(box, nullptr) << "no settings note";
  std::string all;
  for (const std::string& t : ss::test::ChildTexts(box)) all += t + "\n";
  EXPECT_NE(all.find("Each picture stays 9 seconds."), std::string::npos) << all;
  EXPECT_NE(all.find("Pictures: 2 in " + systemDir + title + " dir\\"), std::string::npos) << all;
  HWND ok = FindWindowExA(box, nullptr, "Button", "OK");
  ASSERT_NE(ok, nullptr);
  PostMessageA(ok, BM_CLICK, 0, 0);
  EXPECT_EQ(run.Wait(10000), 0);
}

TEST(SampleSaverWindows, PreviewLivesInItsParentHoldsNoFilesAndEndsWithIt) {
  if (!ss::test::HaveDisplay()) GTEST_SKIP() << "no display";
  ScratchDir scratch("sample");
  const std::string systemDir = scratch / "Sys\\";
  const std::string title = "Preview Aquarium";
  PendingDeletes pending;  // the running engine's file is moved aside by the removal
  InstallGuard guard(systemDir, title);
  ASSERT_NO_FATAL_FAILURE(LayOutInstall(systemDir, title, 6));
  const std::string engine = "\"" + systemDir + title + ".scr\"";

  // A handle that names no window ends the preview at once, without a box.
  {
    Process bogus(engine + " /p 4");
    ASSERT_TRUE(bogus.started());
    EXPECT_EQ(bogus.Wait(10000), static_cast<long>(ERROR_INVALID_WINDOW_HANDLE));
  }

  HWND parent = CreateWindowExA(0, "STATIC", "preview parent", WS_POPUP | WS_VISIBLE, 10, 10, 152, 112,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  Process run(engine + " /p " + std::to_string(reinterpret_cast<uintptr_t>(parent)));
  ASSERT_TRUE(run.started());
  const auto preview = [parent] { return FindWindowExA(parent, nullptr, "SampleAquariumSaverWindow", nullptr); };
  ASSERT_TRUE(sstest::PumpUntil(preview, 15000)) << "the preview did not appear in its parent";
  HWND child = preview();
  RECT rc;
  GetClientRect(child, &rc);
  EXPECT_EQ(rc.right, 152);
  EXPECT_EQ(rc.bottom, 112);
  // The screen saver can be removed while the control panel previews it.
  SaverLocation loc;
  std::string error;
  ASSERT_TRUE(LocateSaver(systemDir + title + ".scr", &loc, &error)) << error;
  UninstallReport report;
  EXPECT_EQ(UninstallSaver(loc, &report), kOk) << report.error;
  EXPECT_FALSE(Exists(loc.installDir));

  DestroyWindow(parent);
  EXPECT_EQ(run.Wait(10000), 0) << "the preview did not end with its parent";
  for (const std::string& file : pending.Added()) guard.AlsoDelete(file);
}

}  // namespace
}  // namespace ss::sample
