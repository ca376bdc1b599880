// The portable name and path helpers: captions and display names derived from
// the package title, the containment test, the plain-name check that keeps
// titles from leaving their directory, the root rule that ends the ascent of
// a directory path, whether an uninstall command starts this screen saver's
// engine, and the Windows version classes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  EXPECT_FALSE(ContainsText("sav", "saver"));
  // Only the part before a NUL takes part, in the text and in the word.
  EXPECT_FALSE(ContainsText(std::string("Aqua\0 Saver", 11), "saver"));
  EXPECT_TRUE(ContainsText("Aqua", std::string("qua\0zzz", 7)));
  EXPECT_EQ(MakeInstallCaption(std::string("Aqua\0saver", 10)).rfind("Install Screen Saver: ", 0), 0u);
  // Only A-Z are folded: letters of the code page above 127 keep their case.
  EXPECT_FALSE(ContainsText("\xC4PFEL", "\xE4pfel"));
  EXPECT_FALSE(ContainsText("Aqua", ""));
}

// Titles differ from file names in one thing only: something always follows
// a title (".scr", " dir", ".ssd"), so it may end with a dot or a space.
TEST(NameHelpers, PlainFileNamesAndTitles) {
  struct Row {
    const char* name;
    bool file;
    bool title;
  };
  const Row rows[] = {
      {"Aqua", true, true},        {"Aqua Screensaver", true, true}, {"aqua.scr", true, true},
      {"a..b", true, true},        {"caf\xE9", true, true},          {"Sea Co.", false, true},
      {"tail.", false, true},      {"tail ", false, true},           {"Dots...", false, true},
      {"...", false, false},        {"", false, false},               {".", false, false},
      {"..", false, false},        {"..\\x", false, false},          {"a/b", false, false},
      {"C:x", false, false},       {"a\\", false, false},            {"x*", false, false},
      {"a?", false, false},        {"a\"b", false, false},           {"a<b", false, false},
      {"a|b", false, false},       {"tab\there", false, false},      {"Sea\\Co.", false, false},
      {"CON", false, false},       {"CON.", false, false},           {"con ", false, false},
      {"Nul.x.", false, false},    {"COM1 .", false, false},         {"LPT9", false, false},
      {" ", false, false},         {". .", false, false},            {" x", true, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsPlainFileName(row.name), row.file) << "\"" << row.name << "\"";
    EXPECT_EQ(IsPlainTitle(row.name), row.title) << "\"" << row.name << "\"";
  }
  // What follows a title keeps the names it makes plain.
  for (const char* title : {"Sea Co.", "tail ", "Dots..."}) {
    EXPECT_TRUE(IsPlainFileName(EngineFilePath("", title))) << title;
    EXPECT_TRUE(IsPlainFileName(std::string(title) + " dir")) << title;
    EXPECT_TRUE(IsPlainFileName(std::string(title) + ".ssd")) << title;
  }
  EXPECT_EQ(InstallDirectoryPath("C:\\S\\", "Sea Co."), "C:\\S\\Sea Co. dir\\");
  EXPECT_EQ(EngineFilePath("C:\\S\\", "Sea Co."), "C:\\S\\Sea Co..scr");
}

TEST(NameHelpers, ParentsEndAtTheRoot) {
  struct Row {
    const char* dir;
    const char* parent;
  };
  const Row rows[] = {
      {"C:\\a\\b\\", "C:\\a\\"}, {"C:\\a\\b", "C:\\a\\"},  {"C:\\a\\", "C:\\"},
      {"C:\\", ""},              {"C:", ""},               {"C:a", "C:"},
      {"\\\\srv\\share\\a\\", "\\\\srv\\share\\"},         {"\\\\srv\\share\\", ""},
      {"\\\\srv\\share", ""},    {"a\\b\\", "a\\"},        {"a\\", ""},
      {"\\a\\", "\\"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ParentDirectory(r.dir), r.parent) << r.dir;
  }
  // Whatever the path looks like, walking up gets shorter and ends.
  for (const char* start : {"\\\\", "\\\\\\\\", "C:\\\\\\a\\\\", "::\\x", "\\", "a\\\\\\b"}) {
    std::string dir = start;
    for (int steps = 0; !dir.empty(); ++steps) {
      ASSERT_LT(steps, 100) << start;
      const std::string parent = ParentDirectory(dir);
      ASSERT_LT(parent.size(), dir.size()) << start;
      dir = parent;
    }
  }
}

// Whether an uninstall entry's command starts this screen saver's engine:
// the entry the installer may take over or remove, against another
// program's, which it never changes. The names are the engine's long path,
// its short form and, under WOW64, the real name of SysWOW64.
TEST(NameHelpers, UninstallCommandNamesTheEngineOrAnotherProgram) {
  const std::vector<std::string> names = {"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr", "C:\\WINDOWS\\SYSTEM32\\AQUASE~1.SCR",
                                          "C:\\WINDOWS\\SysWOW64\\Aqua Sea.scr"};
  struct Row {
    const char* command;
    bool ours;
  };
  const Row rows[] = {
      // What the installer writes, and the forms earlier installs left.
      {"\"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr\" /u", true},
      {"\"c:\\windows\\system32\\aqua sea.SCR\" /u", true},
      {"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr /u", true},
      {"C:\\WINDOWS\\SYSTEM32\\AQUASE~1.SCR /u", true},
      {"c:\\windows\\system32\\aquase~1.scr\t/u", true},
      {"\"C:\\WINDOWS\\SysWOW64\\Aqua Sea.scr\" /u", true},
      {"  \"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr\"", true},
      {"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr", true},
      {"\"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr\" /u /other", true},
      // Another program's command of the same title.
      {"\"C:\\Program Files\\Aqua Sea\\uninst.exe\" /x", false},
      {"C:\\Program Files\\Aqua Sea\\uninst.exe", false},
      {"MsiExec.exe /X{12345678-1234-1234-1234-123456789012}", false},
      {"\"C:\\Elsewhere\\Aqua Sea.scr\" /u", false},
      // The engine's path as the start of another name.
      {"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr.exe /u", false},
      {"\"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr.exe\" /u", false},
      {"\"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr\"x /u", false},
      {"\"C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr /u", false},
      {"rundll32 C:\\WINDOWS\\SYSTEM32\\Aqua Sea.scr /u", false},
      {"C:\\WINDOWS\\SYSTEM32\\Aqua", false},
      // Nothing named.
      {"", false},
      {"   ", false},
      {"\"\" /u", false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(UninstallCommandNamesEngine(r.command, names), r.ours) << r.command;
  }
  // Only the names the caller gives count; an empty name matches nothing.
  EXPECT_FALSE(UninstallCommandNamesEngine("C:\\WINDOWS\\SYSTEM32\\AQUASE~1.SCR /u", {names[0]}));
  EXPECT_FALSE(UninstallCommandNamesEngine(" /u", {""}));
  EXPECT_FALSE(UninstallCommandNamesEngine("\"\" /u", {""}));
  EXPECT_FALSE(UninstallCommandNamesEngine("C:\\x.scr /u", {}));
  // The command the installer makes names the engine it makes it for.
  for (const char* title : {"Aqua", "Aqua Sea", "Sea Co."}) {
    EXPECT_TRUE(UninstallCommandNamesEngine(MakeUninstallCommand("C:\\S\\", title), {EngineFilePath("C:\\S\\", title)}))
        << title;
    EXPECT_FALSE(UninstallCommandNamesEngine(MakeUninstallCommand("C:\\S\\", title), {EngineFilePath("C:\\T\\", title)}))
        << title;
  }
}

TEST(NameHelpers, WindowsVersionClasses) {
  struct Row {
    unsigned platform, major, minor;
    const char* flags;  // 95, 98, ME, NT, 2000, XP
  };
  const Row rows[] = {
      {1, 4, 0, "100000"},  {1, 4, 10, "010000"}, {1, 4, 90, "001000"}, {1, 4, 3, "000000"},
      {1, 5, 0, "000000"},  {2, 3, 51, "000100"}, {2, 4, 0, "000100"},  {2, 5, 0, "000010"},
      {2, 5, 1, "000001"},  {2, 5, 2, "000000"},  {2, 6, 0, "000000"},  {2, 6, 1, "000000"},
      {0, 3, 10, "000000"}, {3, 4, 0, "000000"},
  };
  for (const Row& r : rows) {
    const WindowsVersionFlags f = ClassifyWindowsVersion(r.platform, r.major, r.minor);
    const std::string got = std::to_string(f.win95) + std::to_string(f.win98) + std::to_string(f.winMe) +
                            std::to_string(f.winNt) + std::to_string(f.win2000) + std::to_string(f.winXp);
    EXPECT_EQ(got, r.flags) << r.platform << "/" << r.major << "." << r.minor;
  }
}

}  // namespace
}  // namespace ss
