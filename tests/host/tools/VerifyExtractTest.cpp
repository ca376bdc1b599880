#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/ByteOrder.h"
#include "tests/support/TempFolder.h"
#include "tests/support/PackFixtures.h"
#include "tools/build/PackageBuilder.h"
#include "tools/check/Verify.h"
#include "tools/read/Extract.h"
#include "tools/read/InstallerReader.h"
#include "tools/read/Listing.h"
#include "tools/pe/PeImage.h"

namespace ss::pack {
namespace {

namespace fs = std::filesystem;
using sstest::TempFolder;

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

// `pe` (a program or library of the stand-in's layout: one section, its
// table at 0x138) with an import table appended as a second section:
// `libraries` descriptors that all name one table of `functions` entries,
// each naming one function of `nameLength` characters. A reader that keeps
// what the table names would hold libraries x functions x nameLength bytes.
void AddImports(std::vector<uint8_t>* pe, uint32_t libraries, uint32_t functions, uint32_t nameLength) {
  constexpr size_t kFileHeader = 0x44, kDirectories = 0x58 + 92, kSections = 0x138;
  constexpr uint32_t kRva = 0x10000;
  const uint32_t table = (libraries + 1) * 20;
  const uint32_t name = table + (functions + 1) * 4;
  const uint32_t library = name + 2 + nameLength + 1;
  std::vector<uint8_t> s((library + 16 + 0x1FF) & ~0x1FFu, 0);
  auto put32 = [](uint8_t* at, uint32_t v) { PutLE32(at, static_cast<int32_t>(v)); };
  for (uint32_t i = 0; i < libraries; ++i) {
    put32(&s[i * 20], kRva + table);         // lookup table
    put32(&s[i * 20 + 12], kRva + library);  // library name
    put32(&s[i * 20 + 16], kRva + table);    // address table
  }
  for (uint32_t j = 0; j < functions; ++j) put32(&s[table + j * 4], kRva + name);
  std::fill_n(s.begin() + name + 2, nameLength, static_cast<uint8_t>('f'));
  std::copy_n("bomb.dll", 8, s.begin() + library);

  const uint32_t at = static_cast<uint32_t>((pe->size() + 0x1FF) & ~size_t{0x1FF});
  pe->resize(at);
  pe->insert(pe->end(), s.begin(), s.end());
  uint8_t* b = pe->data();
  b[kFileHeader + 2] = 2;  // sections
  uint8_t* h = b + kSections + 40;
  std::copy_n(".idata", 6, h);
  put32(h + 8, static_cast<uint32_t>(s.size()));
  put32(h + 12, kRva);
  put32(h + 16, static_cast<uint32_t>(s.size()));
  put32(h + 20, at);
  put32(h + 36, 0x40000040);
  put32(b + kDirectories + 4 + 8, kRva);  // the import directory
  put32(b + kDirectories + 8 + 8, table);
}

// A run of the real sspack as a hostile package must find it: within 256 MiB
// of address space and 30 seconds. A run stopped by either ends with a code
// other than sspack's own (timeout's 124, an abort's 134).
struct LimitedRun {
  int code = -1;
  std::string out;
  double seconds = 0;
};

// The memory a run of sspack may take. Outside the sanitizer build the
// address space is capped as well, so that a run past it fails at once; the
// sanitizer's shadow memory needs address space of its own, so there only
// the resident peak of every run so far is held to it.
constexpr uint64_t kRunMemoryKiB = 256 * 1024;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

uint64_t PeakChildKiB() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss);
}

LimitedRun SspackLimited(const TempFolder& tmp, const std::string& args) {
  const std::string out = tmp / "run.txt";
  const std::string cap = kAddressSanitizer ? "" : "ulimit -v " + std::to_string(kRunMemoryKiB) + "; ";
  const std::string cmd = cap + "exec timeout 30 '" SSPACK_PATH "' " + args + " >'" + out + "' 2>&1";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(cmd.c_str());
  LimitedRun r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(out, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  r.out = text.str();
  return r;
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
  ASSERT_EQ(ReadSegment(file, HeaderOf(file).segments[kSegSupportFile], &bytes).result.message(), "");
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

// The reader keeps to its budgets: import tables the size of a real
// program's are read whole, a bomb is refused by the budget it passes, and a
// reader that asks for the headers only never looks at the tables.
TEST(Verify, ImportTablesAreReadWithinBudgets) {
  struct Row {
    uint32_t libraries, functions, nameLength;
    const char* refusal;  // "" when read whole
  };
  const Row rows[] = {
      {16, 600, 40, ""},                       // more than any of our programs imports
      {1, kPeMaxFunctions, 20, ""},             // the function budget exactly
      {kPeMaxLibraries, 1, 1, ""},              // the library budget exactly
      {kPeMaxLibraries + 1, 1, 1, "libraries"},
      {2, kPeMaxFunctions / 2 + 1, 1, "functions"},
      {100, 100, 500, "names"},                 // 10000 functions, 5 MB of names
      {1024, 65536, 500, "names"},              // the bomb: 1024 x 65536 x 500 bytes named
      {1024, 65536, 1, "functions"},            // the same with short names
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> library = MakeStandInLibrary();
    AddImports(&library, row.libraries, row.functions, row.nameLength);
    PeImage image;
    const auto start = std::chrono::steady_clock::now();
    const ToolResult result = ReadPeImage(library, &image);
    const bool read = result.ok();
    const std::string error = result.message();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    const std::string what = std::to_string(row.libraries) + " x " + std::to_string(row.functions);
    if (*row.refusal == '\0') {
      ASSERT_TRUE(read) << what << ": " << error;
      ASSERT_EQ(image.imports.size(), row.libraries) << what;
      EXPECT_EQ(image.imports.back().names.size(), row.functions) << what;
      EXPECT_EQ(DecompressionLibraryFault(library), "") << what;
    } else {
      EXPECT_FALSE(read) << what;
      EXPECT_NE(error.find(row.refusal), std::string::npos) << what << ": " << error;
      EXPECT_EQ(DecompressionLibraryFault(library), error) << what;
    }
    // The headers alone: what list and verify read of the installer itself.
    const ToolResult headers = ReadPeImage(library, &image, PeHeadersOnly());
    ASSERT_TRUE(headers.ok()) << what << ": " << headers.message();
    EXPECT_TRUE(image.imports.empty() && image.exports.empty()) << what;
  }
}

// Builds an installer whose data file is `data` (stored as it is).
std::vector<uint8_t> WithDataFile(const std::vector<uint8_t>& data) {
  PackageInput in = MakeFixtureInput(FixtureOptions());
  in.segments[kSegDataFile]->data = data;
  in.segments[kSegDataFile]->compression = Compression::kStore;
  std::vector<uint8_t> out;
  const ToolResult built = BuildInstaller(MakeFakeStub(kStubSize), in, &out);
  EXPECT_TRUE(built.ok()) << built.message();
  return out;
}

TEST(Verify, DataFileFaults) {
  DataFileInput in;
  for (const char* name : {"a.txt", "b\\c.txt"}) in.entries.push_back(Entry(name, MakeTextBytes(3000, 9)));
  std::vector<uint8_t> good;
  std::string error;
  ASSERT_TRUE(BuildSaverDataFile(in, &good).ok());
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
      [](std::vector<uint8_t>* d) {  // entry 2 reads entry 1's record
        const TSaverFileEntry first = TSaverFileEntry::Parse(d->data() + kSaverDataHeaderSize);
        TSaverFileEntry e = TSaverFileEntry::Parse(d->data() + kSaverDataHeaderSize + kSaverFileEntrySize);
        e.recordOffset = first.recordOffset;
        e.Write(d->data() + kSaverDataHeaderSize + kSaverFileEntrySize);
      },
  };
  for (size_t i = 0; i < changes.size(); ++i) {
    std::vector<uint8_t> bad = good;
    changes[i](&bad);
    EXPECT_TRUE(AnyFaultMentions(Faults(WithDataFile(bad)), "data")) << "change " << i;
  }
  std::vector<uint8_t> shared = good;
  changes.back()(&shared);
  EXPECT_TRUE(AnyFaultMentions(Faults(WithDataFile(shared)), "overlap those of entry 1,"));
  EXPECT_TRUE(AnyFaultMentions(Faults(WithDataFile(shared)), "(the installer stops with code -615)"));
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
  const ToolResult built = BuildInstaller(MakeFakeStub(kStubSize), input, &file);
  ASSERT_TRUE(built.ok()) << built.message();

  const Extraction extracted = ExtractInstaller(file, tmp / "out");
  ASSERT_EQ(extracted.result.message(), "");
  EXPECT_EQ(extracted.skipped.message(), "");
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
  ASSERT_EQ(ParseDataFile(ssd, &view).message(), "");
  for (const DataEntryView& e : view.entries) {
    if (e.copy) continue;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadDataEntry(ssd, e, &bytes).ok());
    std::string rel = e.entry.fileName;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    EXPECT_EQ(tmp.Read("out/data/" + rel), bytes) << rel;
  }
  EXPECT_EQ(extracted.written.size(), FilesBelow(tmp.path() / "out").size());
}

TEST(Extract, HostileNamesStayInsideTheFolder) {
  TempFolder tmp;
  // A data file whose names try to climb out, and segments that do too.
  DataFileInput in;
  for (const char* name : {"ok.txt", "ok2.txt", "x", "y"}) in.entries.push_back(Entry(name, MakeTextBytes(100, 3)));
  std::vector<uint8_t> data;
  std::string error;
  const ToolResult built = BuildSaverDataFile(in, &data);
  ASSERT_TRUE(built.ok()) << built.message();
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
    h.segments[kSegSupportLib2].name = "\x9D" "0;owned\x81\x8D\x8F\x90.dll";  // undefined: C1 controls
  });

  // Listings and messages never pass control characters to the terminal.
  InstallerView view;
  ASSERT_TRUE(ReadInstaller(file, &view).ok());
  std::string shown = FormatInstaller(view);
  for (const Finding& f : VerifyInstaller(file)) shown += f.text;
  rename(3, "\x9D" "evil\x81.txt");
  const std::vector<uint8_t> undefined = WithDataFile(data);
  for (const Finding& f : VerifyInstaller(undefined)) shown += f.text;
  DataFileView entries;
  ASSERT_TRUE(ParseDataFile(data, &entries).ok());
  shown += FormatDataFile(entries);
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_EQ(shown.find('\x07'), std::string::npos);
  // The undefined bytes would come out as the C1 controls U+0080 to U+009F.
  for (char c1 = '\x80'; c1 <= '\x9F' && c1 != 0; ++c1) {
    EXPECT_EQ(shown.find(std::string("\xC2") + c1), std::string::npos) << int(static_cast<uint8_t>(c1));
  }
  EXPECT_NE(shown.find("\\x9D" "evil\\x81.txt"), std::string::npos) << shown;

  const fs::path out = tmp.path() / "deep" / "out";
  const Extraction extracted = ExtractInstaller(file, out.string());
  ASSERT_EQ(extracted.result.message(), "");
  // Nothing appeared beside or above the output folder.
  EXPECT_EQ(FilesBelow(tmp.path()).size(), FilesBelow(out).size());
  EXPECT_FALSE(fs::exists("/tmp/escaped-abs.txt"));
  // Both entries named ok.txt survive: the second under a numbered name.
  EXPECT_EQ(tmp.Read("deep/out/data/ok.txt"), MakeTextBytes(100, 3));
  EXPECT_EQ(tmp.Read("deep/out/data/ok~2.txt"), MakeTextBytes(100, 3));
  // What extract writes, and lists, carries no control either.
  const Extraction undefinedExtracted = ExtractInstaller(undefined, tmp / "undefined");
  ASSERT_EQ(undefinedExtracted.result.message(), "");
  const std::vector<std::string>& names = undefinedExtracted.written;
  EXPECT_NE(std::find(names.begin(), names.end(), "data/_evil_.txt"), names.end());
  for (const std::string& name : names) {
    for (char c : name) EXPECT_FALSE(static_cast<uint8_t>(c) < 0x20 || c == '\x7F' || c == '\xC2') << name;
  }
}

TEST(Extract, NeverOverwritesAndKeepsGoingPastDamage) {
  TempFolder tmp;
  tmp.Write("busy/keep.txt", std::string("mine"));
  const std::vector<uint8_t> file = Fixture();
  const Extraction busy = ExtractInstaller(file, tmp / "busy");
  EXPECT_EQ(busy.result.exitCode(), kExitWrite);
  EXPECT_NE(busy.result.message().find("not an empty folder"), std::string::npos) << busy.result.message();
  EXPECT_EQ(tmp.Read("busy/keep.txt"), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));

  const auto bad = WithHeader(file, [&](TPackageHeader& h) {
    h.segments[kSegSupportFile].endOffset = static_cast<int32_t>(file.size()) + 100;
  });
  const Extraction partial = ExtractInstaller(bad, tmp / "partial");
  ASSERT_EQ(partial.result.message(), "");
  ASSERT_EQ(partial.skipped.messages().size(), 1u);
  EXPECT_NE(partial.skipped.messages()[0].find("segment 7"), std::string::npos);
  EXPECT_TRUE(fs::exists(tmp.path() / "partial/segments/06-Fixture Saver.scr"));
  EXPECT_TRUE(fs::exists(tmp.path() / "partial/segments/09-helper1.dll"));
}

// Bytes written below `root`, in all.
uint64_t BytesBelow(const fs::path& root) {
  uint64_t total = 0;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) total += e.file_size();
  }
  return total;
}

// Small installers that name far more than they hold, run through the real
// sspack within bounded memory and time: each ends with its own verdict,
// and the output limit can be raised.
TEST(Bombs, EndWithAClearVerdictInSecondsAndBoundedMemory) {
  TempFolder tmp;
  std::string error;
  // The import bomb as the library the installer loads, and in the
  // installer program's own headers (which list and verify do not need).
  std::vector<uint8_t> bomb = MakeStandInLibrary();
  AddImports(&bomb, 1024, 65536, 500);
  FixtureOptions withBomb;
  withBomb.library = bomb;
  tmp.Write("library-bomb.exe", Fixture(withBomb));
  std::vector<uint8_t> program;
  ASSERT_TRUE(BuildFixtureInstaller(MakePeStub(), FixtureOptions(), &program, &error)) << error;
  AddImports(&program, 1024, 65536, 500);
  tmp.Write("program-bomb.exe", program);

  // One entry of 8 MiB and 1009 copies of it: 8 GiB written from a few
  // hundred kilobytes; the data file itself compressed.
  DataFileInput copies;
  copies.entries.push_back(Entry("big.bin", std::vector<uint8_t>(8u << 20, 0), Compression::kCompress));
  for (int i = 2; i <= kMaxSaverEntries; ++i) copies.entries.push_back(CopyEntry("copy" + std::to_string(i) + ".bin"));
  std::vector<uint8_t> data;
  ToolResult built = BuildSaverDataFile(copies, &data);
  ASSERT_TRUE(built.ok()) << built.message();
  PackageInput in = MakeFixtureInput(FixtureOptions());
  in.segments[kSegDataFile]->data = data;
  in.segments[kSegDataFile]->compression = Compression::kCompress;
  std::vector<uint8_t> installer;
  built = BuildInstaller(MakeFakeStub(kStubSize), in, &installer);
  ASSERT_TRUE(built.ok()) << built.message();
  ASSERT_LT(installer.size(), 1u << 20);
  tmp.Write("copies.exe", installer);
  // The same entries as entries of their own, all reading entry 1's record.
  for (int i = 2; i <= kMaxSaverEntries; ++i) {
    const size_t at = kSaverDataHeaderSize + static_cast<size_t>(i - 1) * kSaverFileEntrySize;
    TSaverFileEntry e = TSaverFileEntry::Parse(data.data() + at);
    e.entryType = 0;
    e.recordOffset = TSaverFileEntry::Parse(data.data() + kSaverDataHeaderSize).recordOffset;
    e.Write(data.data() + at);
  }
  in.segments[kSegDataFile]->data = data;
  built = BuildInstaller(MakeFakeStub(kStubSize), in, &installer);
  ASSERT_TRUE(built.ok()) << built.message();
  tmp.Write("shared.exe", installer);
  tmp.Write("sound.exe", Fixture());

  struct Row {
    std::string args;
    int code;
    std::string says;  // in the output
  };
  const std::string t = tmp.path().string() + "/";
  const Row rows[] = {
      {"verify '" + t + "library-bomb.exe'", 1,
       "segment 1 (library) \"impborl.dat\": the names of the import and export tables pass 1048576 bytes"},
      {"list '" + t + "library-bomb.exe'", 0, "Title:"},
      {"list --entries '" + t + "program-bomb.exe'", 0, "media\\deep\\a.txt"},
      {"verify '" + t + "program-bomb.exe'", 0, "ok"},
      {"verify '" + t + "copies.exe'", 1,
       "data-file entry 128 \"copy128.bin\": not counted, nor anything after it: it would take the output "
       "past sspack's limit of 1073741824 bytes"},
      {"verify --max-output 16G '" + t + "copies.exe'", 0, "ok"},
      {"verify --max-output 100K '" + t + "copies.exe'", 1, "segment 8 (data file)"},
      {"list --entries --max-output 100K '" + t + "copies.exe'", 1, "sspack's output limit"},
      {"extract --max-output 64M '" + t + "copies.exe' '" + t + "copies'", 1,
       "data-file entry 8 \"copy8.bin\": not written, nor anything after it"},
      {"verify '" + t + "shared.exe'", 1, "(the installer stops with code -615)"},
      {"extract '" + t + "shared.exe' '" + t + "shared'", 1,
       "data-file entry 1010 \"copy1010.bin\": its chunk record and stored bytes"},
      {"extract --max-output 1K '" + t + "sound.exe' '" + t + "sound-1k'", 1, "--max-output raises the limit"},
      {"extract '" + t + "sound.exe' '" + t + "sound'", 0, "data/readme.txt"},
  };
  for (const Row& row : rows) {
    const LimitedRun r = SspackLimited(tmp, row.args);
    EXPECT_EQ(r.code, row.code) << row.args << "\n" << r.out;
    EXPECT_NE(r.out.find(row.says), std::string::npos) << row.args << "\n" << r.out;
    EXPECT_LT(r.seconds, 20.0) << row.args;
    EXPECT_LT(PeakChildKiB(), kRunMemoryKiB) << row.args;
  }
  // Extract stopped before the limit, each file written whole; the shared
  // record was written once.
  EXPECT_LE(BytesBelow(tmp.path() / "copies"), uint64_t{64} << 20);
  EXPECT_EQ(tmp.Read("copies/data/copy7.bin").size(), 8u << 20);
  EXPECT_FALSE(fs::exists(tmp.path() / "copies/data/copy8.bin"));
  EXPECT_LT(BytesBelow(tmp.path() / "shared"), uint64_t{9} << 20);
}

}  // namespace
}  // namespace ss::pack
