#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "package/ByteOrder.h"
#include "package/PackageRecords.h"

namespace ss {
namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t fill = 0) { return std::vector<uint8_t>(n, fill); }

TEST(PackageHeader, FlagBytesDecode) {
  auto b = Bytes(kPackageHeaderSize);
  const uint8_t flags[] = {3, 0, 0, 1, 1, 1};
  std::memcpy(b.data(), flags, sizeof flags);
  const TPackageHeader h = TPackageHeader::Parse(b.data());
  EXPECT_EQ(h.displayMode, dmFlashAlt);  // a Flash movie
  EXPECT_EQ(h.showLicense, 0);
  EXPECT_EQ(h.hasCompanionFile, 0);
  EXPECT_EQ(h.carriesFlashSetup, 1);
  EXPECT_EQ(h.flashVersionIndex, 1);  // Flash 8 r22
  EXPECT_EQ(h.showDisplayProperties, 1);
  EXPECT_EQ(h.title, "");
  for (const TSegmentEntry& s : h.segments) EXPECT_FALSE(s.present());
}

TEST(PackageHeader, TitleOfSixtyFourCharactersHasNoTerminator) {
  auto b = Bytes(kPackageHeaderSize);
  const std::string title(64, 'T');
  std::memcpy(b.data() + 6, title.data(), 64);
  b[70] = 'X';  // padding after the title must not be taken into it
  b[71] = 'Y';
  EXPECT_EQ(TPackageHeader::Parse(b.data()).title, title);

  std::memcpy(b.data() + 6, "Aqua\0junk", 9);
  EXPECT_EQ(TPackageHeader::Parse(b.data()).title, "Aqua");
}

TEST(SegmentEntry, LengthPrefixedNameIgnoresLeftovers) {
  auto b = Bytes(kSegmentEntrySize, 0xAB);
  b[0] = 11;
  std::memcpy(b.data() + 1, "impborl.dat", 11);
  std::memcpy(b.data() + 12, "leftover-from-a-longer-name.exe", 31);
  PutLE32(b.data() + 256, 678480);
  PutLE32(b.data() + 260, 700000);
  PutLE32(b.data() + 264, 4);
  b[268] = 0;
  PutLE32(b.data() + 272, 0);
  PutLE32(b.data() + 276, 21521);
  const TSegmentEntry e = TSegmentEntry::Parse(b.data());
  EXPECT_EQ(e.name, "impborl.dat");
  EXPECT_EQ(e.startOffset, 678480);
  EXPECT_EQ(e.endOffset, 700000);
  EXPECT_EQ(e.storedLength(), 700000 - 678480 + 1);
  EXPECT_EQ(e.segmentType, 4);
  EXPECT_EQ(e.compressed, 0);
  EXPECT_EQ(e.originalSize, 21521);
}

TEST(SegmentEntry, EmptyNameIsAbsentWhateverElseIsFilledIn) {
  auto b = Bytes(kSegmentEntrySize);
  PutLE32(b.data() + 256, 1000);
  PutLE32(b.data() + 260, 1000);
  PutLE32(b.data() + 264, 7);
  b[268] = 1;
  EXPECT_FALSE(TSegmentEntry::Parse(b.data()).present());
}

TEST(SegmentEntry, StoredLengthOfExtremeOffsetsDoesNotOverflow) {
  TSegmentEntry e;
  e.startOffset = INT32_MIN;
  e.endOffset = INT32_MAX;
  EXPECT_EQ(e.storedLength(), int64_t{1} << 32);
  e.startOffset = 10;
  e.endOffset = 5;  // inverted
  EXPECT_LE(e.storedLength(), 0);
}

TEST(SegmentEntry, LongNamesAreCutAtTheFieldSize) {
  TSegmentEntry e;
  e.name = std::string(300, 'n');
  auto b = Bytes(kSegmentEntrySize, 0xFF);
  e.Write(b.data());
  EXPECT_EQ(b[0], 255);
  EXPECT_EQ(TSegmentEntry::Parse(b.data()).name, std::string(255, 'n'));
  EXPECT_EQ(GetLE32(b.data() + 256), 0);  // the offsets are not overwritten by the name
}

TEST(ByteOrder, SignedLittleEndian) {
  uint8_t b[4];
  PutLE32(b, -2);
  EXPECT_EQ(b[0], 0xFE);
  EXPECT_EQ(b[3], 0xFF);
  EXPECT_EQ(GetLE32(b), -2);
  const uint8_t ten_thousand[] = {0x10, 0x27, 0x00, 0x00};
  EXPECT_EQ(GetLE32(ten_thousand), 10000);
}

TPackageHeader RandomHeader(std::mt19937& rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int32_t> word(INT32_MIN, INT32_MAX);
  TPackageHeader h;
  h.displayMode = static_cast<uint8_t>(byte(rng));
  h.showLicense = static_cast<uint8_t>(byte(rng));
  h.hasCompanionFile = static_cast<uint8_t>(byte(rng));
  h.carriesFlashSetup = static_cast<uint8_t>(byte(rng));
  h.flashVersionIndex = static_cast<uint8_t>(byte(rng));
  h.showDisplayProperties = static_cast<uint8_t>(byte(rng));
  h.title = std::string(static_cast<size_t>(byte(rng) % 65), 'a' + static_cast<char>(byte(rng) % 26));
  for (TSegmentEntry& s : h.segments) {
    s.name.clear();
    const int length = byte(rng);
    for (int i = 0; i < length; ++i) s.name += static_cast<char>(1 + byte(rng) % 255);
    s.startOffset = word(rng);
    s.endOffset = word(rng);
    s.segmentType = word(rng);
    s.compressed = static_cast<uint8_t>(byte(rng));
    s.packedSize = word(rng);
    s.originalSize = word(rng);
  }
  return h;
}

TEST(RoundTrip, PackageHeaderWithSegments) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    const TPackageHeader h = RandomHeader(rng);
    auto b = Bytes(kPackageHeaderSize, 0xCC);
    h.Write(b.data());
    const TPackageHeader back = TPackageHeader::Parse(b.data());
    // Every field, the header's and each segment's, read back as written.
    auto fields = [](const TPackageHeader& x) {
      return std::tie(x.displayMode, x.showLicense, x.hasCompanionFile, x.carriesFlashSetup, x.flashVersionIndex,
                      x.showDisplayProperties, x.title);
    };
    auto segment = [](const TSegmentEntry& x) {
      return std::tie(x.name, x.startOffset, x.endOffset, x.segmentType, x.compressed, x.packedSize, x.originalSize);
    };
    EXPECT_EQ(fields(back), fields(h));
    for (int i = 0; i < kSegmentCount; ++i) EXPECT_EQ(segment(back.segments[i]), segment(h.segments[i])) << i;
    // Writing what was read gives the same bytes again.
    auto again = Bytes(kPackageHeaderSize);
    back.Write(again.data());
    EXPECT_EQ(again, b);
    // The padding after the title is zero.
    EXPECT_EQ(b[70], 0);
    EXPECT_EQ(b[71], 0);
  }
}

TEST(RoundTrip, SaverDataHeaderKeepsEveryByte) {
  auto b = Bytes(kSaverDataHeaderSize);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
  TSaverDataHeader h = TSaverDataHeader::Parse(b.data());
  EXPECT_EQ(h.entryCount(), GetLE32(b.data() + 212));
  EXPECT_EQ(h.contentKind(), GetLE32(b.data() + 1204));
  h.setEntryCount(1010);
  h.setContentKind(3);
  auto out = Bytes(kSaverDataHeaderSize);
  h.Write(out.data());
  EXPECT_EQ(GetLE32(out.data() + 212), 1010);
  EXPECT_EQ(GetLE32(out.data() + 1204), 3);
  // Everything but the two fields passes through unchanged.
  for (size_t i = 0; i < b.size(); ++i) {
    if ((i >= 212 && i < 216) || (i >= 1204 && i < 1208)) continue;
    ASSERT_EQ(out[i], b[i]) << i;
  }
}

TEST(RoundTrip, FileEntryAndChunkRecord) {
  TSaverFileEntry e;
  e.entryType = TSaverFileEntry::kTypeCopy;
  e.entryFlags = 9;
  e.fileName = "pictures\\sea\\fish.jpg";
  e.recordOffset = 1240 + 264 * 3;
  auto b = Bytes(kSaverFileEntrySize, 0xEE);
  e.Write(b.data());
  EXPECT_EQ(b[258], 0);  // padding
  const TSaverFileEntry back = TSaverFileEntry::Parse(b.data());
  EXPECT_EQ(back.entryType, 3);
  EXPECT_EQ(back.entryFlags, 9);
  EXPECT_EQ(back.fileName, e.fileName);
  EXPECT_EQ(back.recordOffset, e.recordOffset);

  // A name that fills all 256 bytes without a zero ends at the field's end.
  std::memset(b.data() + 2, 'z', 256);
  EXPECT_EQ(TSaverFileEntry::Parse(b.data()).fileName, std::string(256, 'z'));

  TChunkRecord c;
  c.chunkKind = 2;
  c.originalSize = 5000;
  c.packedSize = 1234;
  c.compressed = 1;
  auto cb = Bytes(kChunkRecordSize, 0xEE);
  c.Write(cb.data());
  EXPECT_EQ(std::memcmp(cb.data(), "CHUN", 4), 0);
  for (size_t i = 20; i < kChunkRecordSize; ++i) EXPECT_EQ(cb[i], 0) << i;
  const TChunkRecord cback = TChunkRecord::Parse(cb.data());
  EXPECT_EQ(cback.chunkKind, 2);
  EXPECT_EQ(cback.originalSize, 5000);
  EXPECT_EQ(cback.packedSize, 1234);
  EXPECT_EQ(cback.compressed, 1);
  EXPECT_EQ(cback.storedLength(), 1234);
  c.compressed = 0;
  EXPECT_EQ(c.storedLength(), 5000);
}

}  // namespace
}  // namespace ss

#include <fstream>

#include "package/ReadingRules.h"
#include "package/SegmentTargets.h"

namespace ss {
namespace {

TSegmentEntry Segment(const std::string& name, int32_t type) {
  TSegmentEntry s;
  s.name = name;
  s.segmentType = type;
  return s;
}

TEST(SegmentTargets, EachTypeLandsInItsDirectory) {
  const TargetDirectories d{"W\\", "S\\", "S\\Aqua dir\\"};
  struct Row {
    const char* name;
    int32_t type;
    const char* target;
  } rows[] = {
      {"a.txt", 1, "S\\Aqua dir\\a.txt"},
      {"lib.dll", 5, "S\\Aqua dir\\lib.dll"},
      {"x", 6, "S\\Aqua dir\\x"},
      {"y", 10, "S\\Aqua dir\\y"},
      {"Aqua.scr", 2, "S\\Aqua.scr"},
      {"flashax7.exe", 3, "W\\flashax7.exe"},
      {"install_flash_player_active_x.msi", 3, "W\\install_flash_player_active_x.msi"},
      {"FLASHAX7.EXE", 3, "S\\FLASHAX7.dll"},  // exact comparison only
      {"player.ocx", 3, "S\\player.dll"},
      {"player", 3, "S\\player.dll"},
      {"impborl.dat", 4, "W\\impborl.dll"},
      {"Impborl.dat", 4, "W\\Impborl.dat"},
      {"Aqua.ssd", 4, "W\\Aqua.ssd"},
      {"installer.swf", 7, "W\\installer.swf"},
      {"z", 0, ""},
      {"z", 8, ""},
      {"z", 9, ""},
      {"z", -1, ""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(SegmentTargetPath(Segment(r.name, r.type), d), r.target) << r.name << " type " << r.type;
  }
}

TEST(SegmentTargets, ExtensionReplacement) {
  EXPECT_EQ(ReplaceExtension("installer.swf", ".BMP"), "installer.BMP");
  EXPECT_EQ(ReplaceExtension("a.b.c", ".jpg"), "a.b.jpg");
  EXPECT_EQ(ReplaceExtension("noext", ".dll"), "noext.dll");
}

TEST(SegmentTargets, HostileNamesAreRefused) {
  for (const char* bad : {"", ".", "..", "..\\evil.dll", "a\\b", "a/b", "C:evil", "C:\\x", "\\\\srv\\share",
                          "con", "NUL.txt", "com1", "LPT9.dat", "a*b", "q?", "trail.", "trail ", "tab\t"}) {
    EXPECT_FALSE(IsSafeSegmentName(bad)) << bad;
  }
  for (const char* good : {"impborl.dat", "Aqua Screensaver.scr", "com10", "console.txt", "a..b"}) {
    EXPECT_TRUE(IsSafeSegmentName(good)) << good;
  }
  for (const char* bad : {"..\\..\\evil.dll", "pics\\..\\..\\x", "\\abs.txt", "C:\\abs.txt", "pics\\\\x",
                          "pics\\", "\\\\server\\share\\x", "pics/x", "pics\\nul", ""}) {
    EXPECT_FALSE(IsSafeEntryName(bad)) << bad;
  }
  EXPECT_TRUE(IsSafeEntryName("pictures\\sea\\fish.jpg"));
  EXPECT_TRUE(IsSafeEntryName("fish.jpg"));
}

// Every library the import floor lists name (the section headers of the
// fixture files) is one of Windows' own, in any letter case.
TEST(SystemFiles, EveryFloorLibraryIsOneOfWindowsOwn) {
  size_t headers = 0;
  for (const char* file : {"win95.txt", "nt40.txt"}) {
    std::ifstream in(std::string(SS_FLOOR_DIR) + "/" + file);
    ASSERT_TRUE(in) << file;
    std::string line;
    while (std::getline(in, line)) {
      if (line.size() < 3 || line.front() != '[' || line.back() != ']') continue;
      const std::string name = line.substr(1, line.size() - 2);
      ++headers;
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_TRUE(IsWindowsLibrary(name)) << file << ": " << name;
      EXPECT_TRUE(IsWindowsLibrary(upper)) << file << ": " << upper;
    }
  }
  EXPECT_GE(headers, 20u);
}

// The rule looks at the final name in the system directory: type 3's
// ".dll" applied, the work and install directories left alone.
TEST(SystemFiles, RuleJudgesTheFinalNameInTheSystemDirectory) {
  struct Row {
    const char* name;
    int32_t type;
    Result code;
  } rows[] = {
      {"msvcrt.dll", 2, kErrSystemLibrary},   {"version", 3, kErrSystemLibrary},
      {"KERNEL32.DLL", 2, kErrSystemLibrary}, {"comctl32.ocx", 3, kErrSystemLibrary},
      {"winspool.drv", 2, kErrSystemLibrary}, {"HHCtrl.ocx", 2, kErrSystemLibrary},
      {"winspool.drv", 3, kOk},               {"hhctrl.ocx", 3, kOk},  // become winspool.dll, hhctrl.dll
      {"kernel32.dll", 5, kOk},               {"kernel32.dll", 7, kOk},
      {"kernel32.dll", 4, kOk},               {"kernel32.scr", 2, kOk},
      {"kernel32", 2, kOk},                   {"kernel32.dll.old", 2, kOk},
      {"mykernel32.dll", 2, kOk},             {"flashax7.exe", 3, kOk},
      {"helper.dll", 2, kOk},                 {"", 2, kOk},
  };
  for (const Row& r : rows) EXPECT_EQ(SystemFileRule(Segment(r.name, r.type)), r.code) << r.name << " type " << r.type;

  TPackageHeader h;
  h.segments[kSegInstaller] = Segment("kernel32.dll", 2);  // never written
  h.segments[kSegSupportLib1] = Segment("helper.dll", 2);
  int refused = -1;
  EXPECT_EQ(SystemFilesRule(h, &refused), kOk);
  h.segments[kSegLicense] = Segment("ole32", 3);
  EXPECT_EQ(SystemFilesRule(h, &refused), kErrSystemLibrary);
  EXPECT_EQ(refused, kSegLicense);
}

// The engine's name and the title's must name one file as Windows compares
// names: letters A-Z in either case, every other byte (an ANSI letter whose
// case the code page decides) exactly.
TEST(EngineName, RuleComparesAsciiLettersInEitherCase) {
  struct Row {
    const char* engine;
    const char* title;
    Result code;
  } rows[] = {
      {"Aqua.scr", "Aqua", kOk},
      {"aQUA.SCR", "Aqua", kOk},
      {"", "Aqua", kOk},  // absent: SegmentNameRule's -531
      {"Sea Co..scr", "Sea Co.", kOk},
      {"Other.scr", "Aqua", kErrEngineNameNotTitle},
      {"Aqua", "Aqua", kErrEngineNameNotTitle},
      {"Aqua.scr.scr", "Aqua", kErrEngineNameNotTitle},
      {"Aqu.scr", "Aqua", kErrEngineNameNotTitle},
      {"Aqua .scr", "Aqua", kErrEngineNameNotTitle},
      {"Aqua.sc", "Aqua", kErrEngineNameNotTitle},
      {"Aqua.scr", "", kErrEngineNameNotTitle},
      {"Caf\xC9.scr", "Caf\xC9", kOk},
      {"Caf\xC9.scr", "Caf\xE9", kErrEngineNameNotTitle},
      {"Aqua{.scr", "Aqua[", kErrEngineNameNotTitle},  // they differ by 0x20, as letters of two cases do
  };
  for (const Row& r : rows) EXPECT_EQ(EngineNameRule(r.engine, r.title), r.code) << r.engine << " / " << r.title;
}

}  // namespace
}  // namespace ss
