#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "package/ByteOrder.h"
#include "tests/host/tools/TempFolder.h"
#include "tools/Manifest.h"
#include "tools/PackFixtures.h"
#include "tools/PackageCheck.h"

namespace ss::pack {
namespace {

using nlohmann::json;
using test::TempFolder;

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

CliRun Sspack(const TempFolder& tmp, const std::string& args) {
  const std::string out = tmp / "stdout.txt";
  const std::string err = tmp / "stderr.txt";
  const std::string cmd = std::string("'") + SSPACK_PATH + "' " + args + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(cmd.c_str());
  CliRun r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadText(out);
  r.err = ReadText(err);
  return r;
}

// An author's folder: stub, library, every file a manifest names, and a
// data folder with sub-folders.
class Author : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.Write("bin/ssinstall.exe", MakeFakeStub(6000));
    std::filesystem::create_directories(tmp_.path() / "out");
    tmp_.Write("bin/impborl.dll", MakeStandInLibrary());
    std::vector<uint8_t> movie = MakeTextBytes(5000, 2);
    const uint8_t swf[] = {'F', 'W', 'S', 7};
    std::copy(swf, swf + 4, movie.begin());
    tmp_.Write("src/movie.swf", movie);
    std::vector<uint8_t> picture = MakeTextBytes(5000, 3);
    picture[0] = 'B';
    picture[1] = 'M';
    tmp_.Write("src/picture.bmp", picture);
    tmp_.Write("src/license.txt", MakeTextBytes(3000, 4));
    tmp_.Write("src/readme.htm", MakeTextBytes(2000, 5));
    tmp_.Write("src/flashax7.exe", MakeNoiseBytes(3000, 6));
    tmp_.Write("src/engine.scr", MakeNoiseBytes(8000, 7));
    tmp_.Write("src/support.dat", MakeTextBytes(700, 8));
    tmp_.Write("src/one.dll", MakeNoiseBytes(900, 9));
    tmp_.Write("src/two.dll", MakeNoiseBytes(900, 10));
    tmp_.Write("src/settings.bin", MakeNoiseBytes(1232, 11));
    tmp_.Write("src/media/a.txt", MakeTextBytes(4000, 12));
    tmp_.Write("src/media/pics/b.bin", MakeNoiseBytes(3000, 13));
    tmp_.Write("src/media/pics/deeper/c.txt", MakeTextBytes(100, 14));
    manifest_ = json::parse(R"({
      "title": "Aqua Deep Sea",
      "presentation": {"kind": "flash", "file": "src/movie.swf"},
      "license": "src/license.txt",
      "document": {"file": "src/readme.htm", "compress": "store"},
      "flashSetup": "src/flashax7.exe",
      "flashVersionIndex": 1,
      "displayProperties": false,
      "engine": "src/engine.scr",
      "supportFile": "src/support.dat",
      "supportLibraries": ["src/one.dll", "src/two.dll"],
      "data": {"folder": "src/media", "settings": "src/settings.bin", "contentKind": 3,
               "movieEntry": "movie.swf", "entryOverrides": {"pics/deeper/c.txt": "store"}}
    })");
  }

  std::string WriteManifest(const json& m) const {
    tmp_.Write("saver.json", m.dump(2));
    return tmp_ / "saver.json";
  }

  // The fault LoadManifest reports for the manifest after `change`, or "".
  std::string LoadFault(const json& m) const {
    ManifestOptions options;
    options.impborlPath = tmp_ / "bin/impborl.dll";
    options.installerName = "Setup.exe";
    PackageInput input;
    std::vector<std::string> notes;
    std::string error;
    if (LoadManifest(WriteManifest(m), options, &input, &notes, &error)) return "";
    return error.empty() ? "(no message)" : error;
  }

  std::string BuildArgs() const {
    return "build '" + (tmp_ / "saver.json") + "' -o '" + (tmp_ / "out/Setup.exe") + "' --stub '" +
           (tmp_ / "bin/ssinstall.exe") + "' -q";
  }

  TempFolder tmp_;
  json manifest_;
};

TEST_F(Author, BuildListVerifyExtractThroughTheCommandLine) {
  WriteManifest(manifest_);
  CliRun r = Sspack(tmp_, BuildArgs());
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<uint8_t> file = tmp_.Read("out/Setup.exe");
  const std::vector<uint8_t> stub = tmp_.Read("bin/ssinstall.exe");
  ASSERT_GT(file.size(), stub.size());
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), file.begin()));

  InstallerView view;
  std::string error;
  ASSERT_TRUE(ReadInstaller(file, &view, &error)) << error;
  const TPackageHeader& h = view.header;
  EXPECT_EQ(h.title, "Aqua Deep Sea");
  EXPECT_EQ(h.displayMode, dmFlash);
  EXPECT_EQ(h.flashVersionIndex, 1);
  EXPECT_EQ(h.showDisplayProperties, 0);
  EXPECT_EQ(h.segments[kSegInstaller].name, "Setup.exe");
  EXPECT_EQ(h.segments[kSegPresentation].name, "installer.swf");
  EXPECT_EQ(h.segments[kSegDataFile].name, "Aqua Deep Sea.ssd");
  EXPECT_EQ(h.segments[kSegCompanion].compressed, 0);

  r = Sspack(tmp_, "verify '" + (tmp_ / "out/Setup.exe") + "'");
  EXPECT_EQ(r.code, 0) << r.out;
  r = Sspack(tmp_, "list --entries '" + (tmp_ / "out/Setup.exe") + "'");
  EXPECT_EQ(r.code, 0) << r.err;
  for (const char* expected : {"\"Aqua Deep Sea\"", "impborl.dat", "flashax7.exe", "pics\\deeper\\c.txt",
                               "content kind 3", "copy"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }

  r = Sspack(tmp_, "extract -q '" + (tmp_ / "out/Setup.exe") + "' '" + (tmp_ / "x") + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(tmp_.Read("x/segments/06-Aqua Deep Sea.scr"), tmp_.Read("src/engine.scr"));
  EXPECT_EQ(tmp_.Read("x/segments/04-license.txt"), tmp_.Read("src/license.txt"));
  EXPECT_EQ(tmp_.Read("x/data/pics/b.bin"), tmp_.Read("src/media/pics/b.bin"));
  EXPECT_EQ(tmp_.Read("x/data/pics/deeper/c.txt"), tmp_.Read("src/media/pics/deeper/c.txt"));
  EXPECT_EQ(tmp_.Read("x/data/movie.swf"), tmp_.Read("src/movie.swf"));
  const std::vector<uint8_t> saver = tmp_.Read("x/saver.dat");
  const std::vector<uint8_t> settings = tmp_.Read("src/settings.bin");
  ASSERT_EQ(saver.size(), 1240u);
  EXPECT_TRUE(std::equal(settings.begin(), settings.begin() + 212, saver.begin()));
  EXPECT_EQ(GetLE32(saver.data() + 212), 4);  // the movie entry and three files
  EXPECT_EQ(GetLE32(saver.data() + 1204), 3);

  // The extracted saver.dat serves as the settings of a rebuild, which
  // then carries the same header.
  tmp_.Write("src/saver.dat", saver);
  json again = manifest_;
  again["data"]["settings"] = "src/saver.dat";
  WriteManifest(again);
  ASSERT_EQ(Sspack(tmp_, BuildArgs()).code, 0);
  EXPECT_EQ(tmp_.Read("out/Setup.exe"), file);

  // The same manifest builds the same bytes again, on any number of threads.
  WriteManifest(manifest_);
  for (const char* jobs : {"", " -j 1", " --jobs 3"}) {
    ASSERT_EQ(Sspack(tmp_, BuildArgs() + jobs).code, 0) << jobs;
    EXPECT_EQ(tmp_.Read("out/Setup.exe"), file) << jobs;
  }
}

TEST_F(Author, ManifestFaultsNameTheirCause) {
  ASSERT_EQ(LoadFault(manifest_), "");
  struct Row {
    const char* what;
    void (*change)(json*);
    const char* expected;  // part of the message
  };
  const Row rows[] = {
      {"title too long", [](json* m) { (*m)["title"] = std::string(65, 'T'); }, "64"},
      {"title with a path", [](json* m) { (*m)["title"] = "..\\Deep"; }, "title"},
      {"title with a slash", [](json* m) { (*m)["title"] = "Deep/Sea"; }, "title"},
      {"title outside the code page", [](json* m) { (*m)["title"] = "\xE6\xB5\xB7"; }, "1252"},
      {"missing file", [](json* m) { (*m)["engine"] = "src/nothing.scr"; }, "nothing.scr: file not found"},
      {"missing key", [](json* m) { m->erase("engine"); }, "\"engine\" is missing"},
      {"misspelt key", [](json* m) { (*m)["licence"] = "src/license.txt"; }, "unknown key \"licence\""},
      {"bad presentation", [](json* m) { (*m)["presentation"]["kind"] = "gif"; }, "presentation.kind"},
      {"quiet with a file", [](json* m) { (*m)["presentation"] = {{"kind", "none"}, {"file", "src/movie.swf"}}; },
       "takes no file"},
      {"kind 3 without a movie",
       [](json* m) { (*m)["presentation"] = {{"kind", "bitmap"}, {"file", "src/picture.bmp"}}; },
       "content kind 3"},
      {"movie that is no movie", [](json* m) { (*m)["presentation"]["file"] = "src/license.txt"; },
       "not a Flash movie"},
      {"bitmap that is no bitmap",
       [](json* m) { (*m)["presentation"] = {{"kind", "bitmap"}, {"file", "src/movie.swf"}}; },
       "not a bitmap"},
      {"flash setup name", [](json* m) { (*m)["flashSetup"] = "src/engine.scr"; }, "flashax7.exe"},
      {"flash index", [](json* m) { (*m)["flashVersionIndex"] = 2; }, "flashVersionIndex"},
      {"settings size", [](json* m) { (*m)["data"]["settings"] = "src/support.dat"; }, "1232"},
      {"one library", [](json* m) { (*m)["supportLibraries"] = {"src/one.dll"}; }, "exactly two"},
      {"both data forms", [](json* m) { (*m)["data"]["ssd"] = "x.ssd"; }, "either"},
      {"compression word", [](json* m) { (*m)["compress"] = "zip"; }, "\"auto\""},
      {"override of no file", [](json* m) { (*m)["data"]["entryOverrides"] = {{"nope.txt", "store"}}; },
       "nope.txt"},
      {"clash with a support file", [](json* m) { (*m)["supportFile"] = "src/media/a.txt"; }, "a.txt"},
      {"clash of libraries", [](json* m) { (*m)["supportLibraries"] = {"src/one.dll", "src/one.dll"}; },
       "already taken"},
  };
  for (const Row& row : rows) {
    json m = manifest_;
    row.change(&m);
    const std::string fault = LoadFault(m);
    EXPECT_NE(fault.find(row.expected), std::string::npos) << row.what << ": " << fault;
  }
}

TEST_F(Author, EmptyDataFilesAndReadyDataFiles) {
  // An empty file in the folder would vanish at install time.
  tmp_.Write("src/media/empty.txt", std::vector<uint8_t>());
  EXPECT_NE(LoadFault(manifest_).find("empty"), std::string::npos);
  std::filesystem::remove(tmp_.path() / "src/media/empty.txt");

  // An empty folder gives a data file with no entries.
  std::filesystem::create_directories(tmp_.path() / "src/nothing");
  json m = manifest_;
  m["data"] = {{"folder", "src/nothing"}};
  ASSERT_EQ(LoadFault(m), "");
  WriteManifest(m);
  ASSERT_EQ(Sspack(tmp_, BuildArgs()).code, 0);
  EXPECT_EQ(Sspack(tmp_, "verify -q '" + (tmp_ / "out/Setup.exe") + "'").code, 0);
  std::vector<uint8_t> file = tmp_.Read("out/Setup.exe");
  InstallerView view;
  std::string error;
  ASSERT_TRUE(ReadInstaller(file, &view, &error));
  std::vector<uint8_t> ssd;
  ASSERT_TRUE(ReadSegment(file, view.header.segments[kSegDataFile], &ssd, &error)) << error;
  EXPECT_EQ(ssd.size(), 1240u);
  EXPECT_EQ(GetLE32(ssd.data() + 212), 0);

  // That data file, taken as a ready one, is checked and carried unchanged.
  tmp_.Write("src/ready.ssd", ssd);
  m["data"] = {{"ssd", "src/ready.ssd"}};
  EXPECT_EQ(LoadFault(m), "");
  std::vector<uint8_t> broken = ssd;
  PutLE32(broken.data() + 212, 5);  // entries it does not have
  tmp_.Write("src/ready.ssd", broken);
  EXPECT_NE(LoadFault(m).find("ready.ssd"), std::string::npos);
}

TEST_F(Author, RefusalsLeaveTheOutputAlone) {
  WriteManifest(manifest_);
  tmp_.Write("out/Setup.exe", std::string("previous"));

  // A stub whose stamp does not match its size.
  std::vector<uint8_t> stub = MakeFakeStub(6000);
  stub.push_back(0);
  tmp_.Write("bin/ssinstall.exe", stub);
  CliRun r = Sspack(tmp_, BuildArgs());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("differs from its size"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ssinstall.exe"), std::string::npos) << r.err;
  EXPECT_EQ(tmp_.Read("out/Setup.exe"), std::vector<uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));

  // A manifest fault.
  tmp_.Write("bin/ssinstall.exe", MakeFakeStub(6000));
  json m = manifest_;
  m["title"] = std::string(70, 'x');
  WriteManifest(m);
  r = Sspack(tmp_, BuildArgs());
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("saver.json"), std::string::npos) << r.err;
  EXPECT_EQ(tmp_.Read("out/Setup.exe").size(), 8u);

  // Verify and extract of something that is no installer.
  r = Sspack(tmp_, "verify '" + (tmp_ / "out/Setup.exe") + "'");
  EXPECT_EQ(r.code, 1);
  r = Sspack(tmp_, "extract '" + (tmp_ / "out/Setup.exe") + "' '" + (tmp_ / "x") + "'");
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(std::filesystem::exists(tmp_.path() / "x"));
}

TEST_F(Author, UsageAndHelp) {
  EXPECT_EQ(Sspack(tmp_, "").code, 2);
  EXPECT_EQ(Sspack(tmp_, "build").code, 2);
  EXPECT_EQ(Sspack(tmp_, "frobnicate x").code, 2);
  WriteManifest(manifest_);
  EXPECT_EQ(Sspack(tmp_, BuildArgs() + " -j 0").code, 2);
  EXPECT_EQ(Sspack(tmp_, BuildArgs() + " -j many").code, 2);
  for (const char* command : {"build", "list", "verify", "extract"}) {
    const CliRun r = Sspack(tmp_, std::string(command) + " --help");
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << command << r.out;
  }
}

}  // namespace
}  // namespace ss::pack

namespace ss::pack {
namespace {

// A manifest named by a relative path with folders in it: every file it names,
// those found inside its data folder included, is read from beside it.
TEST_F(Author, RelativeManifestPathFindsTheDataFolder) {
  WriteManifest(manifest_);
  const std::filesystem::path dir(tmp_.path());
  const std::string cmd = "cd '" + dir.parent_path().string() + "' && '" + SSPACK_PATH + "' build '" +
                          dir.filename().string() + "/saver.json' -o '" + (tmp_ / "out/Rel.exe") + "' --stub '" +
                          (tmp_ / "bin/ssinstall.exe") + "' -q >'" + (tmp_ / "rel.txt") + "' 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << ReadText(tmp_ / "rel.txt");
  EXPECT_FALSE(tmp_.Read("out/Rel.exe").empty());
}

}  // namespace
}  // namespace ss::pack
