#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/PackNames.h"

namespace ss::pack {
namespace {

// The C library's own code-page tables serve as the independent reference.
bool IconvConvert(const char* from, const char* to, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string src = in;
  std::vector<char> buf(in.size() * 4 + 8);
  char* inp = src.data();
  size_t inLeft = src.size();
  char* outp = buf.data();
  size_t outLeft = buf.size();
  const size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return false;
  out->assign(buf.data(), outp);
  return true;
}

TEST(AnsiText, EveryCodePageByteMatchesTheSystemTable) {
  int compared = 0;
  for (int b = 0x20; b < 0x100; ++b) {
    const std::string ansi(1, static_cast<char>(b));
    std::string expected;
    if (!IconvConvert("CP1252", "UTF-8", ansi, &expected)) continue;  // undefined in the code page
    ++compared;
    EXPECT_EQ(AnsiToUtf8(ansi), expected) << "byte " << b;
    std::string back;
    ASSERT_TRUE(Utf8ToAnsi(expected, &back)) << "byte " << b;
    EXPECT_EQ(back, ansi) << "byte " << b;
  }
  // All but the five undefined bytes were checked.
  EXPECT_EQ(compared, 0x100 - 0x20 - 5);
}

// What sspack shows of a name: every byte the system's table maps to a
// printable character shows as that character, every other one (the
// controls, DEL, the five undefined bytes) as \xNN, so that no name can
// drive the terminal.
TEST(AnsiText, ShownNamesEscapeEveryByteThatIsNoPrintableCharacter) {
  for (int b = 0; b < 0x100; ++b) {
    const std::string ansi = "a" + std::string(1, static_cast<char>(b)) + "z";
    std::string expected;
    const bool defined = IconvConvert("CP1252", "UTF-8", ansi, &expected);
    if (!defined || b < 0x20 || b == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
      expected = std::string("a") + escaped + "z";
    }
    EXPECT_EQ(DisplayName(ansi), expected) << "byte " << b;
  }
  // Names written to the host are made of the same printable characters.
  EXPECT_EQ(SafeRelativePath("sub\\\x9D" "0;owned\x81\x7F\x1B.txt"), "sub/_0;owned___.txt");
}

TEST(AnsiText, RefusesWhatTheCodePageCannotHoldAndMalformedText) {
  const std::vector<std::string> refused = {
      "\xE6\x97\xA5",      // a CJK character
      "a\xC3",             // cut-off sequence
      "\xC0\xAF",          // overlong slash
      "\xED\xA0\x80",      // surrogate
      "\xF0\x9F\x98\x80",  // outside the basic plane
      "\xFF"};
  for (const std::string& text : refused) {
    std::string ansi, bad;
    EXPECT_FALSE(Utf8ToAnsi(text, &ansi, &bad)) << text;
    EXPECT_FALSE(bad.empty());
  }
}

TEST(FileNames, WindowsRules) {
  struct Row {
    std::string name;
    bool usable;
  };
  const Row rows[] = {
      {"Aqua Deep Sea.scr", true}, {"a", true},           {"com0", true},
      {"console.txt", true},       {"caf\xE9.txt", true}, {std::string(255, 'x'), true},
      {"", false},                 {std::string(256, 'x'), false},
      {"a<b", false},              {"a>b", false},        {"a:b", false},
      {"a\"b", false},             {"a/b", false},        {"a\\b", false},
      {"a|b", false},              {"a?b", false},        {"a*b", false},
      {"a\tb", false},             {".", false},          {"..", false},
      {"name.", false},            {"name ", false},      {"CON", false},
      {"con.txt", false},          {"Lpt1", false},       {"COM9.dll", false},
      {"nul", false},              {"aux.h", false},      {"prn", false}};
  for (const Row& row : rows) {
    EXPECT_EQ(FileNameFault(row.name).empty(), row.usable) << "\"" << row.name << "\"";
  }
}

TEST(FileNames, RelativePathsAndTitles) {
  EXPECT_EQ(RelativePathFault("media\\deep\\a.txt"), "");
  for (const char* bad : {"\\a.txt", "a\\\\b", "a\\", "..\\x", "a\\..\\b", "c:\\x", "a/b",
                          "media\\con"}) {
    EXPECT_NE(RelativePathFault(bad), "") << bad;
  }
  EXPECT_NE(RelativePathFault(std::string(128, 'a') + "\\" + std::string(127, 'b')), "");

  EXPECT_EQ(TitleFault(std::string(64, 't')), "");
  EXPECT_NE(TitleFault(std::string(65, 't')), "");
  EXPECT_NE(TitleFault("Deep\\Sea"), "");
  EXPECT_NE(TitleFault("..\\..\\windows"), "");
  EXPECT_NE(TitleFault(""), "");
  // Something always follows a title, so a trailing dot or space is harmless;
  // separators, "..", and devices (whatever follows them) are not.
  for (const char* ok : {"Sea Co.", "Sea Co ", "Dots..."}) EXPECT_EQ(TitleFault(ok), "") << ok;
  for (const char* bad : {"..", ".", "...", " ", ". .", "CON.", "con ", "Nul.x.", "Sea/Co.", "Sea:Co.", "Sea*"}) {
    EXPECT_NE(TitleFault(bad), "") << bad;
  }
}

TEST(FileNames, SafePathsNeverLeaveTheirFolder) {
  const std::vector<std::string> hostile = {
      "..\\..\\etc\\passwd", "\\\\server\\share\\x", "c:\\windows\\win.ini", "/etc/passwd",
      "a/../../b",           "..",                   ".",                    "",
      "con\\aux.txt",        "x\\.\\..\\y",          std::string("a\0b", 3)};
  for (const std::string& name : hostile) {
    const std::string safe = SafeRelativePath(name);
    ASSERT_FALSE(safe.empty()) << name;
    EXPECT_NE(safe.front(), '/') << name;
    size_t start = 0;
    for (;;) {
      const size_t slash = safe.find('/', start);
      const std::string part = safe.substr(start, slash == std::string::npos ? slash : slash - start);
      EXPECT_NE(part, "..") << name << " -> " << safe;
      EXPECT_NE(part, ".") << name << " -> " << safe;
      EXPECT_FALSE(part.empty()) << name << " -> " << safe;
      EXPECT_EQ(part.find('\0'), std::string::npos) << name;
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
  }
  // Sound names keep their folders and letters.
  EXPECT_EQ(SafeRelativePath("media\\caf\xE9.txt"), "media/caf\xC3\xA9.txt");
}

}  // namespace
}  // namespace ss::pack
