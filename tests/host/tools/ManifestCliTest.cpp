#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "package/ByteOrder.h"
#include "tests/support/TempFolder.h"
#include "tests/support/PackFixtures.h"
#include "tools/CommandTable.h"
#include "tools/manifest/ManifestReader.h"
#include "tools/read/InstallerReader.h"
#include "tools/build/Signing.h"
#include "tools/common/ToolParts.h"

namespace ss::pack {
namespace {

using nlohmann::json;
using sstest::TempFolder;

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

// Runs sspack (another copy of it when `program` is given), with `env`
// (NAME=value ...) before it on the shell's command line.
CliRun Sspack(const TempFolder& tmp, const std::string& args, const std::string& env = "",
              const std::string& program = SSPACK_PATH) {
  const std::string out = tmp / "stdout.txt";
  const std::string err = tmp / "stderr.txt";
  const std::string cmd = env + " '" + program + "' " + args + " >'" + out + "' 2>'" + err + "'";
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
    const ToolResult loaded = LoadManifest(WriteManifest(m), options, &input, &notes);
    if (loaded.ok()) return "";
    return loaded.message().empty() ? "(no message)" : loaded.message();
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
  ASSERT_EQ(ReadInstaller(file, &view).message(), "");
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
      // Every fault of the builder's checks is named, not just the first.
      {"second package fault",
       [](json* m) {
         (*m)["flashSetup"] = "src/engine.scr";
         (*m)["supportLibraries"] = {"src/one.dll", "src/one.dll"};
       },
       "saver.json: segment 10 (support lib 2) name \"one.dll\" is already taken"},
      {"second entry fault", [](json* m) { (*m)["data"]["copies"] = {"movie.swf", "a.txt"}; },
       "saver.json: data: data-file entry 4 \"a.txt\": the name occurs twice"},
      // Files outside the manifest's folder only with --allow-outside (see
      // FilesOutsideTheFolderOnlyWhenAllowed).
      {"absolute path", [](json* m) { (*m)["engine"] = "/etc/passwd"; }, "engine: \"/etc/passwd\" (/etc/passwd) lies outside"},
      {"path up and out", [](json* m) { (*m)["supportFile"] = "../support.dat"; },
       "supportFile: \"../support.dat\" ("},
  };
  for (const Row& row : rows) {
    json m = manifest_;
    row.change(&m);
    const std::string fault = LoadFault(m);
    EXPECT_NE(fault.find(row.expected), std::string::npos) << row.what << ": " << fault;
  }
}

TEST_F(Author, EmptyDataFilesAndReadyDataFiles) {
  // More files than the installer takes are refused before any is read: the
  // one too large to read is never reached.
  for (int i = 0; i < 1010; ++i) tmp_.Write("src/many/" + std::to_string(i) + ".txt", std::string("x"));
  tmp_.Write("src/many/huge.bin", std::string("x"));
  std::filesystem::resize_file(tmp_.path() / "src/many/huge.bin", uint64_t(3) << 30);
  json many = manifest_;
  many["data"] = {{"folder", "src/many"}};
  std::string fault = LoadFault(many);
  EXPECT_NE(fault.find("data.folder: " + (tmp_ / "src/many") + ": the data file would have 1011 entries"),
            std::string::npos) << fault;
  std::filesystem::remove(tmp_.path() / "src/many/huge.bin");
  EXPECT_EQ(LoadFault(many), "");
  std::filesystem::remove_all(tmp_.path() / "src/many");

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
  ASSERT_TRUE(ReadInstaller(file, &view).ok());
  std::vector<uint8_t> ssd;
  ASSERT_EQ(ReadSegment(file, view.header.segments[kSegDataFile], &ssd).result.message(), "");
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

// A manifest packs files from outside its folder only when --allow-outside
// says so: absolute paths, paths that climb out with "..", and links inside
// the folder that point out of it. Allowed, the summary names each such file
// where it really lies; a path that climbs out and back in is inside.
TEST_F(Author, FilesOutsideTheFolderOnlyWhenAllowed) {
  namespace fs = std::filesystem;
  const fs::path away = tmp_.path().string() + "-away";
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup{away};
  fs::remove_all(away);
  fs::create_directories(away / "media");
  fs::copy(tmp_.path() / "src", away / "src", fs::copy_options::recursive);
  const fs::path real = fs::canonical(away);
  fs::create_symlink(away / "src/two.dll", tmp_.path() / "src/link.dll");
  fs::create_symlink(away / "src/media", tmp_.path() / "src/media-link");
  const std::string up = "../" + away.filename().string();

  struct Row {
    std::string what;
    std::function<void(json*)> change;
    std::string says;     // the key and the path as the manifest gives it
    std::string summary;  // what the summary lists with --allow-outside; "" when inside
  };
  const Row rows[] = {
      {"absolute path", [&](json* m) { (*m)["engine"] = (away / "src/engine.scr").string(); },
       "engine: \"" + (away / "src/engine.scr").string() + "\"", "engine: " + (real / "src/engine.scr").string()},
      {"up and out", [&](json* m) { (*m)["supportFile"] = up + "/src/support.dat"; },
       "supportFile: \"" + up + "/src/support.dat\"", "supportFile: " + (real / "src/support.dat").string()},
      {"settings up and out", [&](json* m) { (*m)["data"]["settings"] = up + "/src/settings.bin"; },
       "data.settings: \"" + up + "/src/settings.bin\"", "data.settings: " + (real / "src/settings.bin").string()},
      {"link to a file", [](json* m) { (*m)["supportLibraries"][1] = "src/link.dll"; },
       "supportLibraries[1]: \"src/link.dll\"", "supportLibraries[1]: " + (real / "src/two.dll").string()},
      {"link to the data folder", [](json* m) { (*m)["data"]["folder"] = "src/media-link"; },
       "data.folder: \"src/media-link\"", "data.folder: " + (real / "src/media").string()},
      {"link inside the data folder",
       [&](json*) { fs::create_symlink(away / "src/license.txt", tmp_.path() / "src/media/pics/licence.txt"); },
       "data.folder: \"" + (tmp_ / "src/media/pics/licence.txt") + "\"",
       "data.folder: " + (real / "src/license.txt").string()},
      {"out and back in", [&](json* m) { (*m)["engine"] = "src/../src/engine.scr"; }, "", ""},
  };
  const std::string allowed = BuildArgs().substr(0, BuildArgs().size() - 3) + " --allow-outside";
  for (const Row& row : rows) {
    json m = manifest_;
    row.change(&m);
    WriteManifest(m);
    CliRun r = Sspack(tmp_, BuildArgs());
    if (row.says.empty()) {
      EXPECT_EQ(r.code, 0) << row.what << ": " << r.err;
    } else {
      EXPECT_EQ(r.code, 1) << row.what;
      EXPECT_NE(r.err.find(row.says + " ("), std::string::npos) << row.what << ": " << r.err;
      EXPECT_NE(r.err.find("lies outside the manifest's folder"), std::string::npos) << row.what << ": " << r.err;
    }
    r = Sspack(tmp_, allowed);
    EXPECT_EQ(r.code, 0) << row.what << ": " << r.err;
    EXPECT_EQ(r.out.find("outside the manifest's folder") != std::string::npos, !row.summary.empty())
        << row.what << ": " << r.out;
    if (!row.summary.empty()) {
      EXPECT_NE(r.out.find("\n  " + row.summary + "\n"), std::string::npos) << row.what << ": " << r.out;
    }
    fs::remove(tmp_.path() / "src/media/pics/licence.txt");
  }
  CliRun r = Sspack(tmp_, "build --help");
  EXPECT_NE(r.out.find("--allow-outside"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace ss::pack

namespace ss::pack {
namespace {

namespace fs = std::filesystem;

// The files of a folder below `root` (relative names), and their bytes.
std::map<std::string, std::vector<uint8_t>> FilesBelow(const fs::path& root) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    files[fs::relative(e.path(), root).generic_string()] =
        std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// An author's folder as "sspack init" meets it: every file side by side and
// the data files in a folder of their own. The engine names its support
// file and libraries (as a program that loads them does), the second
// library first; the presentation is the picture named for it, beside a
// movie that is not.
class InitFolder : public Author {
 protected:
  void SetUp() override {
    Author::SetUp();
    author_ = tmp_.path() / "author";
    fs::copy(tmp_.path() / "src", author_, fs::copy_options::recursive);
    fs::remove(author_ / "engine.scr");
    fs::rename(author_ / "picture.bmp", author_ / "installer.bmp");
    std::vector<uint8_t> engine = MakeNoiseBytes(6000, 7);
    for (const char* name : {"two.dll", "SUPPORT.DAT", "one.dll"}) {
      const std::string text = std::string("\\") + name;
      engine.insert(engine.end(), text.begin(), text.end() + 1);  // with its zero
      const std::vector<uint8_t> gap = MakeNoiseBytes(500, 8);
      engine.insert(engine.end(), gap.begin(), gap.end());
    }
    tmp_.Write("author/Aqua Deep Sea.scr", engine);
  }

  std::string Init(const fs::path& dir, const std::string& extra = "") {
    return "init '" + dir.string() + "'" + extra;
  }
  std::string BuildFrom(const fs::path& manifest, const std::string& out) const {
    return "build '" + manifest.string() + "' -o '" + (tmp_ / out) + "' --stub '" + (tmp_ / "bin/ssinstall.exe") +
           "' -q";
  }

  fs::path author_;
};

TEST_F(InitFolder, InitWritesAManifestThatBuildsAsTheAuthorsOwn) {
  // What the author would write by hand for this folder.
  tmp_.Write("author/hand.json", std::string(R"({
    "title": "Aqua Deep Sea",
    "presentation": {"kind": "bitmap", "file": "installer.bmp"},
    "license": "license.txt",
    "document": "readme.htm",
    "flashSetup": "flashax7.exe",
    "engine": "Aqua Deep Sea.scr",
    "supportFile": "support.dat",
    "supportLibraries": ["two.dll", "one.dll"],
    "data": {"folder": "media", "settings": "settings.bin"}
  })"));
  ASSERT_EQ(Sspack(tmp_, BuildFrom(author_ / "hand.json", "out/Setup.exe")).code, 0);
  const std::vector<uint8_t> hand = tmp_.Read("out/Setup.exe");

  CliRun r = Sspack(tmp_, Init(author_));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("supportLibraries: two.dll, one.dll"), std::string::npos) << r.out;
  const std::string text = ReadText((author_ / "saver.json").string());
  // Commented, and it says what it left out.
  EXPECT_EQ(text.rfind("// ", 0), 0u) << text;
  EXPECT_NE(text.find("Not packed: movie.swf."), std::string::npos) << text;
  r = Sspack(tmp_, BuildFrom(author_ / "saver.json", "out/Setup.exe"));
  ASSERT_EQ(r.code, 0) << r.err << text;
  EXPECT_EQ(tmp_.Read("out/Setup.exe"), hand) << text;

  // An existing manifest is replaced only when asked.
  tmp_.Write("author/saver.json", std::string("{}"));
  EXPECT_EQ(Sspack(tmp_, Init(author_)).code, 3);
  EXPECT_EQ(ReadText((author_ / "saver.json").string()), "{}");
  EXPECT_EQ(Sspack(tmp_, Init(author_, " --force -q")).code, 0);
  EXPECT_EQ(ReadText((author_ / "saver.json").string()), text);
}

// Names with a line break or a quote: the manifest holds them escaped, in
// its values and in its comments, so that it reads back the very names and
// no name can end a comment and add keys of its own.
TEST_F(InitFolder, NamesWithLineBreaksAndQuotesReadBack) {
  const std::string folder = "me\"dia\nnext";
  const std::string injected = "x\n  \"title\": \"Evil\",\n  \"flashVersionIndex\": 1,\n  \"y.txt";
  fs::rename(author_ / "media", author_ / folder);
  tmp_.Write("author/" + injected, std::string("not packed"));
  CliRun r = Sspack(tmp_, Init(author_));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("data: \"me\\\"dia\\nnext\"/"), std::string::npos) << r.out;
  const std::string text = ReadText((author_ / "saver.json").string());
  const json m = json::parse(text, nullptr, true, true);
  EXPECT_EQ(m["data"]["folder"], folder) << text;
  EXPECT_EQ(m["title"], "Aqua Deep Sea") << text;
  EXPECT_FALSE(m.contains("flashVersionIndex")) << text;
  EXPECT_NE(text.find(json(injected).dump()), std::string::npos) << text;

  r = Sspack(tmp_, BuildFrom(author_ / "saver.json", "out/Named.exe"));
  ASSERT_EQ(r.code, 0) << r.err << text;
  r = Sspack(tmp_, "extract -q '" + (tmp_ / "out/Named.exe") + "' '" + (tmp_ / "x") + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(FilesBelow(tmp_.path() / "x/data"), FilesBelow(author_ / folder));
}

TEST_F(InitFolder, WhatIsMissingIsNamedByInitAndByBuild) {
  struct Row {
    const char* what;
    std::vector<const char*> remove;
    const char* initSays;
    const char* buildSays;
  };
  const Row rows[] = {
      {"no engine", {"Aqua Deep Sea.scr"}, "engine: no .scr file here", "\"title\" and \"engine\" are missing"},
      {"one library", {"one.dll"}, "supportLibraries: only two.dll here", "\"supportLibraries\" is missing"},
      {"no data folder", {"media"}, "data: no folder here", "\"data\" is missing"},
      {"no support file", {"support.dat", "readme.htm"}, "supportFile: no file here is left",
       "\"supportFile\" is missing"},
      {"two of them", {"media", "two.dll"}, "supportLibraries: only one.dll",
       "\"supportLibraries\" and \"data\" are missing"},
  };
  for (const Row& row : rows) {
    const fs::path dir = tmp_.path() / "rows" / row.what;
    fs::create_directories(dir.parent_path());
    fs::copy(author_, dir, fs::copy_options::recursive);
    for (const char* name : row.remove) fs::remove_all(dir / name);
    CliRun r = Sspack(tmp_, Init(dir));
    EXPECT_EQ(r.code, 1) << row.what;
    EXPECT_NE(r.err.find(row.initSays), std::string::npos) << row.what << ": " << r.err;
    EXPECT_NE(ReadText((dir / "saver.json").string()).find("STILL MISSING"), std::string::npos) << row.what;
    r = Sspack(tmp_, BuildFrom(dir / "saver.json", "out/Row.exe"));
    EXPECT_EQ(r.code, 1) << row.what;
    EXPECT_NE(r.err.find(row.buildSays), std::string::npos) << row.what << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(tmp_.path() / "out/Row.exe"));
  EXPECT_EQ(Sspack(tmp_, Init(tmp_.path() / "nothing")).code, 1);
}

// A signed installer: osslsigncode's signature follows the package, which
// stays as built; verify, list and extract read it as the unsigned one. A
// signing that fails leaves no file and an earlier output as it was.
TEST_F(Author, SignedInstallersVerifyListAndExtract) {
  tmp_.Write("bin/ssinstall.exe", MakePeStub());
  const size_t stubSize = tmp_.Read("bin/ssinstall.exe").size();
  WriteManifest(manifest_);
  const std::string cert = tmp_ / "cert";
  ASSERT_EQ(std::system(("bash '" SS_MAKE_CERT "' '" + cert + "'").c_str()), 0);
  const std::string sign = " --sign '" + cert + "/cert.pfx' --sign-password-file '" + cert + "/password.txt'";

  ASSERT_EQ(Sspack(tmp_, BuildArgs()).code, 0);
  const std::vector<uint8_t> plain = tmp_.Read("out/Setup.exe");
  ASSERT_EQ(Sspack(tmp_, "extract -q '" + (tmp_ / "out/Setup.exe") + "' '" + (tmp_ / "plain") + "'").code, 0);
  CliRun r = Sspack(tmp_, BuildArgs() + sign);
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<uint8_t> signedFile = tmp_.Read("out/Setup.exe");
  ASSERT_GT(signedFile.size(), plain.size());
  EXPECT_TRUE(std::equal(plain.begin() + static_cast<std::ptrdiff_t>(stubSize), plain.end(),
                         signedFile.begin() + static_cast<std::ptrdiff_t>(stubSize)));
  const std::string check = "osslsigncode verify -CAfile '" + cert + "/cert.pem' -in '" + (tmp_ / "out/Setup.exe") +
                            "' >'" + (tmp_ / "osslsigncode.txt") + "' 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0) << ReadText(tmp_ / "osslsigncode.txt");

  r = Sspack(tmp_, "verify '" + (tmp_ / "out/Setup.exe") + "'");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("note: signed: the certificate table"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("not used"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Setup.exe: ok"), std::string::npos) << r.out;
  r = Sspack(tmp_, "list '" + (tmp_ / "out/Setup.exe") + "'");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Signed:               yes"), std::string::npos) << r.out;
  r = Sspack(tmp_, "extract -q '" + (tmp_ / "out/Setup.exe") + "' '" + (tmp_ / "signed") + "'");
  ASSERT_EQ(r.code, 0) << r.err;
  auto extracted = FilesBelow(tmp_.path() / "signed");
  auto expected = FilesBelow(tmp_.path() / "plain");
  // Segment 0 is the program part, whose headers now name the signature.
  extracted.erase("segments/00-Setup.exe");
  expected.erase("segments/00-Setup.exe");
  EXPECT_EQ(extracted, expected);

  // Failures leave the signed output alone and nothing beside it.
  tmp_.Write("cert/wrong.txt", std::string("wrong\n"));
  const std::string wrongPassword = " --sign '" + cert + "/cert.pfx' --sign-password-file '" + cert + "/wrong.txt'";
  r = Sspack(tmp_, BuildArgs() + wrongPassword);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("osslsigncode could not sign"), std::string::npos) << r.err;
  // An osslsigncode that records being run, in the current folder and in a
  // folder below it: PATH's empty, "." and relative entries do not lead to it.
  fs::create_directories(tmp_.path() / "empty");
  const std::string recorder = "#!/bin/sh\necho \"$0\" >>'" + (tmp_ / "recorded.txt") + "'\nexit 1\n";
  for (const char* planted : {"cwd/osslsigncode", "cwd/rel/osslsigncode"}) {
    tmp_.Write(planted, recorder);
    fs::permissions(tmp_.path() / planted, fs::perms::owner_all);
  }
  r = Sspack(tmp_, BuildArgs() + sign,
             "cd '" + (tmp_ / "cwd") + "' && PATH='.:rel::" + (tmp_ / "empty") + ":'");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("signing " + (tmp_ / "out/Setup.exe") + ": signing needs osslsigncode"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("package \"osslsigncode\""), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(tmp_.path() / "recorded.txt")) << ReadText(tmp_ / "recorded.txt");
  EXPECT_EQ(tmp_.Read("out/Setup.exe"), signedFile);
  EXPECT_EQ(FilesBelow(tmp_.path() / "out").size(), 1u);
  EXPECT_EQ(Sspack(tmp_, BuildArgs() + " --timestamp http://127.0.0.1:9/").code, 2);

  // Links planted at every name a build once wrote beside its output, and at
  // the output itself, lead to a victim. Builds write nothing through them:
  // a build's temporary files live in a folder of its own, and the finished
  // file is renamed over the output's name, replacing the link there.
  tmp_.Write("victim.txt", std::string("victim"));
  const fs::path out = tmp_.path() / "out";
  const char* const planted[] = {"Setup.exe.sspack-tmp", "Setup.exe.sspack-unsigned", "Setup.exe.sspack-signed",
                                 "Setup.exe.sspack-signed.log"};
  for (const char* name : planted) fs::create_symlink(tmp_.path() / "victim.txt", out / name);
  const struct {
    const char* what;
    std::string args;
    int code;
  } builds[] = {{"wrong password", BuildArgs() + wrongPassword, 1},
                {"unsigned", BuildArgs(), 0},
                {"signed", BuildArgs() + sign, 0}};
  for (const auto& build : builds) {
    fs::remove(out / "Setup.exe");
    fs::create_symlink(tmp_.path() / "victim.txt", out / "Setup.exe");
    r = Sspack(tmp_, build.args);
    EXPECT_EQ(r.code, build.code) << build.what << ": " << r.err;
    EXPECT_EQ(ReadText(tmp_ / "victim.txt"), "victim") << build.what;
    for (const char* name : planted) EXPECT_TRUE(fs::is_symlink(out / name)) << build.what << ": " << name;
    // A failed build leaves the output as it was: here the link.
    EXPECT_EQ(fs::is_symlink(out / "Setup.exe"), build.code != 0) << build.what;
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1 + std::size(planted))
        << build.what << ": a work folder was left";
  }
  EXPECT_GT(tmp_.Read("out/Setup.exe").size(), plain.size());
}

// The folders searched for osslsigncode: beside sspack (given on Windows),
// then PATH's absolute entries; empty and relative entries, which lead to
// the current folder, are left out.
TEST(SignTool, SearchesOnlyAbsolutePathEntries) {
  const struct {
    const char* program;
    const char* path;
    bool windows;
    std::vector<std::string> folders;
  } rows[] = {
      {"C:\\sspack", "C:\\Windows\\system32;;.;bin;\"C:\\Program Files\\signing\";C:rel;\\rooted;"
       "\\\\server\\share\\tools;D:/x;..\\up;",
       true,
       {"C:\\sspack", "C:\\Windows\\system32", "C:\\Program Files\\signing", "\\\\server\\share\\tools", "D:/x"}},
      {"Z:\\zip", "", true, {"Z:\\zip"}},
      {"", ".", true, {}},
      {"", "/usr/local/bin::.:bin:/usr/bin/:../x:", false, {"/usr/local/bin", "/usr/bin/"}},
      {"", "", false, {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SignToolFolders(row.program, row.path, row.windows), row.folders) << row.path;
  }
}

// Without --stub, sspack takes ssinstall.exe and impborl.dll from beside
// itself, else from the installed layout's share folder, following a link
// to the program to where it really lies; --version names what it takes.
TEST_F(Author, FindsItsPartsBesideItselfOrInTheShareFolder) {
  WriteManifest(manifest_);
  auto place = [&](const std::string& folder, const std::vector<uint8_t>& stub) {
    tmp_.Write(folder + "/ssinstall.exe", stub);
    tmp_.Write(folder + "/impborl.dll", MakeStandInLibrary());
  };
  auto program = [&](const std::string& folder) {
    fs::create_directories(tmp_.path() / folder);
    const fs::path copy = tmp_.path() / folder / "sspack";
    fs::copy_file(SSPACK_PATH, copy);
    fs::permissions(copy, fs::perms::owner_all);
    return copy.string();
  };
  place("prefix/share/sspack", MakeFakeStub(5000));
  const std::string installed = program("prefix/bin");
  place("zip", MakeFakeStub(5100));
  const std::string flat = program("zip");
  place("both/bin", MakeFakeStub(5200));  // beside it: taken before the share folder
  place("both/share/sspack", MakeFakeStub(5300));
  const std::string both = program("both/bin");
  fs::create_directories(tmp_.path() / "links");
  fs::create_symlink(installed, tmp_.path() / "links/sspack");
  const std::string lonely = program("lonely");

  struct Row {
    std::string program;
    std::string stubFolder;
  };
  const Row rows[] = {{installed, "prefix/share/sspack"}, {flat, "zip"}, {both, "both/bin"},
                      {(tmp_.path() / "links/sspack").string(), "prefix/share/sspack"}};
  for (const Row& row : rows) {
    CliRun r = Sspack(tmp_, "--version", "", row.program);
    EXPECT_EQ(r.code, 0) << row.program;
    EXPECT_NE(r.out.find("stub:    " + (tmp_ / (row.stubFolder + "/ssinstall.exe")) + "\n"), std::string::npos)
        << row.program << "\n" << r.out;
    EXPECT_NE(r.out.find("library: " + (tmp_ / (row.stubFolder + "/impborl.dll")) + "\n"), std::string::npos)
        << r.out;
    r = Sspack(tmp_, "build '" + (tmp_ / "saver.json") + "' -o '" + (tmp_ / "out/Found.exe") + "' -q", "",
               row.program);
    ASSERT_EQ(r.code, 0) << row.program << ": " << r.err;
    const std::vector<uint8_t> stub = tmp_.Read(row.stubFolder + "/ssinstall.exe");
    const std::vector<uint8_t> built = tmp_.Read("out/Found.exe");
    ASSERT_GT(built.size(), stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), built.begin())) << row.program;
  }
  CliRun r = Sspack(tmp_, "--version", "", lonely);
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("stub:    none found"), std::string::npos) << r.out;
  r = Sspack(tmp_, "build '" + (tmp_ / "saver.json") + "' -o '" + (tmp_ / "out/None.exe") + "' -q", "", lonely);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("give --stub PATH"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(tmp_.path() / "out/None.exe"));
}

}  // namespace
}  // namespace ss::pack

namespace ss::pack {
namespace {

namespace fs = std::filesystem;

// What the manifest's schema says of each manifest, by an independent
// validator (python3-jsonschema, tests/host/tools/validate-manifest.py):
// "ok" or "invalid: WHY". False when that validator is absent.
bool SchemaVerdicts(const TempFolder& tmp, const std::vector<std::string>& manifests,
                    std::map<std::string, std::string>* verdicts) {
  std::string args;
  for (const std::string& m : manifests) args += " '" + m + "'";
  const std::string out = tmp / "schema-verdicts.txt";
  const std::string cmd =
      "python3 '" SS_VALIDATE_MANIFEST "' '" SS_MANIFEST_SCHEMA "'" + args + " >'" + out + "' 2>&1";
  const int status = std::system(cmd.c_str());
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == 77) return false;
  EXPECT_EQ(code, 0) << ReadText(out);
  std::istringstream lines(ReadText(out));
  for (std::string line; std::getline(lines, line);) {
    for (const std::string& m : manifests) {
      if (line.rfind(m + ": ", 0) == 0) (*verdicts)[m] = line.substr(m.size() + 2);
    }
  }
  return true;
}

// The schema and the reader judge alike: every variant of a key (missing,
// of the wrong type, out of range, where it does not belong) is refused by
// both or accepted by both, and each as the row expects.
TEST_F(Author, SchemaAndReaderAgreeOnEveryKey) {
  // Content kind 0 frees the presentation from having to be the movie.
  const auto kind0 = [](json* m) {
    (*m)["data"]["contentKind"] = 0;
    (*m)["data"].erase("movieEntry");
  };
  struct Row {
    std::string what;
    std::function<void(json*)> change;
    bool accepted;
  };
  std::vector<Row> rows = {
      {"as written", [](json*) {}, true},
      {"$schema any string", [](json* m) { (*m)["$schema"] = "file:///nowhere/x.json"; }, true},
      {"$schema a number", [](json* m) { (*m)["$schema"] = 5; }, false},
      {"$schema null", [](json* m) { (*m)["$schema"] = nullptr; }, false},
      {"unknown key", [](json* m) { (*m)["licence"] = "src/license.txt"; }, false},
      {"title a number", [](json* m) { (*m)["title"] = 5; }, false},
      {"title empty", [](json* m) { (*m)["title"] = ""; }, false},
      {"title of 64", [](json* m) { (*m)["title"] = std::string(64, 'T'); }, true},
      {"title of 65", [](json* m) { (*m)["title"] = std::string(65, 'T'); }, false},
      {"title of 64 beyond ASCII",
       [](json* m) {
         std::string t;
         for (int i = 0; i < 64; ++i) t += "\xC3\xA9";
         (*m)["title"] = t;
       },
       true},
      {"title with the euro sign", [](json* m) { (*m)["title"] = "Aqua \xE2\x82\xAC"; }, true},
      {"title outside 1252", [](json* m) { (*m)["title"] = "\xE6\xB5\xB7"; }, false},
      {"title with a C1 control", [](json* m) { (*m)["title"] = "Aqua\xC2\x90"; }, false},
      {"title with a slash", [](json* m) { (*m)["title"] = "Deep/Sea"; }, false},
      {"title with a colon", [](json* m) { (*m)["title"] = "Deep:Sea"; }, false},
      {"title with a tab", [](json* m) { (*m)["title"] = "Deep\tSea"; }, false},
      {"title ending with a dot", [](json* m) { (*m)["title"] = "Deep Sea."; }, true},
      {"title of dots and spaces", [](json* m) { (*m)["title"] = ". ."; }, false},
      {"title a device", [](json* m) { (*m)["title"] = "com1"; }, false},
      {"title a device with an extension", [](json* m) { (*m)["title"] = "Nul .txt"; }, false},
      {"title a device's prefix", [](json* m) { (*m)["title"] = "Console"; }, true},
      {"presentation a string", [](json* m) { (*m)["presentation"] = "src/movie.swf"; }, false},
      {"presentation without kind", [](json* m) { (*m)["presentation"].erase("kind"); }, false},
      {"presentation kind gif", [](json* m) { (*m)["presentation"]["kind"] = "gif"; }, false},
      {"presentation kind a number", [](json* m) { (*m)["presentation"]["kind"] = 2; }, false},
      {"presentation without file", [](json* m) { (*m)["presentation"].erase("file"); }, false},
      {"presentation file a number", [](json* m) { (*m)["presentation"]["file"] = 5; }, false},
      {"presentation stored", [](json* m) { (*m)["presentation"]["compress"] = "store"; }, true},
      {"presentation compress zip", [](json* m) { (*m)["presentation"]["compress"] = "zip"; }, false},
      {"presentation unknown key", [](json* m) { (*m)["presentation"]["loop"] = true; }, false},
      {"presentation none",
       [&](json* m) {
         kind0(m);
         (*m)["presentation"] = {{"kind", "none"}};
       },
       true},
      {"presentation none with a file",
       [&](json* m) {
         kind0(m);
         (*m)["presentation"]["kind"] = "none";
       },
       false},
      {"presentation none with compress",
       [&](json* m) {
         kind0(m);
         (*m)["presentation"] = {{"kind", "none"}, {"compress", "store"}};
       },
       false},
      {"presentation bitmap",
       [&](json* m) {
         kind0(m);
         (*m)["presentation"] = {{"kind", "bitmap"}, {"file", "src/picture.bmp"}};
       },
       true},
      {"presentation bitmap with content kind 3",
       [](json* m) { (*m)["presentation"] = {{"kind", "bitmap"}, {"file", "src/picture.bmp"}}; }, false},
      {"license a number", [](json* m) { (*m)["license"] = 5; }, false},
      {"license a list", [](json* m) { (*m)["license"] = {"src/license.txt"}; }, false},
      {"license empty", [](json* m) { (*m)["license"] = ""; }, false},
      {"license as an object",
       [](json* m) { (*m)["license"] = {{"file", "src/license.txt"}, {"compress", "compress"}}; }, true},
      {"license object without file", [](json* m) { (*m)["license"] = {{"compress", "store"}}; }, false},
      {"license object unknown key",
       [](json* m) { (*m)["license"] = {{"file", "src/license.txt"}, {"name", "x"}}; }, false},
      {"license compress zip",
       [](json* m) { (*m)["license"] = {{"file", "src/license.txt"}, {"compress", "zip"}}; }, false},
      {"document left out", [](json* m) { m->erase("document"); }, true},
      {"flashSetup of another name", [](json* m) { (*m)["flashSetup"] = "src/engine.scr"; }, false},
      {"flashSetup object of another name",
       [](json* m) { (*m)["flashSetup"] = {{"file", "src/engine.scr"}}; }, false},
      {"flashSetup object",
       [](json* m) { (*m)["flashSetup"] = {{"file", "src/flashax7.exe"}, {"compress", "store"}}; }, true},
      {"flashVersionIndex 0", [](json* m) { (*m)["flashVersionIndex"] = 0; }, true},
      {"flashVersionIndex 2", [](json* m) { (*m)["flashVersionIndex"] = 2; }, false},
      {"flashVersionIndex -1", [](json* m) { (*m)["flashVersionIndex"] = -1; }, false},
      {"flashVersionIndex as text", [](json* m) { (*m)["flashVersionIndex"] = "1"; }, false},
      {"flashVersionIndex true", [](json* m) { (*m)["flashVersionIndex"] = true; }, false},
      {"displayProperties true", [](json* m) { (*m)["displayProperties"] = true; }, true},
      {"displayProperties as text", [](json* m) { (*m)["displayProperties"] = "yes"; }, false},
      {"displayProperties 1", [](json* m) { (*m)["displayProperties"] = 1; }, false},
      {"engine a number", [](json* m) { (*m)["engine"] = 5; }, false},
      {"engine as an object", [](json* m) { (*m)["engine"] = {{"file", "src/engine.scr"}}; }, true},
      {"supportFile null", [](json* m) { (*m)["supportFile"] = nullptr; }, false},
      {"supportLibraries one", [](json* m) { (*m)["supportLibraries"] = {"src/one.dll"}; }, false},
      {"supportLibraries three",
       [](json* m) { (*m)["supportLibraries"] = {"src/one.dll", "src/two.dll", "src/support.dat"}; }, false},
      {"supportLibraries a string", [](json* m) { (*m)["supportLibraries"] = "src/one.dll"; }, false},
      {"supportLibraries with a number", [](json* m) { (*m)["supportLibraries"][1] = 5; }, false},
      {"supportLibraries as objects",
       [](json* m) {
         (*m)["supportLibraries"] = {{{"file", "src/one.dll"}}, {{"file", "src/two.dll"}, {"compress", "store"}}};
       },
       true},
      {"data a string", [](json* m) { (*m)["data"] = "src/media"; }, false},
      {"data in both forms", [](json* m) { (*m)["data"]["ssd"] = "x.ssd"; }, false},
      {"data in neither form", [](json* m) { (*m)["data"] = {{"compress", "store"}}; }, false},
      {"data ready with settings",
       [](json* m) { (*m)["data"] = {{"ssd", "x.ssd"}, {"settings", "src/settings.bin"}}; }, false},
      {"data ready with copies", [](json* m) { (*m)["data"] = {{"ssd", "x.ssd"}, {"copies", json::array()}}; },
       false},
      {"data folder a number", [](json* m) { (*m)["data"]["folder"] = 5; }, false},
      {"data settings a number", [](json* m) { (*m)["data"]["settings"] = 5; }, false},
      {"data unknown key", [](json* m) { (*m)["data"]["entries"] = 3; }, false},
      {"data stored", [](json* m) { (*m)["data"]["compress"] = "store"; }, true},
      {"contentKind as text", [](json* m) { (*m)["data"]["contentKind"] = "3"; }, false},
      {"contentKind past 32 bits", [](json* m) { (*m)["data"]["contentKind"] = int64_t(1) << 31; }, false},
      {"contentKind -2^31",
       [&](json* m) {
         kind0(m);
         (*m)["data"]["contentKind"] = -(int64_t(1) << 31);
       },
       true},
      {"contentKind 0", [&](json* m) { kind0(m); }, true},
      {"contentKind 3 without movieEntry", [](json* m) { (*m)["data"].erase("movieEntry"); }, false},
      {"movieEntry a number", [](json* m) { (*m)["data"]["movieEntry"] = 5; }, false},
      {"movieEntry with content kind 0",
       [&](json* m) {
         kind0(m);
         (*m)["data"]["movieEntry"] = "movie.swf";
       },
       false},
      {"copies with content kind 0",
       [&](json* m) {
         kind0(m);
         (*m)["data"]["copies"] = json::array();
       },
       false},
      {"copies", [](json* m) { (*m)["data"]["copies"] = {"again.swf", "sub/more.swf"}; }, true},
      {"copies a string", [](json* m) { (*m)["data"]["copies"] = "again.swf"; }, false},
      {"copies with a number", [](json* m) { (*m)["data"]["copies"] = {"again.swf", 5}; }, false},
      {"entryCompress store", [](json* m) { (*m)["data"]["entryCompress"] = "store"; }, true},
      {"entryCompress zip", [](json* m) { (*m)["data"]["entryCompress"] = "zip"; }, false},
      {"entryOverrides a list", [](json* m) { (*m)["data"]["entryOverrides"] = {"a.txt"}; }, false},
      {"entryOverrides of zip", [](json* m) { (*m)["data"]["entryOverrides"] = {{"a.txt", "zip"}}; }, false},
      {"compress store", [](json* m) { (*m)["compress"] = "store"; }, true},
      {"compress zip", [](json* m) { (*m)["compress"] = "zip"; }, false},
      {"compress null", [](json* m) { (*m)["compress"] = nullptr; }, false},
  };
  for (const char* key : {"title", "presentation", "engine", "supportFile", "supportLibraries", "data"}) {
    rows.push_back({std::string("without ") + key, [key](json* m) { m->erase(key); }, false});
  }

  std::vector<std::string> files;
  std::vector<bool> reader;
  for (size_t i = 0; i < rows.size(); ++i) {
    json m = manifest_;
    rows[i].change(&m);
    reader.push_back(LoadFault(m).empty());
    files.push_back(tmp_ / ("variant-" + std::to_string(i) + ".json"));
    tmp_.Write("variant-" + std::to_string(i) + ".json", m.dump(2));
  }
  std::map<std::string, std::string> schema;
  if (!SchemaVerdicts(tmp_, files, &schema)) GTEST_SKIP() << "python3-jsonschema is not installed";
  for (size_t i = 0; i < rows.size(); ++i) {
    json m = manifest_;
    rows[i].change(&m);
    const std::string& verdict = schema[files[i]];
    EXPECT_EQ(reader[i], rows[i].accepted) << rows[i].what << ": the reader says " << LoadFault(m);
    EXPECT_EQ(verdict == "ok", rows[i].accepted) << rows[i].what << ": the schema says " << verdict;
  }
}

// "sspack init" names the schema it finds beside itself or in its share
// folder, by a file URI, and writes nothing for it when there is none; the
// manifests it writes, and the sample's, are valid against the schema, and
// those it could not complete are not (as sspack build refuses them too).
TEST_F(InitFolder, InitNamesTheSchemaAndTheSchemaTakesItsManifests) {
  const std::string schemaText = ReadText(SS_MANIFEST_SCHEMA);
  auto program = [&](const std::string& folder, const std::string& schemaFolder) {
    fs::create_directories(tmp_.path() / folder);
    const fs::path copy = tmp_.path() / folder / "sspack";
    fs::copy_file(SSPACK_PATH, copy);
    fs::permissions(copy, fs::perms::owner_all);
    if (!schemaFolder.empty()) tmp_.Write(schemaFolder + "/sspack-manifest.schema.json", schemaText);
    return copy.string();
  };
  // The URIs as written by hand: the temporary folder's path is plain.
  const std::string base = "file://" + fs::canonical(tmp_.path()).string();
  struct Row {
    std::string program;
    std::string uri;  // "": no "$schema"
  };
  const Row rows[] = {
      {SSPACK_PATH, "file://" + (fs::canonical(SSPACK_PATH).parent_path() / "sspack-manifest.schema.json").string()},
      {program("pre fix/bin", "pre fix/share/sspack"), base + "/pre%20fix/share/sspack/sspack-manifest.schema.json"},
      {program("zip", "zip"), base + "/zip/sspack-manifest.schema.json"},
      {program("lonely", ""), ""},
  };
  std::vector<std::string> valid = {SS_SAMPLE_MANIFEST};
  for (size_t i = 0; i < std::size(rows); ++i) {
    const fs::path manifest = author_ / ("init-" + std::to_string(i) + ".json");
    const CliRun r = Sspack(tmp_, Init(author_, " -q -o '" + manifest.string() + "'"), "", rows[i].program);
    ASSERT_EQ(r.code, 0) << rows[i].program << ": " << r.err;
    const std::string text = ReadText(manifest.string());
    const json m = json::parse(text, nullptr, true, true);
    EXPECT_EQ(m.contains("$schema") ? m["$schema"].get<std::string>() : "", rows[i].uri) << text;
    valid.push_back(manifest.string());
    // The manifest with its "$schema" builds as before.
    EXPECT_EQ(Sspack(tmp_, BuildFrom(manifest, "out/Init.exe")).code, 0) << rows[i].program;
  }
  // The schema the build tree's sspack names is the one in the sources.
  EXPECT_EQ(ReadText(rows[0].uri.substr(7)), schemaText);

  fs::remove_all(author_ / "media");
  const fs::path incomplete = author_ / "incomplete.json";
  EXPECT_EQ(Sspack(tmp_, Init(author_, " -q -o '" + incomplete.string() + "'")).code, 1);

  std::vector<std::string> all = valid;
  all.push_back(incomplete.string());
  std::map<std::string, std::string> schema;
  if (!SchemaVerdicts(tmp_, all, &schema)) GTEST_SKIP() << "python3-jsonschema is not installed";
  for (const std::string& file : valid) EXPECT_EQ(schema[file], "ok") << file << "\n" << ReadText(file);
  EXPECT_EQ(schema[incomplete.string()], "invalid: (top): 'data' is a required property")
      << ReadText(incomplete.string());
}

// The schema's address in a manifest: sspack's own path as a file URI.
TEST(FileUri, PosixAndWindowsPaths) {
  const struct {
    const char* path;
    bool windows;
    const char* uri;
  } rows[] = {
      {"/usr/share/sspack/s.json", false, "file:///usr/share/sspack/s.json"},
      {"/home/a b/\xC3\xA9#?%:\\/s.json", false, "file:///home/a%20b/%C3%A9%23%3F%25%3A%5C/s.json"},
      {"C:\\Program Files\\sspack\\s.json", true, "file:///C:/Program%20Files/sspack/s.json"},
      {"D:/x:y/s.json", true, "file:///D:/x%3Ay/s.json"},
      {"\\\\server\\share\\s.json", true, "file://server/share/s.json"},
  };
  for (const auto& row : rows) EXPECT_EQ(FileUri(row.path, row.windows), row.uri) << row.path;
}

}  // namespace
}  // namespace ss::pack

namespace ss::pack {
namespace {

// The command table (tools/CommandTable.h) against what is made from it and
// what is written beside it: sspack's --help, tools/README.md, the manifest
// reader, the manual page and the bash completion.

// The words of `text` that look like options ("-o", "--max-output").
std::set<std::string> OptionWords(const std::string& text) {
  std::set<std::string> words;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts = text[i] == '-' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '[' ||
                                           text[i - 1] == '`');
    if (!starts) continue;
    size_t end = i;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
    if (end - i >= 2 && text[i + 1] != ' ') words.insert(text.substr(i, end - i));
    i = end;
  }
  return words;
}

std::vector<std::string> Names(const OptionDoc& option) {
  std::vector<std::string> names;
  std::stringstream s(option.names);
  for (std::string name; std::getline(s, name, ',');) names.push_back(name);
  return names;
}

// The first cells of the README's table rows between `heading` and the next
// heading of any level.
std::vector<std::string> ReadmeRows(const std::string& readme, const std::string& heading) {
  std::vector<std::string> rows;
  const size_t start = readme.find("\n" + heading + "\n");
  if (start == std::string::npos) return rows;
  std::stringstream s(readme.substr(start + heading.size() + 2));
  for (std::string line; std::getline(s, line) && line.rfind("#", 0) != 0;) {
    if (line.rfind("| ", 0) == 0 && line.find("---") == std::string::npos) {
      rows.push_back(line.substr(2, line.find(" |", 2) - 2));
    }
  }
  return rows;
}

TEST_F(Author, CommandTableMatchesHelpReadmeAndReader) {
  const ProgramDoc& doc = SspackDoc();
  const std::string readme = ReadText(SS_TOOLS_README);
  const std::vector<std::string> commandRows = ReadmeRows(readme, "## Commands");
  ASSERT_EQ(commandRows.size(), doc.commands.size() + 1) << "the header row and one row per command";
  for (const CommandDoc& command : doc.commands) {
    const CliRun help = Sspack(tmp_, std::string(command.name) + " --help");
    EXPECT_EQ(help.code, 0) << command.name;
    EXPECT_NE(help.out.find(command.summary), std::string::npos) << command.name << help.out;
    std::set<std::string> tableNames;
    std::string row;
    for (const std::string& r : commandRows) {
      if (r.rfind(std::string("`sspack ") + command.name + " ", 0) == 0) row = r;
    }
    ASSERT_FALSE(row.empty()) << "tools/README.md has no row for " << command.name;
    const std::set<std::string> readmeNames = OptionWords(row);
    for (const OptionDoc& option : command.options) {
      bool inReadme = option.names[0] != '-';  // arguments are placeholders there
      for (const std::string& name : Names(option)) {
        EXPECT_NE(help.out.find(name), std::string::npos) << command.name << " --help lacks " << name;
        tableNames.insert(name);
        inReadme = inReadme || readmeNames.count(name) > 0;
      }
      EXPECT_TRUE(inReadme) << "tools/README.md does not name " << command.name << " " << option.names;
    }
    for (const std::string& name : readmeNames) {
      EXPECT_EQ(tableNames.count(name), 1u) << "tools/README.md names " << command.name << " " << name
                                            << ", which the command table does not have";
    }
  }

  std::set<std::string> readmeCodes, tableCodes;
  for (const std::string& r : ReadmeRows(readme, "### Exit codes")) {
    if (r != "code") readmeCodes.insert(r);
  }
  for (const ExitCodeDoc& code : doc.exitCodes) {
    tableCodes.insert(std::to_string(code.code));
    EXPECT_NE(Sspack(tmp_, "--help").out.find(std::to_string(code.code) + " " + code.brief), std::string::npos);
  }
  EXPECT_EQ(readmeCodes, tableCodes);

  // The manifest's keys: the README's and the table's are the same, and the
  // reader knows each (a key it does not know is refused as unknown).
  std::set<std::string> readmeKeys, tableKeys;
  for (const std::string& r : ReadmeRows(readme, "## The manifest")) {
    if (r.size() > 2 && r[0] == '`') readmeKeys.insert(r.substr(1, r.size() - 2));
  }
  for (const KeyDoc& key : doc.manifestKeys) {
    tableKeys.insert(key.key);
    json m = manifest_;
    m[key.key] = json::array({json::object()});
    EXPECT_EQ(LoadFault(m).find("unknown key"), std::string::npos) << key.key << ": " << LoadFault(m);
  }
  EXPECT_EQ(readmeKeys, tableKeys);
  for (const KeyDoc& key : doc.dataFolderKeys) {
    json m = manifest_;
    m["data"][key.key] = json::array({json::object()});
    EXPECT_EQ(LoadFault(m).find("unknown key"), std::string::npos) << key.key << ": " << LoadFault(m);
    EXPECT_NE(readme.find(std::string("\"") + key.key + "\": "), std::string::npos)
        << "tools/README.md does not describe the data folder's " << key.key;
  }
  json unknown = manifest_;
  unknown["data"]["folders"] = "src/media";
  EXPECT_NE(LoadFault(unknown).find("unknown key"), std::string::npos) << "the check above can fail";
}

// The manual page as man and groff read it: no warnings, every command and
// option named.
TEST(ManualPage, RendersWithoutWarningsAndNamesEveryOption) {
  const std::string page = std::string(SS_DOCS_DIR) + "/sspack.1";
  const std::string text = ReadText(page);
  ASSERT_FALSE(text.empty()) << page;
  const std::pair<std::string, std::string> readers[] = {
      {"groff", "groff -ww -man -z '" + page + "'"},
      {"man", "MANWIDTH=80 man -l --warnings '" + page + "' >/dev/null"},
  };
  for (const auto& [tool, command] : readers) {
    if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) continue;  // not installed
    const std::string err = ::testing::TempDir() + "/sspack-man-warnings.txt";
    const int status = std::system((command + " 2>'" + err + "'").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << command;
    EXPECT_EQ(ReadText(err), "") << command;
  }
  for (const CommandDoc& command : SspackDoc().commands) {
    EXPECT_NE(text.find(std::string(".SS \"sspack ") + command.name + "\""), std::string::npos) << command.name;
    for (const OptionDoc& option : command.options) {
      if (option.names[0] != '-') continue;
      const std::string longest = Names(option).back();
      std::string roff;
      for (char c : longest) roff += c == '-' ? "\\-" : std::string(1, c);
      EXPECT_NE(text.find("\\fB" + roff + "\\fR"), std::string::npos) << command.name << " " << option.names;
    }
  }
}

// The bash completion, sourced into a plain bash and asked for a word.
TEST(BashCompletion, CompletesCommandsOptionsFilesAndFolders) {
  TempFolder tmp;
  tmp.Write("Setup.exe", std::vector<uint8_t>{1});
  std::filesystem::create_directories(tmp.path() / "Sub");
  struct Row {
    std::vector<std::string> words;  // the last one is being completed
    std::string expected;            // COMPREPLY, sorted, space-separated
  };
  const Row rows[] = {
      {{"sspack", ""}, "build extract init list verify"},
      {{"sspack", "b"}, "build"},
      {{"sspack", "-"}, "--help --version -h"},
      {{"sspack", "build", "--si"}, "--sign --sign-password-file"},
      {{"sspack", "verify", "--q"}, "--quiet"},
      {{"sspack", "build", "-o", "S"}, "Setup.exe Sub"},
      {{"sspack", "build", "--timestamp", "S"}, ""},
      {{"sspack", "build", "-j", ""}, ""},
      {{"sspack", "init", "S"}, "Sub"},
      {{"sspack", "extract", "S"}, "Setup.exe Sub"},
      {{"sspack", "extract", "Setup.exe", "S"}, "Sub"},
      {{"sspack", "extract", "-q", "Setup.exe", "S"}, "Sub"},
      {{"sspack", "list", "--max-output", "1G", "S"}, "Setup.exe Sub"},
      {{"sspack", "list", "Setup.exe", "S"}, ""},
  };
  for (const Row& row : rows) {
    std::string words, shown;
    for (const std::string& w : row.words) words += " '" + w + "'";
    for (const std::string& w : row.words) shown += (shown.empty() ? "" : " ") + w;
    const std::string script = "source '" + std::string(SS_DOCS_DIR) + "/sspack.bash' && cd '" + tmp.path().string() +
                               "' && COMP_WORDS=(" + words + ") && COMP_CWORD=" +
                               std::to_string(row.words.size() - 1) +
                               " && _sspack && printf '%s\\n' \"${COMPREPLY[@]}\" | sort | paste -sd ' '";
    const std::string out = tmp / "completion.txt";
    tmp.Write("script.sh", std::vector<uint8_t>(script.begin(), script.end()));
    const int status = std::system(("bash --norc --noprofile '" + (tmp / "script.sh") + "' >'" + out + "' 2>&1").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << shown;
    std::string reply = ReadText(out);
    while (!reply.empty() && reply.back() == '\n') reply.pop_back();
    EXPECT_EQ(reply, row.expected) << "completing: " << shown;
  }
}

}  // namespace
}  // namespace ss::pack
