// Libraries and programs planted beside the installer (a downloads folder is
// a shared place) or in the folder it is started in are never loaded or
// started: the installer imports only libraries every process has, restricts
// its library search to the system directory, loads impborl.dll by its full
// path in its own work directory, and starts the Display control panel by
// full path from the system directory. (Wine takes its own built-in system
// libraries whatever the path, so a planted copy of one of those could not
// show here; the names are planted all the same.)
#include <string>
#include <vector>

#include "tests/e2e/install/InstallFixture.h"
#include "tests/e2e/install/Pictures.h"

namespace e2e {
namespace {

using ss::pack::Compression;
using Names = std::vector<std::string>;

class Planting : public InstallE2e {
 protected:
  // A copy of the recording decoy (SS_DECOY_PATH, SS_DECOY_PROGRAM_PATH)
  // under each name in `dir`.
  static void Plant(const std::string& decoyPath, const std::string& dir, const Names& names) {
    const Bytes decoy = ReadAll(sstest::WinePath(decoyPath));
    ASSERT_FALSE(decoy.empty()) << decoyPath;
    for (const std::string& name : names) ASSERT_TRUE(WriteAll(dir + name, decoy)) << dir + name;
  }
  // The planted copies that were loaded or started, by path.
  static Names Used(const Names& dirs, const Names& names) {
    Names used;
    for (const std::string& dir : dirs) {
      for (const std::string& name : names) {
        if (FileExists(dir + name + ".loaded")) used.push_back(dir + name);
      }
    }
    return used;
  }
  static std::string Joined(const Names& names) {
    std::string text;
    for (const std::string& name : names) text += name + " ";
    return text;
  }
};

TEST_F(Planting, DecoysBesideTheInstallerAreNeverLoaded) {
  PackagePlan plan;
  plan.title = "E2E Planted";
  plan.displayMode = ss::dmBitmap;  // a window to make
  plan.presentation = MakeBitmapFile(120, 80);
  plan.compression = Compression::kCompress;  // every item goes through impborl.dll
  const Package package = MakePackage(plan);
  const std::string exe = WriteInstaller(package);
  const std::string dir = exe.substr(0, exe.find_last_of('\\') + 1);
  // Names the installer or the libraries it uses might look for.
  const Names names = {"impborl.dll", "version.dll", "zlib1.dll",   "comctl32.dll",
                       "jpeg62.dll",  "flash.ocx",   "uxtheme.dll", "msimg32.dll"};
  Plant(SS_DECOY_PATH, dir, names);

  auto child = Start(exe, "");
  HWND win = WaitForInstaller(*child, plan.title);
  ASSERT_NE(win, nullptr) << child->LogText();
  EXPECT_TRUE(ClickButton(win, "Cancel"));
  EXPECT_TRUE(child->Wait(30000)) << child->LogText();

  child = RunToEnd(exe, "/q");
  EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
  ExpectInstalled(package);
  EXPECT_EQ(Joined(Used({dir}, names)), "") << "loaded from beside the installer";
}

// The programs the installer starts (rundll32 for the Display control panel;
// what might open the document) and the libraries those take (shell32, the
// panel), planted beside the installer and in its current folder, never run:
// once for a package without presentation, which opens the panel at once
// when run without "/q", and once for an install through the window whose
// panel question is answered Yes. The real panel (the stand-in) opens both
// times.
TEST_F(Planting, ProgramsBesideTheInstallerOrInItsCurrentFolderNeverRun) {
  PlaceDisplayPanel();
  const std::string current = scratch_ + "current\\";
  ASSERT_TRUE(CreateDirectoryA(current.c_str(), nullptr));
  const Names programs = {"rundll32.exe", "control.exe", "explorer.exe", "notepad.exe", "winebrowser.exe",
                          "iexplore.exe"};
  const Names libraries = {"shell32.dll", "desk.cpl"};
  for (const std::string& dir : {scratch_, current}) {
    Plant(SS_DECOY_PROGRAM_PATH, dir, programs);
    Plant(SS_DECOY_PATH, dir, libraries);
  }

  struct Case {
    const char* what;
    uint8_t displayMode;
  };
  const Case cases[] = {{"no presentation, no switch", ss::dmSilent}, {"window, Yes to the panel", ss::dmBitmap}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PackagePlan plan;
    plan.title = "E2E Planted Programs " + std::to_string(++n);
    plan.displayMode = c.displayMode;
    if (c.displayMode == ss::dmBitmap) plan.presentation = MakeBitmapFile(120, 80);
    plan.showDisplayProperties = true;
    plan.document = true;
    const Package package = MakePackage(plan);
    const std::string exe = WriteInstaller(package, "Setup" + std::to_string(n) + ".exe");

    auto child = Start(exe, "", current);
    if (c.displayMode == ss::dmBitmap) {
      HWND win = WaitForInstaller(*child, plan.title);
      ASSERT_NE(win, nullptr) << child->LogText();
      ASSERT_TRUE(ClickButton(win, "Install"));
      HWND box = WaitForBox(child->pid(), 30000, child.get());
      ASSERT_NE(box, nullptr) << child->LogText();
      ClickButton(box, "Yes");
    }
    EXPECT_TRUE(child->Wait(60000)) << child->LogText();
    EXPECT_EQ(child->exitCode(), 0u) << child->LogText();
    ExpectInstalled(package);
    HWND panel = WaitForDisplayPanel(15000);
    EXPECT_NE(panel, nullptr) << "the Display control panel did not open\n" << child->LogText();
    if (panel != nullptr) CloseDisplayPanel(panel);
  }
  Pump(500);  // anything started late has had time to leave its marker
  EXPECT_EQ(Joined(Used({scratch_, current}, programs)), "") << "started from a planted copy";
  EXPECT_EQ(Joined(Used({scratch_, current}, libraries)), "") << "loaded from a planted copy";
}

}  // namespace
}  // namespace e2e
