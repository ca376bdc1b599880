#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "package/ByteOrder.h"
#include "tests/host/tools/TempFolder.h"
#include "tests/support/PackFixtures.h"
#include "tools/PackageBuilder.h"
#include "tools/PackageCheck.h"
#include "tools/PeImage.h"

namespace ss::pack {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

constexpr size_t kStubSize = 4096;

std::vector<uint8_t> Fixture(FixtureOptions o = FixtureOptions()) {
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(BuildFixtureInstaller(MakeFakeStub(kStubSize), o, &out, &error)) << error;
  return out;
}

TPackageHeader HeaderOf(const std::vector<uint8_t>& file) {
  return TPackageHeader::Parse(file.data() + kStubSize);
}

// `file` with its package header changed by `change`.
template <typename Change>
std::vector<uint8_t> WithHeader(std::vector<uint8_t> file, Change change) {
  TPackageHeader h = HeaderOf(file);
  change(h);
  h.Write(file.data() + kStubSize);
  return file;
}

// The texts of what verify finds: its faults, or (`faults` false) its notes.
std::vector<std::string> Faults(const std::vector<uint8_t>& file, bool faults = true) {
  std::vector<std::string> out;
  for (const Finding& f : VerifyInstaller(file)) {
    if (f.fault == faults) out.push_back(f.text);
  }
  return out;
}

std::vector<std::string> Notes(const std::vector<uint8_t>& file) { return Faults(file, false); }

bool AnyFaultMentions(const std::vector<std::string>& faults, const std::string& word) {
  return std::any_of(faults.begin(), faults.end(),
                     [&](const std::string& f) { return f.find(word) != std::string::npos; });
}

TEST(Verify, TruncatedPackages) {
  const std::vector<uint8_t> file = Fixture();
  ASSERT_TRUE(Faults(file).empty());
  const TPackageHeader h = HeaderOf(file);
  // Cut inside the header, inside segment 1, in the middle of the data file,
  // and one byte short of the end.
  const size_t cuts[] = {kStubSize + 100, static_cast<size_t>(h.segments[kSegLibrary].startOffset) + 10,
                         static_cast<size_t>(h.segments[kSegDataFile].startOffset) + 50,
                         file.size() - 1};
  for (size_t cut : cuts) {
    const std::vector<uint8_t> shorter(file.begin(), file.begin() + cut);
    EXPECT_FALSE(Faults(shorter).empty()) << "cut at " << cut;
  }
}

TEST(Verify, OffsetsOutsideTheFile) {
  const std::vector<uint8_t> file = Fixture();
  const std::vector<void (*)(TSegmentEntry*, size_t)> changes = {
      [](TSegmentEntry* s, size_t size) { s->endOffset = static_cast<int32_t>(size) + 10; },
      [](TSegmentEntry* s, size_t size) { s->startOffset = static_cast<int32_t>(size) + 1; },
      [](TSegmentEntry* s, size_t) { s->startOffset = -5; },
      [](TSegmentEntry* s, size_t) { s->endOffset = s->startOffset - 10; },
      [](TSegmentEntry* s, size_t) { s->startOffset = 10; },  // inside the program
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    const auto bad =
        WithHeader(file, [&](TPackageHeader& h) { changes[i](&h.segments[kSegSupportFile], file.size()); });
    EXPECT_TRUE(AnyFaultMentions(Faults(bad), "segment 7")) << "change " << i;
  }
}

TEST(Verify, CompressedSegmentsMustExpandToTheirSize) {
  FixtureOptions o;
  o.compression = Compression::kCompress;
  const std::vector<uint8_t> file = Fixture(o);
  ASSERT_TRUE(Faults(file).empty());
  ASSERT_EQ(HeaderOf(file).segments[kSegLicense].compressed, 1);
  for (int delta : {-1, 1, 1000}) {
    const auto bad = WithHeader(file, [&](TPackageHeader& h) { h.segments[kSegLicense].originalSize += delta; });
    EXPECT_TRUE(AnyFaultMentions(Faults(bad), "segment 4")) << "delta " << delta;
  }
  // Damaged imploded bytes: a literal mode the format does not have.
  std::vector<uint8_t> bad = file;
  bad[HeaderOf(file).segments[kSegEngine].startOffset] = 7;
  EXPECT_TRUE(AnyFaultMentions(Faults(bad), "segment 6"));
}

// The installer copies a stored segment whole, as its offsets give it,
// whatever its originalSize says: verify notes the difference and reads the
// same bytes.
TEST(Verify, StoredSegmentsAreCopiedWholeWhateverTheirOriginalSize) {
  FixtureOptions o;
  o.compression = Compression::kStore;
  std::vector<uint8_t> file = Fixture(o);
  const TSegmentEntry sound = HeaderOf(file).segments[kSegSupportFile];
  ASSERT_EQ(sound.compressed, 0);
  file = WithHeader(file, [](TPackageHeader& h) { h.segments[kSegSupportFile].originalSize = -1; });
  EXPECT_TRUE(Faults(file).empty());
  EXPECT_TRUE(AnyFaultMentions(Notes(file), "copies its " + std::to_string(sound.storedLength()) + " bytes whole"));
  std::vector<uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(ReadSegment(file, HeaderOf(file).segments[kSegSupportFile], &bytes, &error)) << error;
  EXPECT_EQ(bytes.size(), static_cast<size_t>(sound.storedLength()));
}

// A presentation that does not suit its kind stops no install (a movie that
// does not play makes the installer install directly, a picture that does not
// load leaves the panel empty): verify notes it, and the builder refuses it.
TEST(Verify, PresentationThatDoesNotSuitItsKindIsNoted) {
  for (uint8_t mode : {dmBitmap, dmJpeg, dmFlash}) {
    FixtureOptions o;
    o.displayMode = mode;
    o.compression = Compression::kStore;
    std::vector<uint8_t> file = Fixture(o);
    ASSERT_TRUE(Faults(file).empty());
    // Another kind's picture in its place.
    const auto other =
        WithHeader(file, [&](TPackageHeader& h) { h.displayMode = mode == dmBitmap ? dmJpeg : dmBitmap; });
    EXPECT_TRUE(Faults(other).empty()) << int(mode);
    EXPECT_TRUE(AnyFaultMentions(Notes(other), "segment 3")) << int(mode);
  }
  // A movie of a version the installer does not play.
  FixtureOptions o;
  o.compression = Compression::kStore;
  std::vector<uint8_t> file = Fixture(o);
  file[HeaderOf(file).segments[kSegPresentation].startOffset + 3] = 9;
  EXPECT_TRUE(Faults(file).empty());
  EXPECT_TRUE(AnyFaultMentions(Notes(file), "version 9"));
}

TEST(Verify, HeaderAndRoleRules) {
  const std::vector<uint8_t> file = Fixture();
  const std::vector<void (*)(TPackageHeader*)> changes = {
      [](TPackageHeader* h) { h->segments[kSegEngine].name = ""; },          // needed, absent
      [](TPackageHeader* h) { h->segments[kSegLicense].name = ""; },         // flag says present
      [](TPackageHeader* h) { h->segments[kSegLibrary].compressed = 1; },
      [](TPackageHeader* h) { h->segments[kSegSupportLib1].name = "..\\..\\evil.dll"; },
      [](TPackageHeader* h) { h->segments[kSegSupportLib1].segmentType = 9; },  // no target
      [](TPackageHeader* h) { h->segments[kSegEngine].name = "other.scr"; },
      [](TPackageHeader* h) { h->title = "..\\windows"; },
      [](TPackageHeader* h) { h->flashVersionIndex = 2; },
      [](TPackageHeader* h) { h->carriesFlashSetup = 1; },  // segment 2 absent
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    EXPECT_FALSE(Faults(WithHeader(file, [&](TPackageHeader& h) { changes[i](&h); })).empty()) << "change " << i;
  }
  // An unknown presentation kind stops nothing: the segment is staged and
  // shown by no one.
  const auto unknown = WithHeader(file, [](TPackageHeader& h) { h.displayMode = 0; });
  EXPECT_TRUE(Faults(unknown).empty());
  EXPECT_TRUE(AnyFaultMentions(Notes(unknown), "presentation kind 0"));
  // Another file of the system directory is accepted and named (as type 3
  // makes it); the engine there is the package's own and is not listed.
  const auto shared = WithHeader(file, [](TPackageHeader& h) {
    h.segments[kSegSupportLib1].segmentType = 3;
    h.segments[kSegSupportLib1].name = "helper1.ocx";
    h.segments[kSegSupportLib2].segmentType = 2;
  });
  EXPECT_TRUE(Faults(shared).empty());
  EXPECT_TRUE(AnyFaultMentions(
      Notes(shared), "writes into the system directory: helper1.dll, helper2.dll (replaced only by a newer version)"));
  EXPECT_FALSE(AnyFaultMentions(Notes(file), "writes into the system directory"));
}

// Segment 1 is loaded by the installer to expand every compressed item: a
// library it cannot load would fail each of them at install time.
TEST(Verify, LibraryMustBeOneTheInstallerCanLoad) {
  StandInLibrary wide;
  wide.machine = 0x8664;
  wide.pe32Plus = true;
  StandInLibrary program;
  program.dll = false;
  StandInLibrary tls;
  tls.tls = true;
  StandInLibrary partial;
  partial.exports = {"_explode", "_implode"};
  const std::vector<uint8_t> good = MakeStandInLibrary();
  std::vector<uint8_t> noise = MakeNoiseBytes(3000, 11);
  noise[0] = 'M';
  noise[1] = 'Z';
  const std::vector<std::pair<std::vector<uint8_t>, const char*>> cases = {
      {MakeStandInLibrary(wide), "32-bit"},
      {MakeStandInLibrary(program), "a program"},
      {MakeStandInLibrary(tls), "thread-local"},
      {MakeStandInLibrary(partial), "_crc32"},
      {noise, "PE"},
      {std::vector<uint8_t>(good.begin(), good.begin() + 0x150), "outside"},  // in the section table
  };
  EXPECT_EQ(DecompressionLibraryFault(good), "");
  for (const auto& [library, why] : cases) {
    EXPECT_NE(DecompressionLibraryFault(library).find(why), std::string::npos)
        << why << ": " << DecompressionLibraryFault(library);
    FixtureOptions o;
    o.library = library;
    EXPECT_TRUE(AnyFaultMentions(Faults(Fixture(o)), "segment 1")) << why;
  }
}

// Builds an installer whose data file is `data` (stored as it is).
std::vector<uint8_t> WithDataFile(const std::vector<uint8_t>& data) {
  PackageInput in = MakeFixtureInput(FixtureOptions());
  in.segments[kSegDataFile]->data = data;
  in.segments[kSegDataFile]->compression = Compression::kStore;
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(BuildInstaller(MakeFakeStub(kStubSize), in, &out, &error)) << error;
  return out;
}

TEST(Verify, DataFileFaults) {
  DataFileInput in;
  for (const char* name : {"a.txt", "b\\c.txt"}) in.entries.push_back(Entry(name, MakeTextBytes(3000, 9)));
  std::vector<uint8_t> good;
  std::string error;
  ASSERT_TRUE(BuildSaverDataFile(in, &good, &error));
  ASSERT_TRUE(Faults(WithDataFile(good)).empty());

  const std::vector<void (*)(std::vector<uint8_t>*)> changes = {
      [](std::vector<uint8_t>* d) { d->resize(kSaverDataHeaderSize + 10); },  // table cut
      [](std::vector<uint8_t>* d) { PutLE32(d->data() + 212, 1011); },        // count too high
      [](std::vector<uint8_t>* d) { PutLE32(d->data() + 212, -1); },
      [](std::vector<uint8_t>* d) { d->resize(d->size() - 1); },              // last bytes short
      [](std::vector<uint8_t>* d) {
        TSaverFileEntry e = TSaverFileEntry::Parse(d->data() + kSaverDataHeaderSize + kSaverFileEntrySize);
        e.recordOffset = static_cast<int32_t>(d->size()) + 4;
        e.Write(d->data() + kSaverDataHeaderSize + kSaverFileEntrySize);
      },
      [](std::vector<uint8_t>* d) {
        TSaverFileEntry e = TSaverFileEntry::Parse(d->data() + kSaverDataHeaderSize);
        e.fileName = "..\\..\\..\\windows\\win.ini";
        e.Write(d->data() + kSaverDataHeaderSize);
      },
      [](std::vector<uint8_t>* d) {
        TSaverFileEntry e = TSaverFileEntry::Parse(d->data() + kSaverDataHeaderSize);
        TChunkRecord r = TChunkRecord::Parse(d->data() + e.recordOffset);
        r.originalSize += 1;
        r.Write(d->data() + e.recordOffset);
      },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    std::vector<uint8_t> bad = good;
    changes[i](&bad);
    EXPECT_TRUE(AnyFaultMentions(Faults(WithDataFile(bad)), "data")) << "change " << i;
  }
}

// Every file below the folder, relative, with '/'.
std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), root).generic_string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Extract, WritesEverySegmentAndEntryAsBuilt) {
  TempFolder tmp;
  FixtureOptions o;
  o.flashSetup = true;
  o.contentKind = 3;
  const PackageInput input = MakeFixtureInput(o);
  std::vector<uint8_t> file;
  std::string error;
  ASSERT_TRUE(BuildInstaller(MakeFakeStub(kStubSize), input, &file, &error)) << error;

  std::vector<std::string> written, problems;
  ASSERT_TRUE(ExtractInstaller(file, tmp / "out", &written, &problems, &error)) << error;
  EXPECT_TRUE(problems.empty());
  const std::vector<uint8_t> stub(file.begin(), file.begin() + kStubSize);
  EXPECT_EQ(tmp.Read("out/segments/00-Setup.exe"), stub);
  for (int i = 1; i < kSegmentCount; ++i) {
    if (!input.segments[i]) continue;
    const std::string name =
        "out/segments/" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "-" + input.segments[i]->name;
    EXPECT_EQ(tmp.Read(name), input.segments[i]->data) << name;
  }
  const std::vector<uint8_t>& ssd = input.segments[kSegDataFile]->data;
  EXPECT_EQ(tmp.Read("out/saver.dat"), std::vector<uint8_t>(ssd.begin(), ssd.begin() + 1240));
  // Entry 1 stands for the movie, as the installer makes it.
  EXPECT_EQ(tmp.Read("out/data/movie.swf"), input.segments[kSegPresentation]->data);

  DataFileView view;
  std::vector<Finding> findings;
  ASSERT_TRUE(ParseDataFile(ssd, &view, &findings));
  for (const DataEntryView& e : view.entries) {
    if (e.copy) continue;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadDataEntry(ssd, e, &bytes, &error));
    std::string rel = e.entry.fileName;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    EXPECT_EQ(tmp.Read("out/data/" + rel), bytes) << rel;
  }
  EXPECT_EQ(written.size(), FilesBelow(tmp.path() / "out").size());
}

TEST(Extract, HostileNamesStayInsideTheFolder) {
  TempFolder tmp;
  // A data file whose names try to climb out, and segments that do too.
  DataFileInput in;
  for (const char* name : {"ok.txt", "ok2.txt", "x", "y"}) in.entries.push_back(Entry(name, MakeTextBytes(100, 3)));
  std::vector<uint8_t> data;
  std::string error;
  ASSERT_TRUE(BuildSaverDataFile(in, &data, &error)) << error;
  auto rename = [&](int index, const std::string& name) {
    const size_t at = kSaverDataHeaderSize + kSaverFileEntrySize * index;
    TSaverFileEntry e = TSaverFileEntry::Parse(data.data() + at);
    e.fileName = name;
    e.Write(data.data() + at);
  };
  rename(1, "ok.txt");  // the same name twice
  rename(2, "..\\..\\escaped.txt");
  rename(3, "/tmp/escaped-abs.txt");
  const std::vector<uint8_t> file = WithHeader(WithDataFile(data), [](TPackageHeader& h) {
    h.segments[kSegSupportLib1].name = "..\\..\\escaped.dll";
    h.segments[kSegSupportLib2].name = "../../escaped2.dll";
    h.segments[kSegSupportFile].name = "evil\x1b]0;owned\x07.dat";  // terminal escapes
  });

  // Listings and messages never pass control characters to the terminal.
  InstallerView view;
  ASSERT_TRUE(ReadInstaller(file, &view, &error));
  std::string shown = FormatInstaller(view);
  for (const Finding& f : VerifyInstaller(file)) shown += f.text;
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_EQ(shown.find('\x07'), std::string::npos);

  const fs::path out = tmp.path() / "deep" / "out";
  std::vector<std::string> written, problems;
  ASSERT_TRUE(ExtractInstaller(file, out.string(), &written, &problems, &error)) << error;
  // Nothing appeared beside or above the output folder.
  EXPECT_EQ(FilesBelow(tmp.path()).size(), FilesBelow(out).size());
  EXPECT_FALSE(fs::exists("/tmp/escaped-abs.txt"));
  // Both entries named ok.txt survive: the second under a numbered name.
  EXPECT_EQ(tmp.Read("deep/out/data/ok.txt"), MakeTextBytes(100, 3));
  EXPECT_EQ(tmp.Read("deep/out/data/ok~2.txt"), MakeTextBytes(100, 3));
}

TEST(Extract, NeverOverwritesAndKeepsGoingPastDamage) {
  TempFolder tmp;
  tmp.Write("busy/keep.txt", std::string("mine"));
  std::vector<std::string> written, problems;
  std::string error;
  const std::vector<uint8_t> file = Fixture();
  EXPECT_FALSE(ExtractInstaller(file, tmp / "busy", &written, &problems, &error));
  EXPECT_NE(error.find("not an empty folder"), std::string::npos) << error;
  EXPECT_EQ(tmp.Read("busy/keep.txt"), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));

  const auto bad = WithHeader(file, [&](TPackageHeader& h) {
    h.segments[kSegSupportFile].endOffset = static_cast<int32_t>(file.size()) + 100;
  });
  ASSERT_TRUE(ExtractInstaller(bad, tmp / "partial", &written, &problems, &error)) << error;
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("segment 7"), std::string::npos);
  EXPECT_TRUE(fs::exists(tmp.path() / "partial/segments/06-Fixture Saver.scr"));
  EXPECT_TRUE(fs::exists(tmp.path() / "partial/segments/09-helper1.dll"));
}

}  // namespace
}  // namespace ss::pack
