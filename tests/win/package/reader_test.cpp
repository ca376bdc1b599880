// The package reader and the staging steps on real files under Wine, with
// installers made by the package builder and the real impborl.dll.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "package/PackageReader.h"
#include "package/Staging.h"
#include "tests/support/BoxWatcher.h"
#include "tests/support/PackFixtures.h"
#include "tests/support/WinFiles.h"
#include "tools/build/PackageBuilder.h"
#include "winsys/LMT_FileUtils.h"

namespace ss {
namespace {

using pack::Compression;
using sstest::ReadAll;
using sstest::WriteAll;

constexpr size_t kStubSize = 4096;

// Counts what the steps show on the window.
class CountingProgress : public InstallProgress {
 public:
  void setStatus(const std::string& text) override { statuses.push_back(text); }
  void stepProgress() override {
    ++steps;
    if (onStep) onStep(steps);
  }
  std::vector<std::string> statuses;
  int steps = 0;
  std::function<void(int)> onStep;
};

// A private set of directories standing in for the Windows, system, work and
// installer directories; removed again at the end of the test.
class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DirectorySet d{root_ / "win\\", root_ / "sys\\", root_ / "inst\\", root_ / "work\\"};
    for (const std::string& dir : {d.windowsDir, d.systemDir, d.installerDir, d.workDir}) {
      CreateDirectoryA(dir.c_str(), nullptr);
    }
    SetDirs(d);
    SetInstallProgress(&progress_);
  }
  void TearDown() override {
    CloseSaverDataFile();
    SetInstallProgress(nullptr);
  }

  static std::vector<uint8_t> Library() {
    static const std::vector<uint8_t> bytes = ReadAll(sstest::WinePath(SS_IMPBORL_PATH));
    return bytes;
  }

  // Fixture options with the real library.
  static pack::FixtureOptions Options(Compression c = Compression::kAuto) {
    pack::FixtureOptions o;
    o.library = Library();
    o.compression = c;
    o.entryCompression = c;
    o.displayMode = dmSilent;
    return o;
  }

  // Writes the installer built from `input` (after `mutate` has changed its
  // package header) and runs the start-up's copy and header read.
  Result Start(const pack::PackageInput& input,
               const std::function<void(TPackageHeader&)>& mutate = nullptr) {
    std::vector<uint8_t> bytes;
    const pack::ToolResult built = pack::BuildInstaller(pack::MakeFakeStub(kStubSize), input, &bytes);
    EXPECT_TRUE(built.ok()) << built.message();
    if (!built.ok()) return kErrGeneric;
    if (mutate) {
      TPackageHeader h = TPackageHeader::Parse(bytes.data() + kStubSize);
      mutate(h);
      h.Write(bytes.data() + kStubSize);
    }
    if (truncateTo_ != 0) bytes.resize(truncateTo_);
    installer_ = root_ / "Setup.exe";
    EXPECT_TRUE(WriteAll(installer_, bytes)) << installer_;
    if (Result rc = CopyPackageToWorkDirectory(installer_); rc != kOk) return rc;
    const Result rc = ReadPackageHeader(static_cast<int32_t>(kStubSize));
    if (rc == kOk) CreateDirectoryA(InstallDirectory().c_str(), nullptr);
    return rc;
  }

  Result Extract(int index, bool showProgress = false) {
    FileHandle stream;
    if (Result rc = OpenPackageStream(stream); rc != kOk) return rc;
    return ExtractSegment(stream.get(), index, showProgress);
  }

  const std::string& work() const { return Dirs().workDir; }
  const std::string& sys() const { return Dirs().systemDir; }

  sstest::ScratchDir root_{"rdr"};  // removed after TearDown
  std::string installer_;
  size_t truncateTo_ = 0;
  CountingProgress progress_;
};

TEST_F(ReaderTest, ShortPackageCopyGivesMinus31AndWritesNothing) {
  sstest::BoxWatcher boxes;
  truncateTo_ = kStubSize + 100;
  EXPECT_EQ(Start(pack::MakeFixtureInput(Options())), kErrShortHeader);
  const auto shown = boxes.boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Error");
  EXPECT_EQ(shown[0].text, "Installation Error: " + PackageCopyPath() + "\r\n\r\nProblem with file " +
                               PackageCopyPath() + ". ");
  EXPECT_TRUE(FileExists(PackageCopyPath()));
  EXPECT_FALSE(FileExists(work() + "impborl.dll"));
}

class EverySegment : public ReaderTest, public ::testing::WithParamInterface<Compression> {};

TEST_P(EverySegment, LandsAtItsTargetByteForByte) {
  pack::FixtureOptions o = Options(GetParam());
  o.flashSetup = true;
  o.displayMode = dmFlash;
  const pack::PackageInput input = pack::MakeFixtureInput(o);
  sstest::BoxWatcher boxes;
  ASSERT_EQ(Start(input), kOk);
  const std::string inst = InstallDirectory();
  const std::string title = input.title;
  const std::pair<int, std::string> targets[] = {
      {1, work() + "impborl.dll"},       {2, work() + "flashax7.exe"},     {3, work() + "installer.swf"},
      {4, work() + "license.txt"},       {5, work() + "readme.htm"},       {6, sys() + title + ".scr"},
      {7, inst + "support.dat"},         {8, work() + title + ".ssd"},     {9, inst + "helper1.dll"},
      {10, inst + "helper2.dll"},
  };
  for (const auto& [index, path] : targets) {
    if (index != 1) {
      ASSERT_EQ(Extract(index), kOk) << index;
    }
    EXPECT_EQ(ReadAll(path), input.segments[index]->data) << "segment " << index << " at " << path;
  }
  if (GetParam() == Compression::kCompress) {
    EXPECT_NE(PackageHeader().segments[6].compressed, 0);
  }

  // Type 3 keeps the two setup names in the work directory and turns any
  // other name into a library in the system directory.
  const std::pair<const char*, std::string> renames[] = {
      {"install_flash_player_active_x.msi", work() + "install_flash_player_active_x.msi"},
      {"player.ocx", sys() + "player.dll"},
      {"FLASHAX7.EXE", sys() + "FLASHAX7.dll"},
  };
  for (const auto& [name, path] : renames) {
    PackageHeader().segments[2].name = name;
    EXPECT_EQ(Extract(2), kOk) << name;
    EXPECT_EQ(ReadAll(path), input.segments[2]->data) << name;
  }
  EXPECT_EQ(boxes.count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(StoredAndCompressed, EverySegment,
                         ::testing::Values(Compression::kStore, Compression::kCompress));

TEST_F(ReaderTest, BusyOldTargetsKeepTheirFileOrReportMinus38Silently) {
  const pack::PackageInput input = pack::MakeFixtureInput(Options());
  ASSERT_EQ(Start(input), kOk);
  sstest::BoxWatcher boxes;

  // The old library in use: one forced deletion fails, the segment counts
  // as written.
  HANDLE lib = CreateFileA((work() + "impborl.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lib, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Extract(1), kOk);
  CloseHandle(lib);

  // Another busy target: 1000 attempts, then the old file stays.
  const std::string license = work() + "license.txt";
  EXPECT_TRUE(WriteAll(license, {'o', 'l', 'd'}));
  HANDLE held = CreateFileA(license.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Extract(4), kOk);
  CloseHandle(held);
  EXPECT_EQ(ReadAll(license), (std::vector<uint8_t>{'o', 'l', 'd'}));

  // A busy engine cannot be replaced: -38, and no message from here.
  const std::string engine = sys() + input.title + ".scr";
  EXPECT_TRUE(WriteAll(engine, {'x'}));
  HANDLE busy = CreateFileA(engine.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Extract(6, true), kErrEngineBusy);
  CloseHandle(busy);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(ReaderTest, WrongExpandedSizeIsMinus13AndTheFileIsGone) {
  const pack::PackageInput input = pack::MakeFixtureInput(Options(Compression::kCompress));
  ASSERT_EQ(Start(input, [](TPackageHeader& h) {
              h.segments[9].originalSize += 1;
              h.segments[6].originalSize -= 1;
            }),
            kOk);
  ASSERT_NE(PackageHeader().segments[9].compressed, 0);
  sstest::BoxWatcher boxes;
  const std::string library = InstallDirectory() + "helper1.dll";
  EXPECT_EQ(Extract(9), kErrWrongSize);
  EXPECT_FALSE(FileExists(library));
  EXPECT_EQ(Extract(6), kErrWrongSize);
  EXPECT_FALSE(FileExists(sys() + input.title + ".scr"));
  const auto shown = boxes.boxes();
  ASSERT_EQ(shown.size(), 1u);  // the library's failure only; the engine's is silent
  EXPECT_EQ(shown[0].text, "Installation Error: " + library + "\r\n\r\nProblem with file " + library + ". ");
}

// A stored segment is copied whole, as its offsets give it: its
// originalSize is not read, whatever it says (sspack verify notes it only).
TEST_F(ReaderTest, StoredSegmentIsCopiedWholeWhateverItsOriginalSize) {
  const pack::PackageInput input = pack::MakeFixtureInput(Options(Compression::kStore));
  ASSERT_EQ(Start(input, [](TPackageHeader& h) {
              h.segments[9].originalSize += 1;
              h.segments[6].originalSize = 0;
              h.segments[7].originalSize = -1;
            }),
            kOk);
  ASSERT_EQ(PackageHeader().segments[9].compressed, 0);
  sstest::BoxWatcher boxes;
  EXPECT_EQ(Extract(9), kOk);
  EXPECT_EQ(ReadAll(InstallDirectory() + "helper1.dll"), input.segments[9]->data);
  EXPECT_EQ(Extract(6), kOk);
  EXPECT_EQ(ReadAll(sys() + input.title + ".scr"), input.segments[6]->data);
  EXPECT_EQ(Extract(7), kOk);
  EXPECT_EQ(ReadAll(InstallDirectory() + "support.dat"), input.segments[7]->data);
  EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(ReaderTest, SegmentWithoutNameIsMinus531WithAMessageNamingNoFile) {
  pack::FixtureOptions o = Options();
  o.document = false;
  ASSERT_EQ(Start(pack::MakeFixtureInput(o)), kOk);
  sstest::BoxWatcher boxes;
  EXPECT_EQ(Extract(5), kErrSegmentNoName);
  const auto shown = boxes.boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Installation Error: \r\n\r\nProblem with file . ");
  // The start-up step asks first and shows nothing.
  EXPECT_EQ(StageCompanionFile(), kErrSegmentNoName);
  EXPECT_EQ(boxes.count(), 1u);
}

// A data file of our own making, so that the test knows every entry's bytes.
struct DataFixture {
  pack::DataFileInput data;
  std::vector<uint8_t> ssd;
};

DataFixture MakeData(int32_t contentKind, std::vector<pack::DataEntryInput> entries) {
  DataFixture f;
  for (size_t i = 0; i < f.data.settings.size(); ++i) f.data.settings[i] = static_cast<uint8_t>(i * 7);
  f.data.contentKind = contentKind;
  f.data.entries = std::move(entries);
  const pack::ToolResult built = pack::BuildSaverDataFile(f.data, &f.ssd);
  EXPECT_TRUE(built.ok()) << built.message();
  return f;
}

using pack::CopyEntry;
using pack::Entry;

class DataFileTest : public ReaderTest {
 protected:
  // Starts an installer whose data file is `ssd`, writes segment 8 to the
  // work directory (and segment 3, the movie, for copied entries).
  void StartWith(const std::vector<uint8_t>& ssd, bool movie = false) {
    pack::FixtureOptions o = Options();
    if (movie) o.displayMode = dmFlash;
    input_ = pack::MakeFixtureInput(o);
    input_.segments[kSegDataFile]->data = ssd;
    ASSERT_EQ(Start(input_), kOk);
    if (movie) {
      ASSERT_EQ(StagePresentation(), kOk);
    }
    ASSERT_EQ(Extract(8), kOk);
  }

  // Rewrites entry `number` of the data file in the work directory.
  void EditEntry(int number, const std::function<void(TSaverFileEntry&)>& edit) {
    std::vector<uint8_t> bytes = ReadAll(SaverDataFilePath());
    uint8_t* at = bytes.data() + kSaverDataHeaderSize + kSaverFileEntrySize * static_cast<size_t>(number - 1);
    TSaverFileEntry e = TSaverFileEntry::Parse(at);
    edit(e);
    e.Write(at);
    EXPECT_TRUE(WriteAll(SaverDataFilePath(), bytes));
  }

  pack::PackageInput input_;
};

TEST_F(DataFileTest, EntriesLandInSubFoldersAndSaverDatHoldsTheHeader) {
  const auto text = pack::MakeTextBytes(30000, 1);
  const auto noise = pack::MakeNoiseBytes(5000, 2);
  DataFixture f = MakeData(0, {Entry("readme.txt", text, Compression::kCompress), Entry("media\\noise.bin", noise),
                               Entry("media\\deep\\a.txt", text, Compression::kStore)});
  ASSERT_NO_FATAL_FAILURE(StartWith(f.ssd));
  sstest::BoxWatcher boxes;
  ASSERT_EQ(ReadSaverDataHeader(), kOk);
  ASSERT_EQ(ExpandSaverDataFile(), kOk);
  ASSERT_EQ(WriteSaverSettings(), kOk);
  const std::string inst = InstallDirectory();
  EXPECT_EQ(ReadAll(inst + "readme.txt"), text);
  EXPECT_EQ(ReadAll(inst + "media\\noise.bin"), noise);
  EXPECT_EQ(ReadAll(inst + "media\\deep\\a.txt"), text);
  EXPECT_EQ(ReadAll(inst + "saver.dat"), std::vector<uint8_t>(f.ssd.begin(), f.ssd.begin() + kSaverDataHeaderSize));
  EXPECT_FALSE(SaverDataOpen());
  EXPECT_EQ(boxes.count(), 0u);
  EXPECT_EQ(progress_.statuses.back(), "Writing saver data file...");
}

TEST_F(DataFileTest, NoEntriesStillWritesSaverDat) {
  DataFixture f = MakeData(0, {});
  ASSERT_NO_FATAL_FAILURE(StartWith(f.ssd));
  ASSERT_EQ(ReadSaverDataHeader(), kOk);
  ASSERT_EQ(ExpandSaverDataFile(), kOk);
  ASSERT_EQ(WriteSaverSettings(), kOk);
  EXPECT_EQ(ReadAll(InstallDirectory() + "saver.dat").size(), kSaverDataHeaderSize);
}

TEST_F(DataFileTest, CopiedEntriesComeFromTheMovieAndFromEntryOne) {
  DataFixture f = MakeData(3, {CopyEntry("movie.swf"), Entry("a.txt", pack::MakeTextBytes(100, 3)),
                               CopyEntry("again.swf"), CopyEntry("self.swf")});
  ASSERT_NO_FATAL_FAILURE(StartWith(f.ssd, true));
  // An entry that copies entry 1's file onto itself (the builder refuses
  // such a name, a damaged data file may still carry it).
  EditEntry(4, [](TSaverFileEntry& e) { e.fileName = "movie.swf"; });
  sstest::BoxWatcher boxes;
  ASSERT_EQ(ExpandSaverDataFile(), kOk);
  const auto movie = ReadAll(work() + "installer.swf");
  ASSERT_FALSE(movie.empty());
  EXPECT_EQ(ReadAll(InstallDirectory() + "movie.swf"), movie);
  EXPECT_EQ(ReadAll(InstallDirectory() + "again.swf"), movie);
  EXPECT_EQ(boxes.count(), 0u);  // a copy of a file onto itself is ignored
}

// The boxes of the error paths, each reached through the step that shows
// it: the step's code, one box, and its text.
TEST_F(DataFileTest, ErrorPathsShowTheirBoxes) {
  auto fileProblem = [](const std::string& path) {
    return "Installation Error: " + path + "\r\n\r\nProblem with file " + path + ". ";
  };
  DataFixture movie = MakeData(TSaverDataHeader::kContentKindMovie, {CopyEntry("movie.swf")});
  DataFixture plain = MakeData(0, {Entry("a.txt", pack::MakeTextBytes(100, 3))});
  struct Row {
    const char* what;
    std::function<Result()> run;  // prepares the failure and runs the step
    Result code;
    std::function<std::string()> text;
  };
  const Row rows[] = {
      {"-523: the executable cannot be copied to the package copy",
       [&] { return CopyPackageToWorkDirectory(root_ / "missing.exe"); }, ERROR_FILE_NOT_FOUND,
       [&] {
         return "Installation Error: " + PackageCopyPath() +
                "\r\n\r\nPlease retry installation. If this message appears again, the installation cannot be "
                "completed because your user account has limited installation privileges. To complete this "
                "installation, login with administrative privileges and rerun this installer.";
       }},
      {"-35: a compressed library without the decompression library",
       [&] {
         EXPECT_EQ(Start(pack::MakeFixtureInput(Options(Compression::kCompress))), kOk);
         EXPECT_TRUE(DeleteFileA((work() + "impborl.dll").c_str()));
         return Extract(9);
       },
       kErrNoDecompressor, [&] { return fileProblem(InstallDirectory() + "helper1.dll"); }},
      {"-532: entry 1 copies a movie that is gone",
       [&] {
         StartWith(movie.ssd, true);
         EXPECT_TRUE(DeleteFileA((work() + "installer.swf").c_str()));
         EXPECT_EQ(ReadSaverDataHeader(), kOk);
         return ExpandSaverDataFile();
       },
       kErrCopyEntry, [&] { return fileProblem(work() + "installer.swf"); }},
      {"ReadSaverDataHeader: the data file is gone",
       [&] {
         StartWith(plain.ssd);
         EXPECT_TRUE(DeleteFileA(SaverDataFilePath().c_str()));
         return ReadSaverDataHeader();
       },
       ERROR_FILE_NOT_FOUND, [&] { return fileProblem(SaverDataFilePath()); }},
      {"OpenSaverDataFile: the table runs past the end",
       [&] {
         StartWith(std::vector<uint8_t>(plain.ssd.begin(), plain.ssd.begin() + kSaverDataHeaderSize));
         EXPECT_EQ(ReadSaverDataHeader(), kOk);
         return ExpandSaverDataFile();
       },
       kIoReadPastEnd,
       [&] {
         return "Problem opening screen saver data file.\r\n\r\nFile: " + SaverDataFilePath() + "\r\n\r\n100";
       }},
      {"WriteSaverSettings: the install directory is gone",
       [&] {
         StartWith(plain.ssd);
         EXPECT_EQ(ReadSaverDataHeader(), kOk);
         EXPECT_EQ(RemoveDirectoryTree(InstallDirectory()), kOk);
         return WriteSaverSettings();
       },
       ERROR_PATH_NOT_FOUND, [&] { return fileProblem(InstallDirectory() + "saver.dat"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CloseSaverDataFile();
    sstest::BoxWatcher boxes;
    EXPECT_EQ(row.run(), row.code);
    const auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].text, row.text());
  }
}

TEST_F(DataFileTest, EntryPastTheEndIsError100AndLeavesNoFile) {
  DataFixture f = MakeData(0, {Entry("a.txt", pack::MakeTextBytes(500, 4), Compression::kStore),
                               Entry("b.txt", pack::MakeTextBytes(500, 5), Compression::kStore)});
  ASSERT_NO_FATAL_FAILURE(StartWith(f.ssd));
  EditEntry(2, [&](TSaverFileEntry& e) { e.recordOffset = static_cast<int32_t>(f.ssd.size()) - 100; });
  sstest::BoxWatcher boxes;
  ASSERT_EQ(OpenSaverDataFile(SaverDataFilePath()), kOk);
  EXPECT_EQ(ExtractSaverEntry(InstallDirectory(), 2), kIoReadPastEnd);
  EXPECT_FALSE(FileExists(InstallDirectory() + "b.txt"));
  auto shown = boxes.boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text.rfind("Lumetra Error: Problem reading screen saver data file. ", 0), 0u);

  // Numbers beyond the table and a closed file are refused without a box.
  EXPECT_EQ(ExtractSaverEntry(InstallDirectory(), 3), kErrFileNumber);
  // A second open is refused with the information box and reports success.
  EXPECT_EQ(OpenSaverDataFile(SaverDataFilePath()), kOk);
  shown = boxes.boxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].caption, "Information");
  EXPECT_EQ(shown[1].text, "Lumetra Error: Screen saver data file already in use.");
  ASSERT_EQ(shown[1].buttons.size(), 1u);
  EXPECT_EQ(shown[1].buttons[0], "&Abort");
  EXPECT_EQ(CloseSaverDataFile(), kOk);
  EXPECT_EQ(ExtractSaverEntry(InstallDirectory(), 1), kErrDataFileNotOpen);
  EXPECT_EQ(boxes.count(), 2u);
}

TEST_F(DataFileTest, HostileEntryNamesAreRefusedAndWriteNothingOutside) {
  for (const char* hostile : {"..\\..\\evil.dll", "C:\\evil-entry.txt", "pics\\..\\..\\..\\evil2.txt"}) {
    DataFixture f = MakeData(0, {Entry("fine.txt", pack::MakeTextBytes(300, 6)), Entry("x.txt", {'x'})});
    ASSERT_NO_FATAL_FAILURE(StartWith(f.ssd));
    EditEntry(2, [&](TSaverFileEntry& e) { e.fileName = hostile; });
    sstest::BoxWatcher boxes;
    EXPECT_EQ(ExpandSaverDataFile(), kErrBadEntryName) << hostile;
    EXPECT_EQ(boxes.count(), 1u) << hostile;
    CloseSaverDataFile();
  }
  EXPECT_FALSE(FileExists(root_ / "evil.dll"));
  EXPECT_FALSE(FileExists(root_ / "evil2.txt"));
  EXPECT_FALSE(FileExists("C:\\evil-entry.txt"));
}

TEST_F(DataFileTest, EntryCountsBeyondTheTableAreRefused) {
  DataFixture f = MakeData(0, {Entry("a.txt", {'a'})});
  for (int32_t count : {-1, 1011, 0x7FFFFFFF}) {
    std::vector<uint8_t> ssd = f.ssd;
    TSaverDataHeader h = TSaverDataHeader::Parse(ssd.data());
    h.setEntryCount(count);
    h.Write(ssd.data());
    ASSERT_NO_FATAL_FAILURE(StartWith(ssd));
    sstest::BoxWatcher boxes;
    EXPECT_EQ(OpenSaverDataFile(SaverDataFilePath()), kErrBadEntryCount) << count;
    EXPECT_FALSE(SaverDataOpen());
    EXPECT_EQ(boxes.count(), 1u);
  }
}

TEST_F(ReaderTest, HostilePackageFieldsAreRefused) {
  const pack::PackageInput input = pack::MakeFixtureInput(Options(Compression::kCompress));
  {
    // A title that is not a plain file name: damaged before anything is written.
    EXPECT_EQ(Start(input, [](TPackageHeader& h) { h.title = "..\\Evil"; }), kErrBadTitle);
    EXPECT_FALSE(FileExists(work() + "impborl.dll"));
  }
  sstest::BoxWatcher boxes;
  ASSERT_EQ(Start(input, [](TPackageHeader& h) {
              h.segments[7].endOffset = h.segments[7].startOffset - 5;  // inverted
              h.segments[10].startOffset = -4;
              h.segments[4].endOffset = 0x7FFFFFFF;  // past the end
              h.segments[5].name = "..\\..\\evil.htm";
              h.segments[9].originalSize = 10;  // expands far beyond what it declares
            }),
            kOk);
  EXPECT_EQ(Extract(7), kErrShortSegment);
  EXPECT_EQ(Extract(10), kErrShortSegment);
  EXPECT_EQ(Extract(4), kErrShortSegment);
  EXPECT_EQ(Extract(5), kErrBadEntryName);
  EXPECT_EQ(Extract(9), kErrWrongSize);
  EXPECT_FALSE(FileExists(InstallDirectory() + "support.dat"));
  EXPECT_FALSE(FileExists(InstallDirectory() + "helper1.dll"));
  EXPECT_FALSE(FileExists(InstallDirectory() + "helper2.dll"));
  EXPECT_FALSE(FileExists(root_ / "evil.htm"));
  EXPECT_FALSE(FileExists(work() + "license.txt"));
}

TEST_F(ReaderTest, StagingWritesOneProgressStepPerSegmentAndStopsOnCancel) {
  for (bool document : {true, false}) {
    pack::FixtureOptions o = Options();
    o.document = document;
    ASSERT_EQ(Start(pack::MakeFixtureInput(o)), kOk);
    progress_ = CountingProgress();
    EXPECT_EQ(StageScreenSaverFiles(nullptr), kOk);
    EXPECT_EQ(progress_.steps, document ? 6 : 5) << document;
    EXPECT_EQ(progress_.statuses.size(), static_cast<size_t>(progress_.steps));
    EXPECT_EQ(progress_.statuses.front(), "Writing screen saver files...");
    EXPECT_TRUE(FileExists(InstallDirectory() + "helper2.dll"));
    RemoveDirectoryTree(InstallDirectory());
    DeleteFileForced(sys() + o.title + ".scr");
    CreateDirectoryA(InstallDirectory().c_str(), nullptr);
  }

  // A cancel seen after the engine (segment 6) stops before segment 7.
  pack::FixtureOptions o = Options();
  o.document = false;
  ASSERT_EQ(Start(pack::MakeFixtureInput(o)), kOk);
  progress_ = CountingProgress();
  bool cancel = false;
  progress_.onStep = [&](int steps) { cancel = steps >= 1; };
  EXPECT_EQ(StageScreenSaverFiles([&] { return cancel; }), kOk);
  EXPECT_EQ(progress_.steps, 1);
  EXPECT_TRUE(FileExists(sys() + o.title + ".scr"));
  EXPECT_FALSE(FileExists(InstallDirectory() + "support.dat"));
}

// Inside a decompressor session the compressed items share one impborl.dll
// from the work directory, loaded at the first of them; outside one each
// loads and releases its own. The last session to end releases it, so the
// work directory can go; the staging steps hold one for their own length.
TEST_F(ReaderTest, CompressedItemsShareOneLibraryWhileASessionLasts) {
  ASSERT_EQ(Start(pack::MakeFixtureInput(Options(Compression::kCompress))), kOk);
  for (int index : {6, 7, 9}) ASSERT_NE(PackageHeader().segments[index].compressed, 0) << index;
  const std::string library = work() + "impborl.dll";
  auto loaded = [&] { return GetModuleHandleA(library.c_str()); };
  EXPECT_EQ(Extract(6), kOk);
  EXPECT_EQ(loaded(), nullptr);
  {
    DecompressorSession outer;
    EXPECT_EQ(loaded(), nullptr);
    EXPECT_EQ(Extract(6), kOk);
    const HMODULE first = loaded();
    EXPECT_NE(first, nullptr);
    {
      DecompressorSession inner;
      EXPECT_EQ(Extract(7), kOk);
      EXPECT_EQ(loaded(), first);
    }
    EXPECT_EQ(loaded(), first);
    EXPECT_EQ(Extract(9), kOk);
    EXPECT_EQ(loaded(), first);
  }
  EXPECT_EQ(loaded(), nullptr);
  EXPECT_EQ(StageScreenSaverFiles(nullptr), kOk);
  EXPECT_EQ(loaded(), nullptr);
  EXPECT_TRUE(DeleteFileA(library.c_str()));
  // Without the library a session reports each item as before.
  DecompressorSession session;
  EXPECT_EQ(Extract(6), kErrNoDecompressor);
  // Without a work directory the library is not looked for by its bare
  // name, even where the library search would find one.
  FileHandle stream;
  ASSERT_EQ(OpenPackageStream(stream), kOk);
  DirectorySet d = Dirs();
  d.workDir.clear();
  SetDirs(d);
  const std::string built = sstest::WinePath(SS_IMPBORL_PATH);
  ASSERT_TRUE(SetDllDirectoryA(built.substr(0, built.find_last_of('\\')).c_str()));
  EXPECT_EQ(ExtractSegment(stream.get(), 6, false), kErrNoDecompressor);
  SetDllDirectoryA(nullptr);
  EXPECT_EQ(GetModuleHandleA("impborl.dll"), nullptr);
}

TEST_F(ReaderTest, PicturePresentationIsRenamedInTheHeader) {
  for (auto [mode, name] : {std::pair<uint8_t, const char*>{dmBitmap, "installer.BMP"}, {dmJpeg, "installer.jpg"}}) {
    pack::FixtureOptions o = Options();
    o.displayMode = mode;
    pack::PackageInput input = pack::MakeFixtureInput(o);
    input.segments[kSegPresentation]->name = "installer.swf";
    ASSERT_EQ(Start(input), kOk);
    EXPECT_EQ(StagePresentation(), kOk);
    EXPECT_EQ(PackageHeader().segments[kSegPresentation].name, name);
    EXPECT_EQ(ReadAll(work() + name), input.segments[kSegPresentation]->data);
  }
}

}  // namespace
}  // namespace ss
