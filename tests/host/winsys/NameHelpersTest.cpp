// The portable name and path helpers: captions and display names derived from
// the package title, the containment test, path pieces, the uninstall command
// and the Windows version classes.
#include <gtest/gtest.h>

#include <string>

#include "winsys/LMT_StringUtils.h"

namespace ss {
namespace {

TEST(NameHelpers, CaptionAndDisplayNameTable) {
  struct Row {
    const char* name;
    const char* caption;
    const char* displayName;
  };
  const Row rows[] = {
      {"Aqua Screensaver", "Install: Aqua Screensaver", "Aqua Screensaver"},
      {"Aqua SAVER", "Install: Aqua SAVER", "Aqua SAVER"},
      {"Aqua", "Install Screen Saver: Aqua", "Aqua Screen Saver"},
      {"Night screen saver", "Install: Night screen saver", "Night screen saver"},
      {"Lifesavers", "Install: Lifesavers", "Lifesavers"},
      {"Sav er", "Install Screen Saver: Sav er", "Sav er Screen Saver"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(MakeInstallCaption(r.name), r.caption);
    EXPECT_EQ(MakeDisplayName(r.name), r.displayName);
  }
}

TEST(NameHelpers, ContainsTextFoldsAsciiAndStopsAtNul) {
  EXPECT_TRUE(ContainsText("Aqua SCREEN Saver", "screen saver"));
  EXPECT_TRUE(ContainsText("saver", "SAVER"));
  EXPECT_FALSE(ContainsText("Aqua", "saver"));
  EXPECT_FALSE(ContainsText("sav", "saver"));

  // Only the part before a NUL takes part, in the text and in the word.
  const std::string hidden("Aqua\0 Saver", 11);
  EXPECT_FALSE(ContainsText(hidden, "saver"));
  EXPECT_TRUE(ContainsText("Aqua", std::string("qua\0zzz", 7)));
  EXPECT_FALSE(ContainsText("Aqua", std::string("\0qua", 4)));

  // Only A-Z are folded: letters of the code page above 127 keep their case.
  EXPECT_FALSE(ContainsText("\xC4PFEL", "\xE4pfel"));
  EXPECT_TRUE(ContainsText("\xC4PFEL", "\xC4pfel"));

  // An empty word names nothing.
  EXPECT_FALSE(ContainsText("Aqua", ""));
}

TEST(NameHelpers, ScreenSaverPairPaths) {
  EXPECT_EQ(EngineFilePath("C:\\WINDOWS\\SYSTEM\\", "Aqua"), "C:\\WINDOWS\\SYSTEM\\Aqua.scr");
  EXPECT_EQ(InstallDirectoryPath("C:\\WINDOWS\\SYSTEM\\", "Aqua"), "C:\\WINDOWS\\SYSTEM\\Aqua dir\\");
}

TEST(NameHelpers, DirectoryPartAndTrailingBackslash) {
  EXPECT_EQ(DirectoryPart("C:\\Setup\\aqua.exe"), "C:\\Setup\\");
  EXPECT_EQ(DirectoryPart("C:aqua.exe"), "C:");
  EXPECT_EQ(DirectoryPart("aqua.exe"), "");
  EXPECT_EQ(WithTrailingBackslash("C:\\windows"), "C:\\windows\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\"), "C:\\");
  EXPECT_EQ(WithTrailingBackslash(""), "\\");
}

TEST(NameHelpers, ScrExtensionIgnoresCaseOnly) {
  EXPECT_TRUE(HasScrExtension("C:\\sys\\Aqua.scr"));
  EXPECT_TRUE(HasScrExtension("C:\\sys\\X.SCR"));
  EXPECT_TRUE(HasScrExtension("a.b.ScR"));
  EXPECT_FALSE(HasScrExtension("C:\\sys\\impborl.dll"));
  EXPECT_FALSE(HasScrExtension("C:\\x.scr\\file"));
  EXPECT_FALSE(HasScrExtension("C:\\sys\\Aqua.scrx"));
  EXPECT_FALSE(HasScrExtension("C:\\sys\\scr"));
}

TEST(NameHelpers, PlainFileNames) {
  for (const char* ok : {"Aqua", "Aqua Screensaver", "aqua.scr", "a..b", "Ünïcode-ish \xE4"}) {
    EXPECT_TRUE(IsPlainFileName(ok)) << ok;
  }
  for (const char* bad : {"", ".", "..", "..\\x", "a/b", "C:x", "a\\", "x*", "a?", "a\"b", "a<b",
                          "a|b", "tail.", "tail ", "tab\there"}) {
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
  }
}

TEST(NameHelpers, RootsAndParents) {
  EXPECT_EQ(PathRootLength("C:\\a\\b"), 3u);
  EXPECT_EQ(PathRootLength("C:a"), 2u);
  EXPECT_EQ(PathRootLength("\\\\srv\\share\\a\\b"), 12u);
  EXPECT_EQ(PathRootLength("\\\\srv\\share"), 11u);
  EXPECT_EQ(PathRootLength("\\a"), 1u);
  EXPECT_EQ(PathRootLength("a\\b"), 0u);

  struct Row {
    const char* dir;
    const char* parent;
  };
  const Row rows[] = {
      {"C:\\a\\b\\", "C:\\a\\"},  {"C:\\a\\b", "C:\\a\\"}, {"C:\\a\\", "C:\\"},
      {"C:\\", ""},               {"C:", ""},              {"Q:\\x", "Q:\\"},
      {"\\\\srv\\share\\a\\", "\\\\srv\\share\\"},        {"\\\\srv\\share\\", ""},
      {"\\\\srv\\share", ""},     {"a\\b\\", "a\\"},       {"a\\", ""},
      {"C:a\\b", "C:a\\"},        {"C:a", "C:"},           {"\\a\\", "\\"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ParentDirectory(r.dir), r.parent) << r.dir;
  }
}

// Walking up with ParentDirectory always ends, whatever the path looks like.
TEST(NameHelpers, ParentChainsEnd) {
  for (const char* start : {"C:\\a\\b\\c\\", "\\\\srv\\share\\x\\y", "rel\\a\\b", "\\\\", "\\\\\\\\",
                            "C:\\\\\\a\\\\", "::\\x", "\\"}) {
    std::string dir = start;
    int steps = 0;
    while (!dir.empty() && steps < 100) {
      const std::string parent = ParentDirectory(dir);
      ASSERT_LT(parent.size(), dir.size()) << start;
      dir = parent;
      ++steps;
    }
    EXPECT_LT(steps, 100) << start;
  }
}

TEST(NameHelpers, UninstallCommandQuotesOnlyPathsWithSpaces) {
  EXPECT_EQ(MakeUninstallCommand("C:\\WINDOWS\\SYSTEM\\", "Aqua"), "C:\\WINDOWS\\SYSTEM\\Aqua.scr /u");
  EXPECT_EQ(MakeUninstallCommand("C:\\windows\\system32\\", "Aqua Screensaver"),
            "\"C:\\windows\\system32\\Aqua Screensaver.scr\" /u");
  EXPECT_EQ(MakeUninstallCommand("C:\\Program Files\\sys\\", "Aqua"),
            "\"C:\\Program Files\\sys\\Aqua.scr\" /u");
}

TEST(NameHelpers, WindowsVersionClasses) {
  struct Row {
    unsigned platform, major, minor;
    int win95, win98, winMe, winNt, win2000, winXp;
  };
  const Row rows[] = {
      {1, 4, 0, 1, 0, 0, 0, 0, 0},   // Windows 95
      {1, 4, 10, 0, 1, 0, 0, 0, 0},  // Windows 98 (and its Second Edition)
      {1, 4, 90, 0, 0, 1, 0, 0, 0},  // Windows ME
      {1, 4, 3, 0, 0, 0, 0, 0, 0},   // another 9x minor version
      {1, 5, 0, 0, 0, 0, 0, 0, 0},
      {2, 3, 51, 0, 0, 0, 1, 0, 0},  // NT 3.51
      {2, 4, 0, 0, 0, 0, 1, 0, 0},   // NT 4
      {2, 5, 0, 0, 0, 0, 0, 1, 0},   // 2000
      {2, 5, 1, 0, 0, 0, 0, 0, 1},   // XP
      {2, 5, 2, 0, 0, 0, 0, 0, 0},   // Server 2003
      {2, 6, 0, 0, 0, 0, 0, 0, 0},   // Vista
      {2, 6, 1, 0, 0, 0, 0, 0, 0},   // 7
      {0, 3, 10, 0, 0, 0, 0, 0, 0},  // Win32s
      {3, 4, 0, 0, 0, 0, 0, 0, 0},   // CE
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.platform << "/" << r.major << "." << r.minor);
    const WindowsVersionFlags f = ClassifyWindowsVersion(r.platform, r.major, r.minor);
    EXPECT_EQ(f.win95, r.win95);
    EXPECT_EQ(f.win98, r.win98);
    EXPECT_EQ(f.winMe, r.winMe);
    EXPECT_EQ(f.winNt, r.winNt);
    EXPECT_EQ(f.win2000, r.win2000);
    EXPECT_EQ(f.winXp, r.winXp);
  }
}

}  // namespace
}  // namespace ss
