#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "codec/Codec.h"
#include "codec/ImplodeFast.h"
#include "core/PackageOffset.h"
#include "package/ByteOrder.h"
#include "tests/support/TempFolder.h"
#include "tests/support/PackFixtures.h"
#include "tools/common/PackCodec.h"
#include "tools/build/PackageBuilder.h"
#include "tools/check/Verify.h"
#include "tools/read/Extract.h"
#include "tools/read/InstallerReader.h"
#include "tools/read/Listing.h"
#include "tools/read/StubImage.h"

namespace ss::pack {
namespace {

bool HasFault(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.fault; });
}

std::string FaultText(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings) {
    if (f.fault) text += f.text + "\n";
  }
  return text;
}

// The segment type each index is written with, as the installer's packages
// have them (written out here, not taken from the builder's table).
constexpr int32_t kExpectedSegmentType[kSegmentCount] = {6, 4, 3, 7, 7, 7, 2, 5, 4, 5, 5};

std::vector<uint8_t> Build(const PackageInput& input, const std::vector<uint8_t>& stub) {
  std::vector<uint8_t> out;
  const ToolResult built = BuildInstaller(stub, input, &out);
  EXPECT_TRUE(built.ok()) << built.message();
  return out;
}

// Build -> read back with the records code -> every segment equals its
// input; the listing names every segment, verify finds no fault, and
// extraction gives back every file byte for byte.
class RoundTrip : public ::testing::TestWithParam<std::tuple<uint8_t, bool>> {};

TEST_P(RoundTrip, EverySegmentReadsBackAsItWasGiven) {
  FixtureOptions o;
  o.displayMode = std::get<0>(GetParam());
  o.license = o.document = o.flashSetup = std::get<1>(GetParam());
  const PackageInput input = MakeFixtureInput(o);
  const std::vector<uint8_t> stub = MakeFakeStub(5000);
  const std::vector<uint8_t> file = Build(input, stub);

  ASSERT_GT(file.size(), stub.size());
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), file.begin()));
  InstallerView view;
  ASSERT_EQ(ReadInstaller(file, &view).message(), "");
  EXPECT_EQ(view.packageOffset, static_cast<int32_t>(stub.size()));
  const TPackageHeader& h = view.header;
  EXPECT_EQ(h.displayMode, o.displayMode);
  EXPECT_EQ(h.showLicense != 0, o.license);
  EXPECT_EQ(h.hasCompanionFile != 0, o.document);
  EXPECT_EQ(h.carriesFlashSetup != 0, o.flashSetup);
  EXPECT_EQ(h.title, o.title);
  EXPECT_EQ(h.segments[kSegEngine].name, o.title + ".scr");

  for (int i = 1; i < kSegmentCount; ++i) {
    ASSERT_EQ(h.segments[i].present(), input.segments[i].has_value()) << "segment " << i;
    if (!input.segments[i]) continue;
    EXPECT_EQ(h.segments[i].name, input.segments[i]->name);
    EXPECT_EQ(h.segments[i].segmentType, kExpectedSegmentType[i]);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(ReadSegment(file, h.segments[i], &bytes).result.message(), "") << i;
    EXPECT_EQ(bytes, input.segments[i]->data) << "segment " << i;
  }
  const std::vector<Finding> findings = VerifyInstaller(file);
  EXPECT_FALSE(HasFault(findings)) << FaultText(findings);

  const std::string listing = FormatInstaller(view);
  sstest::TempFolder tmp;
  const Extraction extracted = ExtractInstaller(file, tmp / "x");
  ASSERT_EQ(extracted.result.message(), "");
  EXPECT_EQ(extracted.skipped.message(), "");
  for (int i = 1; i < kSegmentCount; ++i) {
    if (!input.segments[i]) continue;
    EXPECT_NE(listing.find(input.segments[i]->name), std::string::npos) << listing;
    const std::string name = "x/segments/" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                             "-" + input.segments[i]->name;
    EXPECT_EQ(tmp.Read(name), input.segments[i]->data) << name;
  }
  for (const std::string& entry : o.entryNames) {
    std::string rel = entry;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    EXPECT_FALSE(tmp.Read("x/data/" + rel).empty()) << rel;
  }
}

std::string KindName(const ::testing::TestParamInfo<std::tuple<uint8_t, bool>>& info) {
  std::string name;
  switch (std::get<0>(info.param)) {
    case dmBitmap: name = "Bitmap"; break;
    case dmFlash: name = "Flash"; break;
    case dmSilent: name = "Quiet"; break;
    default: name = "Jpeg"; break;
  }
  return name + (std::get<1>(info.param) ? "WithExtras" : "Plain");
}

INSTANTIATE_TEST_SUITE_P(PresentationKinds, RoundTrip,
                         ::testing::Combine(::testing::Values(dmBitmap, dmFlash, dmSilent, dmJpeg),
                                            ::testing::Bool()),
                         KindName);

TEST(Layout, StubHeaderAndSegmentsFollowEachOther) {
  FixtureOptions o;
  o.license = false;  // segment 4 absent, 5 present
  o.flashSetup = false;
  const std::vector<uint8_t> stub = MakeFakeStub(4321);
  const std::vector<uint8_t> file = Build(MakeFixtureInput(o), stub);
  const TPackageHeader h = TPackageHeader::Parse(file.data() + stub.size());
  const int32_t p = static_cast<int32_t>(stub.size());

  const TSegmentEntry& self = h.segments[kSegInstaller];
  EXPECT_EQ(self.name, "Setup.exe");
  EXPECT_EQ(self.startOffset, 0);
  EXPECT_EQ(self.endOffset, p - 1);
  EXPECT_EQ(self.originalSize, p);
  EXPECT_EQ(self.segmentType, 6);

  EXPECT_EQ(h.segments[kSegLibrary].startOffset, p + static_cast<int32_t>(kPackageHeaderSize));
  int64_t next = h.segments[kSegLibrary].startOffset;
  for (int i = 1; i < kSegmentCount; ++i) {
    const TSegmentEntry& s = h.segments[i];
    EXPECT_EQ(s.startOffset, next) << "segment " << i;
    if (s.present()) {
      next = s.endOffset + 1;
    } else {
      // Absent: no name, both offsets at the next segment's start, flagged
      // compressed with sizes 0.
      EXPECT_EQ(s.endOffset, s.startOffset) << "segment " << i;
      EXPECT_EQ(s.compressed, 1) << "segment " << i;
      EXPECT_EQ(s.packedSize, 0);
      EXPECT_EQ(s.originalSize, 0);
      EXPECT_EQ(s.segmentType, kExpectedSegmentType[i]);
    }
  }
  EXPECT_FALSE(h.segments[kSegLicense].present());
  EXPECT_FALSE(h.segments[kSegFlashSetup].present());
  EXPECT_EQ(next, static_cast<int64_t>(file.size()));  // the last segment ends the file
}

TEST(Layout, SameInputGivesTheSameBytes) {
  FixtureOptions o;
  o.flashSetup = true;
  const std::vector<uint8_t> stub = MakeFakeStub();
  EXPECT_EQ(Build(MakeFixtureInput(o), stub), Build(MakeFixtureInput(o), stub));
}

TEST(Compression, AutoImplodesOnlyWhatShrinks) {
  FixtureOptions o;
  PackageInput input = MakeFixtureInput(o);
  input.segments[kSegLicense]->data = MakeTextBytes(20000, 1);      // shrinks
  input.segments[kSegSupportLib1]->data = MakeNoiseBytes(20000, 2);  // does not
  input.segments[kSegSupportFile]->data.clear();                     // nothing to gain
  const std::vector<uint8_t> file = Build(input, MakeFakeStub());
  const TPackageHeader h = TPackageHeader::Parse(file.data() + MakeFakeStub().size());

  EXPECT_EQ(h.segments[kSegLicense].compressed, 1);
  EXPECT_LT(h.segments[kSegLicense].storedLength(), 20000 / 2);
  EXPECT_EQ(h.segments[kSegLicense].packedSize, h.segments[kSegLicense].storedLength());
  EXPECT_EQ(h.segments[kSegSupportLib1].compressed, 0);
  EXPECT_EQ(h.segments[kSegSupportLib1].storedLength(), 20000);
  EXPECT_EQ(h.segments[kSegSupportFile].compressed, 0);
  EXPECT_EQ(h.segments[kSegSupportFile].storedLength(), 0);
  EXPECT_EQ(h.segments[kSegLibrary].compressed, 0);

  std::vector<uint8_t> back;
  ASSERT_EQ(ReadSegment(file, h.segments[kSegSupportFile], &back).result.message(), "");
  EXPECT_TRUE(back.empty());
}

TEST(Compression, ExplicitChoicesWin) {
  FixtureOptions o;
  o.compression = Compression::kCompress;
  PackageInput input = MakeFixtureInput(o);
  input.segments[kSegSupportLib1]->data = MakeNoiseBytes(5000, 3);
  input.segments[kSegLicense]->compression = Compression::kStore;
  input.segments[kSegLicense]->data = MakeTextBytes(5000, 4);
  const std::vector<uint8_t> stub = MakeFakeStub();
  const std::vector<uint8_t> file = Build(input, stub);
  const TPackageHeader h = TPackageHeader::Parse(file.data() + stub.size());
  EXPECT_EQ(h.segments[kSegSupportLib1].compressed, 1);  // even though it grows
  EXPECT_EQ(h.segments[kSegLicense].compressed, 0);
  EXPECT_EQ(h.segments[kSegLibrary].compressed, 0);      // the decompressor is never imploded
  EXPECT_FALSE(HasFault(VerifyInstaller(file)));
}

// Noise with zeros between the encoder's three 16 KiB probe samples (the
// middles of its thirds): it looks incompressible to the probe, yet shrinks.
// size: at least 120000.
std::vector<uint8_t> NoiseBetweenZeros(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size, 0);
  const std::vector<uint8_t> noise = MakeNoiseBytes(size, seed);
  const size_t sample = 16 * 1024;
  for (size_t k = 0; k < 3; ++k) {
    const size_t at = (size - sample) * (2 * k + 1) / 6;
    std::copy(noise.begin() + at, noise.begin() + at + sample, bytes.begin() + at);
  }
  return bytes;
}

std::vector<uint8_t> TextThenNoise(size_t text, size_t size) {
  std::vector<uint8_t> bytes = MakeTextBytes(text, 12);
  const std::vector<uint8_t> noise = MakeNoiseBytes(size - text, 13);
  bytes.insert(bytes.end(), noise.begin(), noise.end());
  return bytes;
}

// Whichever encoder an item gets, its bytes come back as they were given: the
// probe sends incompressible items of 64 KiB and more to the fast encoder and
// the rest to the thorough one, and "auto" still stores what does not shrink.
TEST(Compression, EncoderChoiceNeverChangesWhatExpands) {
  struct Row {
    const char* what;
    std::vector<uint8_t> data;
    Encoder encoder;
    bool autoCompresses;
  } rows[] = {
      {"noise", MakeNoiseBytes(200000, 7), Encoder::kFast, false},
      {"text", MakeTextBytes(200000, 8), Encoder::kThorough, true},
      {"noise between zeros", NoiseBetweenZeros(300000, 9), Encoder::kFast, true},
      // A data file: a table that compresses, then imploded entries.
      {"noise after a table", TextThenNoise(20000, 200000), Encoder::kFast, false},
      {"short noise", MakeNoiseBytes(64 * 1024 - 1, 10), Encoder::kThorough, false},
      {"short text", MakeTextBytes(5000, 11), Encoder::kThorough, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(ChooseEncoder(row.data.data(), row.data.size()), row.encoder);
    // The stream is the chosen encoder's own.
    std::vector<uint8_t> expected;
    ASSERT_EQ((row.encoder == Encoder::kFast ? codec::ImplodeFastBuffer : codec::ImplodeBuffer)(
                  row.data.data(), row.data.size(), codec::kCmpBinary, 4096, &expected),
              codec::kCmpNoError);
    for (Compression how : {Compression::kAuto, Compression::kCompress}) {
      std::vector<uint8_t> stored, back;
      bool compressed = false;
      const ToolResult packed = PackBytes(row.data, how, &stored, &compressed);
      ASSERT_TRUE(packed.ok()) << packed.message();
      EXPECT_EQ(compressed, how == Compression::kCompress || row.autoCompresses);
      if (!compressed) {
        EXPECT_EQ(stored, row.data);
        continue;
      }
      EXPECT_EQ(stored, expected);
      const ToolResult expanded = Explode(stored.data(), stored.size(), row.data.size(), &back);
      ASSERT_TRUE(expanded.ok()) << expanded.message();
      EXPECT_EQ(back, row.data);
    }
  }
}

// Entries and segments are packed side by side; the bytes never depend on
// how many threads did it.
TEST(Layout, EveryThreadCountGivesTheSameBytes) {
  DataFileInput in;
  in.contentKind = 3;
  in.entries.push_back(CopyEntry("movie.swf"));
  for (uint32_t i = 0; i < 23; ++i) {
    DataEntryInput e;
    e.name = "media\\" + std::to_string(i) + ".bin";
    const size_t size = 100 + (i * 7919u) % 30000;
    e.data = i % 3 == 0   ? MakeNoiseBytes(size, i)
             : i % 3 == 1 ? MakeTextBytes(size, i)
                          : NoiseBetweenZeros(size + 120000, i);
    e.compression = i == 4   ? Compression::kStore
                    : i == 6 ? Compression::kCompress
                             : Compression::kAuto;
    in.entries.push_back(e);
  }
  std::vector<uint8_t> one, many;
  std::string error;
  ToolResult built = BuildSaverDataFile(in, &one, nullptr, 1);
  ASSERT_TRUE(built.ok()) << built.message();
  for (unsigned jobs : {2u, 5u, 64u}) {
    // Progress comes once per entry, counting up, whichever thread ends it.
    std::vector<size_t> counts;
    std::set<std::string> names;
    const Progress progress = [&](const std::string& item, size_t done, size_t total) {
      counts.push_back(done);
      names.insert(item);
      EXPECT_EQ(total, in.entries.size());
    };
    built = BuildSaverDataFile(in, &many, progress, jobs);
    ASSERT_TRUE(built.ok()) << built.message();
    EXPECT_EQ(many, one) << jobs << " threads";
    ASSERT_EQ(counts.size(), in.entries.size());
    for (size_t i = 0; i < counts.size(); ++i) EXPECT_EQ(counts[i], i + 1);
    EXPECT_EQ(names.size(), in.entries.size());
  }

  FixtureOptions o;
  o.flashSetup = true;
  PackageInput input = MakeFixtureInput(o);
  input.segments[kSegDataFile]->data = one;
  input.segments[kSegSupportLib1]->data = MakeNoiseBytes(150000, 1);
  input.segments[kSegSupportLib2]->data = MakeTextBytes(150000, 2);
  const std::vector<uint8_t> stub = MakeFakeStub();
  std::vector<uint8_t> file;
  built = BuildInstaller(stub, input, &file, nullptr, 1);
  ASSERT_TRUE(built.ok()) << built.message();
  for (unsigned jobs : {3u, 11u}) {
    std::vector<uint8_t> again;
    built = BuildInstaller(stub, input, &again, nullptr, jobs);
    ASSERT_TRUE(built.ok()) << built.message();
    EXPECT_EQ(again, file) << jobs << " threads";
  }
  const std::vector<Finding> findings = VerifyInstaller(file);
  EXPECT_FALSE(HasFault(findings)) << FaultText(findings);
  sstest::TempFolder tmp;
  const Extraction extracted = ExtractInstaller(file, tmp / "x");
  ASSERT_EQ(extracted.result.message(), "");
  EXPECT_EQ(extracted.skipped.message(), "");
  for (size_t i = 1; i < in.entries.size(); ++i) {
    EXPECT_EQ(tmp.Read("x/data/media/" + std::to_string(i - 1) + ".bin"), in.entries[i].data) << i;
  }
}

TEST(Stub, OnlyAStubStampedWithItsOwnSizeIsAccepted) {
  const std::vector<uint8_t> good = MakeFakeStub(3000);
  EXPECT_TRUE(CheckStub(good).ok()) << CheckStub(good).message();

  std::vector<uint8_t> stale = good;  // stamped, then changed in size
  stale.resize(3512);
  const std::string staleFault = CheckStub(stale).message();
  EXPECT_NE(staleFault.find("differs from its size"), std::string::npos) << staleFault;

  std::vector<uint8_t> unstamped = good;
  PutLE32(unstamped.data() + 64 + kPackageOffsetTagSize, 0);
  EXPECT_FALSE(CheckStub(unstamped).ok());

  std::vector<uint8_t> twice = good;
  std::copy(kPackageOffsetTag, kPackageOffsetTag + kPackageOffsetTagSize, twice.begin() + 1000);
  const std::string twiceFault = CheckStub(twice).message();
  EXPECT_NE(twiceFault.find("more than once"), std::string::npos);

  std::vector<uint8_t> untagged(3000, 0x90);
  untagged[0] = 'M';
  untagged[1] = 'Z';
  EXPECT_FALSE(CheckStub(untagged).ok());

  std::vector<uint8_t> notExe = good;
  notExe[0] = 'Z';
  EXPECT_FALSE(CheckStub(notExe).ok());

  std::vector<uint8_t> out;
  // The stub's fault names the stub as the caller calls it.
  const ToolResult refused =
      BuildInstaller(stale, MakeFixtureInput(FixtureOptions()), &out, nullptr, 0, "my.exe");
  EXPECT_EQ(refused.exitCode(), kExitFault);
  ASSERT_EQ(refused.messages().size(), 1u);
  EXPECT_EQ(refused.message().rfind("my.exe: ", 0), 0u) << refused.message();
  EXPECT_TRUE(out.empty());
}

TEST(DataFile, EntriesWithSubFoldersReadBack) {
  DataFileInput in;
  for (size_t i = 0; i < in.settings.size(); ++i) in.settings[i] = static_cast<uint8_t>(i * 3);
  const char* names[] = {"a.txt", "media\\b.bin", "media\\deep\\c.txt"};
  for (int i = 0; i < 3; ++i) {
    in.entries.push_back(Entry(names[i], i == 1 ? MakeNoiseBytes(777, 5) : MakeTextBytes(4000, 6 + i)));
  }
  std::vector<uint8_t> data;
  std::string error;
  const ToolResult built = BuildSaverDataFile(in, &data);
  ASSERT_TRUE(built.ok()) << built.message();

  DataFileView view;
  ASSERT_EQ(ParseDataFile(data, &view).message(), "");
  EXPECT_EQ(view.header.entryCount(), 3);
  EXPECT_EQ(view.header.contentKind(), 0);
  // The settings pass through around the two fields the installer reads.
  EXPECT_TRUE(std::equal(in.settings.begin(), in.settings.begin() + 212, view.header.bytes.begin()));
  EXPECT_TRUE(std::equal(in.settings.begin() + 212, in.settings.begin() + 1200,
                         view.header.bytes.begin() + 216));
  EXPECT_TRUE(std::equal(in.settings.begin() + 1200, in.settings.end(),
                         view.header.bytes.begin() + 1208));
  int64_t next = kSaverDataHeaderSize + 3 * kSaverFileEntrySize;
  for (int i = 0; i < 3; ++i) {
    const DataEntryView& e = view.entries[i];
    EXPECT_EQ(e.entry.fileName, names[i]);
    EXPECT_EQ(e.entry.recordOffset, next);
    EXPECT_EQ(std::string(e.record.magic.begin(), e.record.magic.end()), "CHUN");
    next = e.entry.recordOffset + kChunkRecordSize + e.record.storedLength();
    std::vector<uint8_t> bytes;
    ASSERT_EQ(ReadDataEntry(data, e, &bytes).result.message(), "");
    EXPECT_EQ(bytes, in.entries[i].data);
  }
  EXPECT_EQ(view.entries[0].record.compressed, 1);  // text shrinks
  EXPECT_EQ(view.entries[1].record.compressed, 0);  // noise does not
  EXPECT_EQ(next, static_cast<int64_t>(data.size()));
  EXPECT_TRUE(VerifyDataFile(data, false).empty());
}

TEST(DataFile, EmptyAndMovieCopies) {
  DataFileInput empty;
  std::vector<uint8_t> data;
  ASSERT_TRUE(BuildSaverDataFile(empty, &data).ok());
  EXPECT_EQ(data.size(), kSaverDataHeaderSize);
  EXPECT_EQ(TSaverDataHeader::Parse(data.data()).entryCount(), 0);

  DataFileInput movie;
  movie.contentKind = 3;
  movie.entries = {CopyEntry("movie.swf"), Entry("x.txt", MakeTextBytes(100, 1)), CopyEntry("again.swf")};
  const ToolResult built = BuildSaverDataFile(movie, &data);
  ASSERT_TRUE(built.ok()) << built.message();
  DataFileView view;
  ASSERT_EQ(ParseDataFile(data, &view).message(), "");
  EXPECT_EQ(view.header.contentKind(), 3);
  EXPECT_EQ(view.entries[0].entry.entryType, TSaverFileEntry::kTypeCopy);
  EXPECT_EQ(view.entries[2].entry.entryType, TSaverFileEntry::kTypeCopy);
  EXPECT_TRUE(view.entries[0].copy && view.entries[2].copy);
  // A copy's record says "nothing to write" and no bytes follow it.
  const TChunkRecord r0 = TChunkRecord::Parse(data.data() + view.entries[0].entry.recordOffset);
  EXPECT_EQ(r0.originalSize, 0);
  EXPECT_EQ(view.entries[1].entry.recordOffset,
            view.entries[0].entry.recordOffset + static_cast<int32_t>(kChunkRecordSize));
  EXPECT_FALSE(HasFault(VerifyDataFile(data, true)));
  // Without a staged movie the installer cannot make entry 1.
  EXPECT_TRUE(HasFault(VerifyDataFile(data, false)));
}

TEST(InputChecks, DataFileFaults) {
  auto faultsOf = [](const std::vector<std::string>& names, int32_t kind, bool emptyFirst) {
    DataFileInput in;
    in.contentKind = kind;
    for (const std::string& n : names) in.entries.push_back(Entry(n, {1, 2, 3}));
    if (emptyFirst && !in.entries.empty()) in.entries[0].data.clear();
    return CheckDataFileInput(in);
  };
  EXPECT_TRUE(faultsOf({"a", "sub\\a"}, 0, false).ok());
  EXPECT_FALSE(faultsOf({"a.txt", "A.TXT"}, 0, false).ok());  // same name on Windows
  EXPECT_FALSE(faultsOf({"..\\a"}, 0, false).ok());
  EXPECT_FALSE(faultsOf({"a"}, 0, true).ok());                 // an empty file would vanish
  EXPECT_FALSE(faultsOf({"a"}, 3, false).ok());                // kind 3 without a movie entry
  std::vector<std::string> many;
  for (int i = 0; i <= kMaxSaverEntries; ++i) many.push_back("f" + std::to_string(i));
  EXPECT_FALSE(faultsOf(many, 0, false).ok());
  many.pop_back();
  EXPECT_TRUE(faultsOf(many, 0, false).ok());
}

TEST(InputChecks, PackageFaults) {
  auto faultsAfter = [](void (*change)(PackageInput*)) {
    PackageInput in = MakeFixtureInput(FixtureOptions());
    change(&in);
    return CheckPackageInput(in);
  };
  EXPECT_TRUE(faultsAfter([](PackageInput*) {}).ok());
  const std::vector<void (*)(PackageInput*)> faulty = {
      [](PackageInput* in) { in->title = std::string(65, 't'); },
      [](PackageInput* in) { in->title = "a\\b"; },
      [](PackageInput* in) { in->segments[kSegSupportLib2].reset(); },
      [](PackageInput* in) { in->segments[kSegSupportFile].reset(); },
      [](PackageInput* in) { in->segments[kSegPresentation].reset(); },
      [](PackageInput* in) { in->segments[kSegLibrary]->compression = Compression::kCompress; },
      [](PackageInput* in) { in->segments[kSegLibrary]->name = "impborl.dll"; },
      [](PackageInput* in) {
        in->segments[kSegFlashSetup] = *in->segments[kSegLicense];
        in->segments[kSegFlashSetup]->name = "setup.exe";
      },
      [](PackageInput* in) { in->segments[kSegEngine]->name = "other.scr"; },
      [](PackageInput* in) { in->segments[kSegSupportLib2]->name = "HELPER1.DLL"; },
      [](PackageInput* in) { in->segments[kSegSupportFile]->name = "saver.dat"; },
      [](PackageInput* in) { in->segments[kSegLicense]->name = "..\\x.txt"; },
      [](PackageInput* in) { in->displayMode = 5; },
      [](PackageInput* in) { in->flashVersionIndex = 2; },
      [](PackageInput* in) { in->displayMode = dmSilent; },  // still carries a movie
      [](PackageInput* in) { in->segments[kSegDataFile]->data.resize(100); },
  };
  for (size_t i = 0; i < faulty.size(); ++i) {
    EXPECT_FALSE(faultsAfter(faulty[i]).ok()) << "change " << i;
  }
  // Every fault is named at once, each in a message of its own.
  const ToolResult two = faultsAfter([](PackageInput* in) {
    in->flashVersionIndex = 2;
    in->segments[kSegLibrary]->name = "impborl.dll";
  });
  EXPECT_EQ(two.messages(),
            (std::vector<std::string>{"Flash version index 2 is neither 0 (Flash 7) nor 1 (Flash 8)",
                                      "segment 1 (library) must be named \"impborl.dat\""}));
}

}  // namespace
}  // namespace ss::pack
