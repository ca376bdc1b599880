// The sample screen saver's rules that need no running engine: its settings
// in saver.dat (checked against the installer's own record of the header),
// its command line, where it finds its files, which program an uninstall
// command starts, captions, and the BMP files of the media generator read
// back by the system's own bitmap loader.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "examples/media/SampleMedia.h"
#include "examples/saver/SampleSettings.h"
#include "examples/saver/SaverText.h"
#include "package/PackageRecords.h"
#include "tests/win/winsys/WinsysTestSupport.h"

namespace ss::sample {
namespace {

SampleSettings Custom() {
  SampleSettings s;
  s.slideSeconds = 3600;
  s.backgroundColour = 0x00123456;
  s.showCaptions = false;
  s.caption = std::string(63, 'c');
  return s;
}

std::vector<uint8_t> Blob(const SampleSettings& s) {
  std::vector<uint8_t> blob;
  std::string error;
  EXPECT_TRUE(EncodeSettingsBlob(s, &blob, &error)) << error;
  return blob;
}

TEST(SampleSettingsTest, SaverDatKeepsTheInstallersFieldsApart) {
  const std::vector<uint8_t> blob = Blob(Custom());
  ASSERT_EQ(blob.size(), 1232u);
  const std::vector<uint8_t> dat = SaverDatFromBlob(blob, 7, 3);
  ASSERT_EQ(dat.size(), kSaverDatSize);

  // The installer's own reading of the header finds its two fields.
  const TSaverDataHeader header = TSaverDataHeader::Parse(dat.data());
  EXPECT_EQ(header.entryCount(), 7);
  EXPECT_EQ(header.contentKind(), 3);

  SampleSettings read;
  std::string error;
  ASSERT_TRUE(ParseSaverDat(dat.data(), dat.size(), &read, &error)) << error;
  EXPECT_EQ(read.slideSeconds, 3600u);
  EXPECT_EQ(read.backgroundColour, 0x00123456u);
  EXPECT_FALSE(read.showCaptions);
  EXPECT_EQ(read.caption, std::string(63, 'c'));

  // The header the installer writes out with other counts reads the same.
  const std::vector<uint8_t> other = SaverDatFromBlob(blob, 0, 0);
  SampleSettings again;
  ASSERT_TRUE(ParseSaverDat(other.data(), other.size(), &again, &error)) << error;
  EXPECT_EQ(again.caption, read.caption);
}

TEST(SampleSettingsTest, RefusesWhatTheEngineCouldNotUse) {
  std::vector<uint8_t> blob;
  std::string error;
  SampleSettings s;
  s.caption = std::string(64, 'x');
  EXPECT_FALSE(EncodeSettingsBlob(s, &blob, &error));
  s = SampleSettings{};
  s.slideSeconds = 0;
  EXPECT_FALSE(EncodeSettingsBlob(s, &blob, &error));
  s.slideSeconds = 3601;
  EXPECT_FALSE(EncodeSettingsBlob(s, &blob, &error));
  s = SampleSettings{};
  s.caption = std::string("a\0b", 3);
  EXPECT_FALSE(EncodeSettingsBlob(s, &blob, &error));

  const std::vector<uint8_t> good = SaverDatFromBlob(Blob(SampleSettings{}), 4, 0);
  SampleSettings read;
  ASSERT_TRUE(ParseSaverDat(good.data(), good.size(), &read, &error)) << error;
  EXPECT_EQ(read.caption, "Sample Aquarium");

  EXPECT_FALSE(ParseSaverDat(good.data(), 1239, &read, &error));
  EXPECT_NE(error.find("1239"), std::string::npos) << error;
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(ParseSaverDat(longer.data(), longer.size(), &read, &error));

  struct Damage {
    size_t at;
    uint8_t value;
    const char* why;
  };
  for (const Damage& d : {Damage{0, 'X', "magic"}, Damage{4, 2, "version"}, Damage{8, 0, "slide 0"},
                          Damage{9, 0x0F, "slide 3840"}}) {
    std::vector<uint8_t> bad = good;
    bad[d.at] = d.value;
    if (d.at == 8) bad[9] = 0;
    error.clear();
    EXPECT_FALSE(ParseSaverDat(bad.data(), bad.size(), &read, &error)) << d.why;
    EXPECT_FALSE(error.empty()) << d.why;
  }
  std::vector<uint8_t> unterminated = good;
  for (size_t i = 20; i < 84; ++i) unterminated[i] = 'y';
  EXPECT_FALSE(ParseSaverDat(unterminated.data(), unterminated.size(), &read, &error));
  // A refused file leaves the caller's settings alone.
  EXPECT_EQ(read.caption, "Sample Aquarium");
}

TEST(SaverCommandLineTest, SwitchesAsTheSystemPassesThem) {
  struct Row {
    const char* args;
    SaverMode mode;
    uintptr_t window;
  };
  const Row rows[] = {
      {"", SaverMode::kConfigure, 0},     {"  ", SaverMode::kConfigure, 0},
      {"/s", SaverMode::kShow, 0},        {"-S", SaverMode::kShow, 0},
      {" /s ", SaverMode::kShow, 0},      {"/c", SaverMode::kConfigure, 0},
      {"/c:4242", SaverMode::kConfigure, 4242}, {"/C 17", SaverMode::kConfigure, 17},
      {"/p 1234", SaverMode::kPreview, 1234},   {"/p:1234", SaverMode::kPreview, 1234},
      {"-p\t99", SaverMode::kPreview, 99},      {"/p 4294967295", SaverMode::kPreview, 4294967295u},
      {"/u", SaverMode::kUninstall, 0},   {"/U", SaverMode::kUninstall, 0},
  };
  for (const Row& r : rows) {
    const SaverCommand c = ParseSaverCommandLine(r.args);
    EXPECT_EQ(c.mode, r.mode) << "'" << r.args << "': " << c.error;
    EXPECT_EQ(c.window, r.window) << r.args;
  }
  for (const char* bad : {"/p", "/p:", "/p abc", "/p 0", "/p -5", "/p 4294967296", "/p 12 34",
                          "/x", "/sx", "/s extra", "/u now", "s", "/", "/c:12a"}) {
    const SaverCommand c = ParseSaverCommandLine(bad);
    EXPECT_EQ(c.mode, SaverMode::kInvalid) << "'" << bad << "'";
    EXPECT_FALSE(c.error.empty()) << bad;
  }
}

TEST(SaverLocationTest, InstallDirectoryFollowsTheEnginesName) {
  SaverLocation loc;
  std::string error;
  ASSERT_TRUE(LocateSaver("C:\\WINDOWS\\SYSTEM\\Sample Aquarium.scr", &loc, &error)) << error;
  EXPECT_EQ(loc.dir, "C:\\WINDOWS\\SYSTEM\\");
  EXPECT_EQ(loc.title, "Sample Aquarium");
  EXPECT_EQ(loc.installDir, "C:\\WINDOWS\\SYSTEM\\Sample Aquarium dir\\");
  EXPECT_EQ(loc.settingsPath, "C:\\WINDOWS\\SYSTEM\\Sample Aquarium dir\\saver.dat");

  ASSERT_TRUE(LocateSaver("D:\\x\\Reef.SCR", &loc, &error)) << error;
  EXPECT_EQ(loc.title, "Reef");
  EXPECT_EQ(loc.installDir, "D:\\x\\Reef dir\\");

  for (const char* bad : {"Sample.scr", "C:\\saver.exe", "C:\\dir\\.scr", "C:\\dir\\name.scr.txt",
                          "C:\\dir\\ .scr", "C:\\dir\\"}) {
    error.clear();
    EXPECT_FALSE(LocateSaver(bad, &loc, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SaverLocationTest, UninstallCommandNamesItsProgram) {
  EXPECT_EQ(CommandProgram("\"C:\\Program Files\\A B.scr\" /u"), "C:\\Program Files\\A B.scr");
  EXPECT_EQ(CommandProgram("C:\\WINDOWS\\SYSTEM\\Aqua Deep.scr /u"), "C:\\WINDOWS\\SYSTEM\\Aqua Deep.scr");
  EXPECT_EQ(CommandProgram("C:\\WINDOWS\\SYSTEM\\AQUA.SCR /U"), "C:\\WINDOWS\\SYSTEM\\AQUA.SCR");
  EXPECT_EQ(CommandProgram("  C:\\A.scr  "), "C:\\A.scr");
  EXPECT_EQ(CommandProgram("\"C:\\unterminated.scr /u"), "C:\\unterminated.scr /u");
  EXPECT_EQ(CommandProgram(""), "");

  EXPECT_TRUE(SamePathText("C:\\Windows\\System32\\A.scr", "c:/WINDOWS/system32/a.SCR"));
  EXPECT_FALSE(SamePathText("C:\\A.scr", "C:\\A.scr "));
  EXPECT_FALSE(SamePathText("C:\\A.scr", "C:\\B.scr"));
}

TEST(SaverCaptionsTest, OneLinePerPicture) {
  const auto c = ParseCaptions(
      "; comment = not a caption\r\n"
      "01-Reef.BMP = The reef at noon\r\n"
      "\r\n"
      "no equals sign\n"
      " = nameless\n"
      "kelp.bmp=Kelp = forest\n"
      "last.bmp =");
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c.at("01-reef.bmp"), "The reef at noon");
  EXPECT_EQ(c.at("kelp.bmp"), "Kelp = forest");
  EXPECT_EQ(c.at("last.bmp"), "");
}

// The generator's files as the system reads them: size and pixels, with an
// odd width so that every row needs padding.
TEST(SampleMediaTest, SystemLoaderReadsTheGeneratedBitmaps) {
  test::ScratchDir dir("media");
  for (int scene = 0; scene <= kSceneCount; ++scene) {
    const Picture p = scene < kSceneCount ? PaintScene(scene, 37, 23) : PaintPresentation(41, 19);
    const std::string path = dir / ("p" + std::to_string(scene) + ".bmp");
    const std::vector<uint8_t> bytes = EncodeBmp24(p);
    sstest::WriteAll(path, bytes);

    HBITMAP bmp = static_cast<HBITMAP>(
        LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    ASSERT_NE(bmp, nullptr) << "scene " << scene << ": " << test::LastErrorText();
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(bmp, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, p.width());
    EXPECT_EQ(ds.dsBm.bmHeight, p.height());
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);

    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    int mismatches = 0;
    for (int y = 0; y < p.height(); ++y) {
      for (int x = 0; x < p.width(); ++x) {
        const COLORREF got = GetPixel(dc, x, y);
        const Rgb want = p.at(x, y);
        if (got != RGB(want.r, want.g, want.b)) ++mismatches;
      }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);
    EXPECT_EQ(mismatches, 0) << "scene " << scene;
  }
}

}  // namespace
}  // namespace ss::sample
