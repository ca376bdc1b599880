// The cross-built stub and library against the package builder: the stub's
// stamp equals its size, a built installer begins with the stub's bytes and
// has its header exactly there, and the real impborl.dll expands every item
// that sspack imploded back into the original bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/TCompressor.h"
#include "tests/support/PackFixtures.h"
#include "tests/support/WinFiles.h"
#include "tools/common/FileIo.h"
#include "tools/read/InstallerReader.h"
#include "tools/read/StubImage.h"

namespace ss::pack {
namespace {

using sstest::ReadAll;

TEST(RealStub, IsStampedWithItsOwnSize) {
  const std::vector<uint8_t> stub = ReadAll(SS_STUB_PATH);
  ASSERT_GT(stub.size(), 4096u);
  StubSlot slot;
  const ToolResult found = FindStubSlot(stub, stub.size(), &slot);
  ASSERT_TRUE(found.ok()) << found.message();
  EXPECT_EQ(static_cast<size_t>(slot.value), stub.size());
  EXPECT_TRUE(CheckStub(stub).ok()) << CheckStub(stub).message();
}

TEST(RealStub, InstallerKeepsTheStubAndItsLibraryExpandsEveryItem) {
  const std::vector<uint8_t> stub = ReadAll(SS_STUB_PATH);
  FixtureOptions o;
  o.flashSetup = true;
  o.compression = Compression::kCompress;
  o.entryCompression = Compression::kCompress;
  o.library = ReadAll(SS_IMPBORL_PATH);
  const PackageInput input = MakeFixtureInput(o);
  std::vector<uint8_t> file;
  const ToolResult built = BuildInstaller(stub, input, &file);
  ASSERT_TRUE(built.ok()) << built.message();

  ASSERT_GT(file.size(), stub.size() + kPackageHeaderSize);
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), file.begin()));
  InstallerView view;
  const ToolResult read = ReadInstaller(file, &view);
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(static_cast<size_t>(view.packageOffset), stub.size());
  EXPECT_EQ(TPackageHeader::Parse(file.data() + stub.size()).title, o.title);

  // Segment 1 becomes impborl.dll in the work folder, as at start-up.
  sstest::ScratchDir work;
  std::vector<uint8_t> library;
  const ItemRead libraryRead = ReadSegment(file, view.header.segments[kSegLibrary], &library);
  ASSERT_TRUE(libraryRead.ok()) << libraryRead.result.message();
  const ToolResult written = WriteNewFile(work / "impborl.dll", library);
  ASSERT_TRUE(written.ok()) << written.message();

  auto expand = [&](const uint8_t* bytes, size_t count, const std::string& name) {
    const std::string target = work / name;
    TCompressor compressor(work.path());
    EXPECT_TRUE(compressor.loaded());
    compressor.ExpandToFile(target, bytes, static_cast<int32_t>(count));
    return sstest::ReadAll(target);
  };
  int expanded = 0;
  for (int i = 2; i < kSegmentCount; ++i) {
    const TSegmentEntry& s = view.header.segments[i];
    if (!s.present()) continue;
    ASSERT_EQ(s.compressed, 1) << "segment " << i;
    EXPECT_EQ(expand(file.data() + s.startOffset, static_cast<size_t>(s.storedLength()),
                     "segment" + std::to_string(i)),
              input.segments[i]->data)
        << "segment " << i;
    ++expanded;
  }
  const std::vector<uint8_t>& ssd = input.segments[kSegDataFile]->data;
  DataFileView data;
  ASSERT_TRUE(ParseDataFile(ssd, &data).ok());
  for (const DataEntryView& e : data.entries) {
    ASSERT_EQ(e.record.compressed, 1);
    std::vector<uint8_t> expected;
    const ItemRead entryRead = ReadDataEntry(ssd, e, &expected);
    ASSERT_TRUE(entryRead.ok()) << entryRead.result.message();
    EXPECT_EQ(expand(ssd.data() + e.entry.recordOffset + kChunkRecordSize,
                     static_cast<size_t>(e.record.packedSize), "entry" + std::to_string(e.number)),
              expected)
        << e.entry.fileName;
    ++expanded;
  }
  EXPECT_EQ(expanded, 9 + 3);
}

}  // namespace
}  // namespace ss::pack
