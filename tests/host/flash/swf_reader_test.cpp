#include "flash/SwfReader.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/host/flash/SwfBuilder.h"
#include "tests/support/TempFolder.h"

using namespace ss;
using swftest::Bytes;
using swftest::Movie;
using swftest::Tag;
using swftest::Text;

namespace {

Result Inspect(const Bytes& b, TMovieDescription& m) { return inspectFwsMovie(b.data(), b.size(), m); }

// Movie whose window (after the colour tag) holds exactly `text`.
Movie WithText(const std::string& text) {
  Movie m;
  m.after = Text(text);
  return m;
}

}  // namespace

TEST(SwfBits, RoutinesReadMostSignificantBitFirst) {
  const uint8_t bytes[] = {0x80, 0x01};
  EXPECT_TRUE(isBitSet(bytes, 2, 0));
  EXPECT_FALSE(isBitSet(bytes, 2, 1));
  EXPECT_TRUE(isBitSet(bytes, 2, 15));
  EXPECT_FALSE(isBitSet(bytes, 2, 16));  // beyond the bytes given
  EXPECT_FALSE(isBitSet(bytes, 2, -1));
  EXPECT_EQ(setBit(5, 32), 5u);  // no bit beyond 31

  uint8_t rect15 = 0x78, rect0 = 0x00, rect31 = 0xF8;
  EXPECT_EQ(rectFieldBits(&rect15), 15);
  EXPECT_EQ(rectByteCount(&rect15), 9);
  EXPECT_EQ(rectByteCount(&rect0), 1);
  EXPECT_EQ(rectByteCount(&rect31), 17);

  uint8_t pairs[] = {1, 2, 3, 4, 5};
  swapBytePairs(pairs, 5, 0, 3);  // the third pair would reach past the end
  EXPECT_EQ(Bytes(pairs, pairs + 5), (Bytes{2, 1, 4, 3, 5}));
}

TEST(SwfBits, LongLengthsConvertOrOverflow) {
  int32_t v = -7;
  const uint8_t tenThousand[] = {0x10, 0x27, 0x00, 0x00};
  EXPECT_EQ(convertBytesToDecimal(tenThousand, 4, v), kOk);
  EXPECT_EQ(v, 10000);
  const uint8_t largest[] = {0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_EQ(convertBytesToDecimal(largest, 4, v), kOk);
  EXPECT_EQ(v, 0x7FFFFFFF);
  const uint8_t tooLarge[] = {0x00, 0x00, 0x00, 0x80};
  EXPECT_EQ(convertBytesToDecimal(tooLarge, 4, v), kErrSwfTagLength);
  EXPECT_EQ(v, 0x7FFFFFFF);

  int length = 0;
  const uint8_t colourHeader[] = {0x43, 0x02};  // code 9, length 3
  EXPECT_TRUE(isBackgroundColorTag(colourHeader, length));
  EXPECT_EQ(length, 3);
  const uint8_t longHeader[] = {0xFF, 0x00};  // code 3, length 63
  EXPECT_FALSE(isBackgroundColorTag(longHeader, length));
  EXPECT_EQ(length, 63);
}

TEST(SwfInspect, VersionsOutsideThreeToEightAreRefusedAndKept) {
  struct Row {
    uint8_t version;
    Result expected;
  } rows[] = {{2, kErrSwfTooOld}, {3, kOk}, {8, kOk}, {9, kErrSwfTooNew}, {0, kErrSwfTooOld}, {255, kErrSwfTooNew}};
  for (const Row& row : rows) {
    Movie m;
    m.version = row.version;
    TMovieDescription d;
    d.frameWidth = 77;
    EXPECT_EQ(Inspect(m.build(), d), row.expected) << int(row.version);
    EXPECT_EQ(d.swfVersion, row.version);
    // A refused movie never reaches its rectangle.
    EXPECT_EQ(d.frameWidth, row.expected == kOk ? 550 : 77);
  }
}

TEST(SwfInspect, FrameRectangleAndColour) {
  Movie wide;
  wide.rect = swftest::Rect(15, 0, 16383, 0, 1999);  // Nbits 15: nine bytes
  ASSERT_EQ(wide.rect.size(), 9u);
  ASSERT_EQ(wide.rect[0], 0x78);
  TMovieDescription d;
  ASSERT_EQ(Inspect(wide.build(), d), kOk);
  EXPECT_EQ(d.frameWidth, 819);  // twips to pixels, truncated
  EXPECT_EQ(d.frameHeight, 99);
  EXPECT_EQ(d.bgRed, 0x33);
  EXPECT_EQ(d.bgGreen, 0x66);
  EXPECT_EQ(d.bgBlue, 0x99);

  Movie empty;
  empty.rect = swftest::Rect(0, 0, 0, 0, 0);
  ASSERT_EQ(empty.rect.size(), 1u);
  d.frameWidth = d.frameHeight = 5;
  ASSERT_EQ(Inspect(empty.build(), d), kOk);
  EXPECT_EQ(d.frameWidth, 0);
  EXPECT_EQ(d.frameHeight, 0);

  Movie widest;  // Nbits 31 with the upper bit of Xmax set: read unsigned
  widest.rect = swftest::Rect(31, 0, 0x7FFFFFFF, 0, 0x40000000);
  ASSERT_EQ(widest.rect.size(), 17u);
  ASSERT_EQ(Inspect(widest.build(), d), kOk);
  EXPECT_EQ(d.frameWidth, 0x7FFFFFFF / 20);
  EXPECT_EQ(d.frameHeight, 0x40000000 / 20);
}

TEST(SwfInspect, TagsAheadOfTheColourAreSkipped) {
  Movie m;
  // A long-header tag of exactly 10000 bytes (10 27 00 00), a zero-length
  // tag, an end tag (the walk goes on past it) and a short tag.
  Bytes body(10000, 'x');
  Bytes tags = Tag(2, body, true);
  ASSERT_EQ(Bytes(tags.begin() + 2, tags.begin() + 6), (Bytes{0x10, 0x27, 0x00, 0x00}));
  for (const Bytes& t : {Tag(1, {}), Tag(0, {}), Tag(43, Text("label"))}) tags.insert(tags.end(), t.begin(), t.end());
  // "AllowScale" inside a skipped tag is not part of the window.
  Bytes hidden = Tag(12, Text(std::string("AllowScale") + '\0' + "true"));
  tags.insert(tags.end(), hidden.begin(), hidden.end());
  m.tagsBefore = tags;
  m.colour = {1, 2, 3};
  TMovieDescription d;
  ASSERT_EQ(Inspect(m.build(), d), kOk);
  EXPECT_EQ(d.bgRed, 1);
  EXPECT_EQ(d.bgGreen, 2);
  EXPECT_EQ(d.bgBlue, 3);
  EXPECT_EQ(d.allowScale, kSettingNotFound);
}

TEST(SwfInspect, AllowScaleAndFullScreenSettings) {
  const std::string z(1, '\0');
  struct Row {
    std::string text;
    int32_t allowScale;
    int32_t fullScreen;
  } rows[] = {
      {"AllowScale" + z + "FALSE" + z, kSettingFalse, kSettingNotFound},
      {"ALLOWSCALE" + z + "true" + z, kSettingTrue, kSettingNotFound},
      {"allowscale" + z + "1" + z, kSettingOther, kSettingNotFound},
      {"nothing here at all", kSettingNotFound, kSettingNotFound},
      {"fullscreen" + z + "false" + z + "allowScale" + z + "t", kSettingTrue, kSettingFalse},
      // The first match decides.
      {"AllowScale" + z + "f" + z + "AllowScale" + z + "t", kSettingFalse, kSettingNotFound},
      // Exactly one byte is skipped after the name.
      {"AllowScale" + z + z + "true", kSettingOther, kSettingNotFound},
  };
  for (const Row& row : rows) {
    TMovieDescription d;
    ASSERT_EQ(Inspect(WithText(row.text).build(), d), kOk) << row.text;
    EXPECT_EQ(d.allowScale, row.allowScale) << row.text;
    EXPECT_EQ(d.fullScreen, row.fullScreen) << row.text;
  }
}

TEST(SwfInspect, SettingsAtTheWindowsEdge) {
  const uint8_t* w = reinterpret_cast<const uint8_t*>("xxAllowScale\0t");
  // The name and two bytes after it fit: found.
  EXPECT_EQ(findFSCommandSetting("ALLOWSCALE", w, 14), kSettingTrue);
  // The name ends within the last two bytes of the window: not found.
  EXPECT_EQ(findFSCommandSetting("ALLOWSCALE", w, 13), kSettingNotFound);
  EXPECT_EQ(findFSCommandSetting("ALLOWSCALE", w, 12), kSettingNotFound);
  EXPECT_EQ(findFSCommandSetting("ALLOWSCALE", w, 0), kSettingNotFound);
  EXPECT_EQ(findFSCommandSetting("ALLOWSCALE", w, -5), kSettingNotFound);
  EXPECT_EQ(findFSCommandSetting("A", w, 14), kSettingNotFound);
  EXPECT_EQ(findFSCommandSetting("", w, 14), kSettingNotFound);

  // The last name of a movie whose file ends right after it.
  TMovieDescription d;
  ASSERT_EQ(Inspect(WithText("AllowScale" + std::string(1, '\0')).build(), d), kOk);
  EXPECT_EQ(d.allowScale, kSettingNotFound);
  ASSERT_EQ(Inspect(WithText("AllowScale" + std::string(1, '\0') + "F").build(), d), kOk);
  EXPECT_EQ(d.allowScale, kSettingFalse);
}

TEST(SwfInspect, OnlyTheFirst2000BytesAfterTheColourAreSearched) {
  const std::string setting = "AllowScale" + std::string(1, '\0') + "true";
  TMovieDescription d;
  // The value's first character is the last byte of the window: found; one
  // byte further on it lies outside.
  ASSERT_EQ(Inspect(WithText(std::string(1988, ' ') + setting).build(), d), kOk);
  EXPECT_EQ(d.allowScale, kSettingTrue);
  ASSERT_EQ(Inspect(WithText(std::string(1989, ' ') + setting).build(), d), kOk);
  EXPECT_EQ(d.allowScale, kSettingNotFound);
  ASSERT_EQ(Inspect(WithText(std::string(5000, ' ') + setting).build(), d), kOk);
  EXPECT_EQ(d.allowScale, kSettingNotFound);
}

TEST(SwfInspect, DeclaredLengthBoundsTheWindow) {
  const std::string setting = "AllowScale" + std::string(1, '\0') + "true";
  // The declared length ends just after the value's first character: found;
  // one byte earlier: not found.
  Movie declared = WithText(setting);
  declared.declaredAdjust = -3;
  TMovieDescription d;
  ASSERT_EQ(Inspect(declared.build(), d), kOk);
  EXPECT_EQ(d.allowScale, kSettingTrue);
  declared.declaredAdjust = -4;
  ASSERT_EQ(Inspect(declared.build(), d), kOk);
  EXPECT_EQ(d.allowScale, kSettingNotFound);

  // A declared length at or before the colour tag's end leaves an empty or
  // negative window: nothing is found and nothing fails.
  for (long adjust : {-static_cast<long>(setting.size()), -static_cast<long>(setting.size()) - 30}) {
    Movie m = WithText(setting);
    m.declaredAdjust = adjust;
    d = TMovieDescription{};
    ASSERT_EQ(Inspect(m.build(), d), kOk) << adjust;
    EXPECT_EQ(d.allowScale, kSettingNotFound);
    EXPECT_EQ(d.fullScreen, kSettingNotFound);
    EXPECT_EQ(d.bgRed, 0x33);
  }

  // A declared length of 2^31 or more reads as negative: no window, also
  // when the difference to the position lies below the smallest 32-bit value.
  for (uint8_t low : {0x00, 0x01, 0x40, 0xFF}) {
    Bytes b = WithText(setting).build();
    b[4] = low;
    b[5] = b[6] = 0;
    b[7] = 0x80;
    d = TMovieDescription{};
    ASSERT_EQ(Inspect(b, d), kOk) << int(low);
    EXPECT_EQ(d.allowScale, kSettingNotFound) << int(low);
  }
}

TEST(SwfInspect, DamagedMoviesGiveACodeOfTheirOwn) {
  TMovieDescription d;
  // A colour tag with a body of two bytes.
  Movie shortColour;
  shortColour.colour = {1, 2};
  EXPECT_EQ(Inspect(shortColour.build(), d), kErrSwfColourTag);
  EXPECT_EQ(d.bgRed, 255);

  // A long tag length of 2^31 or more, and one running past the end.
  Movie huge;
  huge.tagsBefore = {0xFF, 0x00, 0x00, 0x00, 0x00, 0x80};
  EXPECT_EQ(Inspect(huge.build(), d), kErrSwfTagLength);
  Movie beyond;
  beyond.tagsBefore = {0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00};
  EXPECT_EQ(Inspect(beyond.build(), d), kErrSwfTagLength);

  // No colour tag before the end of the file.
  Bytes noColour = Movie{}.build();
  noColour.resize(noColour.size() - 7);  // drop the colour tag and the end tag
  EXPECT_EQ(Inspect(noColour, d), kErrSwfTruncated);

  // "CWS" and anything else are refused by the uncompressed reader.
  Movie compressed;
  compressed.signature = "CWS";
  EXPECT_EQ(Inspect(compressed.build(), d), kErrSwfSignature);
  Movie lower;
  lower.signature = "fws";
  EXPECT_EQ(Inspect(lower.build(), d), kErrSwfSignature);
}

TEST(SwfInspect, EveryTruncationOfAValidMovieGivesACode) {
  Movie m = WithText("AllowScale" + std::string(1, '\0') + "false");
  m.tagsBefore = Tag(2, Bytes(100, 'y'), true);
  const Bytes full = m.build();
  TMovieDescription d;
  ASSERT_EQ(Inspect(full, d), kOk);
  for (size_t n = 0; n < full.size(); ++n) {
    Bytes cut(full.begin(), full.begin() + static_cast<long>(n));
    const Result rc = Inspect(cut, d);
    EXPECT_NE(rc, kOk) << n;
    EXPECT_TRUE(rc == kErrSwfSignature || rc == kErrSwfTruncated || rc == kErrSwfTagLength) << n << " " << rc;
  }
}

// The files of each test in a folder of their own, removed afterwards.
class SwfFiles : public ::testing::Test {
 protected:
  std::string TempPath(const std::string& name) const { return tmp_ / name; }
  sstest::TempFolder tmp_;
};

TEST_F(SwfFiles, SignatureOfFiles) {
  const std::string fws = TempPath("fws.swf"), cws = TempPath("cws.swf"), junk = TempPath("junk.swf"),
                    tiny = TempPath("tiny.swf");
  swftest::WriteFile(fws, Movie{}.build());
  Movie c;
  c.signature = "CWS";
  swftest::WriteFile(cws, c.build());
  swftest::WriteFile(junk, Text("GIF89a"));
  swftest::WriteFile(tiny, Text("FW"));

  std::string sig = "old";
  EXPECT_EQ(readSWFFileFormatType(fws, sig), kOk);
  EXPECT_EQ(sig, "FWS");
  EXPECT_EQ(readSWFFileFormatType(cws, sig), kOk);
  EXPECT_EQ(sig, "CWS");
  EXPECT_EQ(readSWFFileFormatType(junk, sig), kErrSwfSignature);
  EXPECT_EQ(sig, "GIF");
  EXPECT_EQ(readSWFFileFormatType(tiny, sig), kErrSwfSignature);
  sig = "FWS";
  EXPECT_EQ(readSWFFileFormatType(TempPath("missing.swf"), sig), kOk);
  EXPECT_EQ(sig, "FWS");  // a missing file leaves the signature alone
  EXPECT_EQ(readSWFFileFormatType(tmp_.path().string(), sig), kOk);  // a directory counts as missing

  TMovieDescription d;
  EXPECT_EQ(readSWFFile_FWS_Format(cws, d), kErrSwfSignature);
}

TEST_F(SwfFiles, FileInspectionMatchesMemoryAndMissingFilesKeepDefaults) {
  Movie m = WithText("AllowScale" + std::string(1, '\0') + "FALSE" + std::string(1, '\0') + "FullScreen" +
                     std::string(1, '\0') + "true");
  m.version = 8;
  m.tagsBefore = Tag(2, Bytes(5000, 'z'), true);
  const std::string path = TempPath("full.swf");
  swftest::WriteFile(path, m.build());
  TMovieDescription fromFile, fromMemory;
  ASSERT_EQ(readSWFFile_FWS_Format(path, fromFile), kOk);
  const Bytes b = m.build();
  ASSERT_EQ(Inspect(b, fromMemory), kOk);
  EXPECT_EQ(fromFile.swfVersion, 8);
  EXPECT_EQ(fromFile.allowScale, kSettingFalse);
  EXPECT_EQ(fromFile.fullScreen, kSettingTrue);
  EXPECT_EQ(fromFile.frameWidth, fromMemory.frameWidth);
  EXPECT_EQ(fromFile.bgBlue, fromMemory.bgBlue);

  // Every truncation of the file gives a code, as for the bytes in memory.
  for (size_t n : {size_t{2}, size_t{7}, size_t{20}, size_t{3000}, b.size() - 1}) {
    swftest::WriteFile(path, Bytes(b.begin(), b.begin() + static_cast<long>(n)));
    EXPECT_EQ(readSWFFile_FWS_Format(path, fromFile), Inspect(Bytes(b.begin(), b.begin() + static_cast<long>(n)), fromMemory))
        << n;
  }

  // A missing file: defaults, version 0, result 0; the frame size is kept.
  TMovieDescription d;
  d.bgRed = d.bgGreen = d.bgBlue = 0;
  d.allowScale = d.fullScreen = -2;
  d.swfVersion = 6;
  d.frameWidth = 320;
  EXPECT_EQ(readSWFFile_FWS_Format(TempPath("missing.swf"), d), kOk);
  EXPECT_EQ(d.bgRed + d.bgGreen + d.bgBlue, 3 * 255);
  EXPECT_EQ(d.allowScale, 1);
  EXPECT_EQ(d.fullScreen, 1);
  EXPECT_EQ(d.swfVersion, 0);
  EXPECT_EQ(d.frameWidth, 320);
}
