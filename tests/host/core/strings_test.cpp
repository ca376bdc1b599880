#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "core/Strings.h"

namespace ss {
namespace {

TEST(StringTable, IdsAreUniqueInRangeAndHaveText) {
  size_t count = 0;
  const uint16_t* ids = StringTableIds(&count);
  ASSERT_GT(count, 0u);
  std::set<uint16_t> seen;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_GE(ids[i], kFirstStringId);
    EXPECT_LE(ids[i], kLastStringId);
    EXPECT_TRUE(seen.insert(ids[i]).second) << "duplicate id " << ids[i];
    const char* text = StringTableText(ids[i]);
    ASSERT_NE(text, nullptr);
    EXPECT_GT(std::string(text).size(), 0u) << ids[i];
  }
  EXPECT_EQ(StringTableText(65253), nullptr);
  EXPECT_EQ(LoadStr(StringId::InstallDirSuffix), " dir\\");
}

// Every numeric string id written anywhere in the program's sources must have
// a text in the table: a resource the code asks for and the table lacks would
// show an empty message.
TEST(StringTable, EveryIdUsedInTheSourcesHasText) {
  namespace fs = std::filesystem;
  const std::regex idPattern("\\b(652[4-9][0-9]|653[01][0-9])\\b");
  int files = 0;
  for (const char* room : {"app", "package", "codec", "flash", "winsys", "tools"}) {
    const fs::path dir = fs::path(SS_SOURCE_ROOT) / room;
    if (!fs::exists(dir)) continue;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
      const std::string ext = item.path().extension().string();
      if (ext != ".cpp" && ext != ".h" && ext != ".rc") continue;
      ++files;
      std::ifstream in(item.path());
      std::stringstream buffer;
      buffer << in.rdbuf();
      const std::string text = buffer.str();
      for (std::sregex_iterator it(text.begin(), text.end(), idPattern), end; it != end; ++it) {
        const int id = std::stoi((*it)[1].str());
        if (id < kFirstStringId || id > kLastStringId) continue;
        EXPECT_NE(StringTableText(static_cast<uint16_t>(id)), nullptr)
            << item.path() << " uses string id " << id << " which has no text";
      }
    }
  }
  EXPECT_GT(files, 3);
}

}  // namespace
}  // namespace ss
