// TCompressor against the real impborl.dll, under Wine: loading by
// directory, the three failure kinds, byte-exact expansion into a file, and
// the DLL's classic exports called directly.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/Codec.h"
#include "core/DebugLog.h"
#include "package/TCompressor.h"
#include "tests/support/CodecIo.h"
#include "tests/support/WinFiles.h"
#include "tests/support/WinTestUtil.h"

namespace ss {
namespace {

using Bytes = std::vector<uint8_t>;

// A unix directory of the build tree as Wine sees it, with a trailing
// backslash.
std::string WineDir(const std::string& unixDir) { return sstest::WithSlash(sstest::WinePath(unixDir)); }

const std::string& DllDir() {
  static const std::string dir = WineDir(SS_IMPBORL_DIR);
  return dir;
}

std::vector<std::string>& LogLines() {
  static std::vector<std::string> lines;
  return lines;
}

bool Logged(const std::string& line) {
  for (const auto& l : LogLines())
    if (l == line) return true;
  return false;
}

using sstest::ReadAll;
using sstest::ScratchDir;
using sstest::WriteAll;

bool ModuleLoaded(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }

Bytes SampleData(size_t size) {
  Bytes d;
  uint32_t x = 12345;
  const char* words[] = {"screen ", "saver ", "installer ", "impborl ", "\r\n", "data "};
  while (d.size() < size) {
    x = x * 1103515245 + 12345;
    if ((x >> 16) % 5 == 0) {
      for (int i = 0; i < 8; ++i) d.push_back(static_cast<uint8_t>(x >> (i * 3)));
    } else {
      const char* w = words[(x >> 20) % 6];
      d.insert(d.end(), w, w + strlen(w));
    }
  }
  d.resize(size);
  return d;
}

class TCompressorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogLines().clear();
    old_ = SetDebugSink([](const char* line) { LogLines().push_back(line); });
  }
  void TearDown() override { SetDebugSink(old_); }
  DebugSink old_ = nullptr;
  ScratchDir dir_;
};

TEST_F(TCompressorTest, ExpandsToAFileByteExactly) {
  const Bytes data = SampleData(300000);
  Bytes stream;
  ASSERT_EQ(codec::ImplodeBuffer(data.data(), data.size(), codec::kCmpAscii, 4096, &stream), 0u);
  {
    TCompressor c(DllDir());
    ASSERT_TRUE(c.loaded());
    EXPECT_TRUE(Logged("TCompressor.Create " + DllDir()));
    EXPECT_TRUE(Logged("libraryPath: " + DllDir() + "impborl.dll"));
    EXPECT_TRUE(ModuleLoaded(DllDir() + "impborl.dll"));
    const std::string target = dir_.path() + "out.bin";
    c.ExpandToFile(target, stream.data(), static_cast<int32_t>(stream.size()));
    EXPECT_TRUE(ReadAll(target) == data);

    // A second expansion replaces the file.
    const Bytes small = {'h', 'e', 'l', 'l', 'o'};
    Bytes s2;
    ASSERT_EQ(codec::ImplodeBuffer(small.data(), small.size(), codec::kCmpBinary, 1024, &s2), 0u);
    c.ExpandToFile(target, s2.data(), static_cast<int32_t>(s2.size()));
    EXPECT_EQ(ReadAll(target), small);
  }
  // The destructor released the library.
  EXPECT_FALSE(ModuleLoaded(DllDir() + "impborl.dll"));
}

TEST_F(TCompressorTest, OutputLimitStopsAStreamThatExpandsBeyondIt) {
  // Highly repetitive data: a tiny stream that expands a thousandfold.
  const Bytes data(4 * 1024 * 1024, 'A');
  Bytes stream;
  ASSERT_EQ(codec::ImplodeBuffer(data.data(), data.size(), codec::kCmpBinary, 4096, &stream), 0u);
  ASSERT_LT(stream.size(), data.size() / 100);
  TCompressor c(DllDir());
  ASSERT_TRUE(c.loaded());
  const std::string target = dir_.path() + "bomb.bin";
  c.ExpandToFile(target, stream.data(), static_cast<int32_t>(stream.size()), 1000);
  const size_t written = ReadAll(target).size();
  EXPECT_GT(written, 1000u);              // it did pass the limit...
  EXPECT_LE(written, 1000u + 64 * 1024);  // ...by no more than one piece of output
  // Without a limit the whole stream expands.
  c.ExpandToFile(target, stream.data(), static_cast<int32_t>(stream.size()));
  EXPECT_EQ(ReadAll(target).size(), data.size());
}

// The installer's way: a stream that lies inside a larger file, read from
// there in blocks while it expands; written in blocks too, so the output is
// larger than several of them. The source may end early or not be readable.
TEST_F(TCompressorTest, ExpandsStraightFromAFileRange) {
  const Bytes data = SampleData(3 * TCompressor::kOutputBlock + 12345);
  Bytes stream;
  ASSERT_EQ(codec::ImplodeBuffer(data.data(), data.size(), codec::kCmpBinary, 4096, &stream), 0u);
  ASSERT_GT(stream.size(), 2 * TCompressor::kInputBlock);
  // The stream between two other blocks of bytes.
  Bytes file(777, 0x5A);
  file.insert(file.end(), stream.begin(), stream.end());
  file.insert(file.end(), 999, 0xA5);
  const std::string source = dir_.path() + "package.bin";
  ASSERT_TRUE(WriteAll(source, file));
  constexpr int32_t kShort = -77;
  const int64_t whole = static_cast<int64_t>(stream.size());
  DWORD after = 0;  // the file position after an expansion
  // Expands `count` bytes from `at` of the file opened with `access`.
  auto expand = [&](TCompressor& with, DWORD access, int64_t count, const std::string& to, int64_t limit,
                    LONG at = 777) {
    HANDLE h = CreateFileA(source.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    SetFilePointer(h, at, nullptr, FILE_BEGIN);
    const TCompressor::Outcome o = with.ExpandFromFile(h, count, to, limit, kShort);
    after = SetFilePointer(h, 0, nullptr, FILE_CURRENT);
    CloseHandle(h);
    return o;
  };
  TCompressor c(DllDir());
  ASSERT_TRUE(c.loaded());
  const std::string target = dir_.path() + "out.bin";

  TCompressor::Outcome o = expand(c, GENERIC_READ, whole, target, -1);
  EXPECT_EQ(o.result, 0);
  EXPECT_FALSE(o.readFailed);
  EXPECT_TRUE(o.created);
  EXPECT_EQ(o.size, static_cast<int64_t>(data.size()));
  EXPECT_TRUE(ReadAll(target) == data);
  // Exactly the stream was read: the file position is at the block after it.
  EXPECT_EQ(after, 777 + stream.size());

  // The limit holds here too, and the size tells what reached the disk.
  o = expand(c, GENERIC_READ, whole, target, 1000);
  EXPECT_EQ(o.result, 0);
  EXPECT_GT(o.size, 1000);
  EXPECT_LE(o.size, 1000 + 64 * 1024);
  EXPECT_EQ(static_cast<int64_t>(ReadAll(target).size()), o.size);

  // A count beyond the end of the file: the caller's code for a short input.
  o = expand(c, GENERIC_READ, 2000, target, -1, static_cast<LONG>(file.size()) - 500);
  EXPECT_EQ(o.result, kShort);
  EXPECT_TRUE(o.readFailed);
  EXPECT_TRUE(o.created);

  // A handle that may not read: the system's reason.
  o = expand(c, GENERIC_WRITE, whole, target, -1);
  EXPECT_EQ(o.result, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(o.readFailed);

  // A target that cannot be created: nothing read, nothing created.
  o = expand(c, GENERIC_READ, whole, dir_.path() + "no such dir\\out.bin", -1);
  EXPECT_EQ(o.result, ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(o.readFailed);
  EXPECT_FALSE(o.created);
  EXPECT_EQ(after, 777u);

  // Without the library there is nothing to expand with.
  TCompressor missing(dir_.path());
  ASSERT_FALSE(missing.loaded());
  o = expand(missing, GENERIC_READ, whole, target, -1);
  EXPECT_EQ(o.result, -1);
  EXPECT_FALSE(o.created);
}

TEST_F(TCompressorTest, EveryModeAndDictionarySize) {
  const Bytes data = SampleData(20000);
  TCompressor c(DllDir());
  ASSERT_TRUE(c.loaded());
  for (unsigned mode : {codec::kCmpBinary, codec::kCmpAscii}) {
    for (unsigned dict : {1024u, 2048u, 4096u}) {
      Bytes stream;
      ASSERT_EQ(codec::ImplodeBuffer(data.data(), data.size(), mode, dict, &stream), 0u);
      const std::string target = dir_.path() + "m" + std::to_string(mode) + "d" + std::to_string(dict);
      c.ExpandToFile(target, stream.data(), static_cast<int32_t>(stream.size()));
      EXPECT_TRUE(ReadAll(target) == data) << mode << " " << dict;
    }
  }
}

TEST_F(TCompressorTest, EmptyPathUsesTheSystemLibrarySearch) {
  ASSERT_TRUE(SetDllDirectoryA(DllDir().c_str()));
  {
    TCompressor c("");
    EXPECT_TRUE(c.loaded());
    EXPECT_TRUE(Logged("libraryPath: impborl.dll"));
  }
  SetDllDirectoryA(nullptr);
  TCompressor again("");
  EXPECT_FALSE(again.loaded());  // not found by the search any more
  EXPECT_FALSE(Logged("TCompressor.Create failed: 5"));  // no existence check for the bare name
}

TEST_F(TCompressorTest, DirectoryWithoutTheLibrary) {
  TCompressor c(dir_.path());
  EXPECT_FALSE(c.loaded());
  EXPECT_TRUE(Logged("TCompressor.Create failed: 5"));
}

TEST_F(TCompressorTest, LibraryLackingAnExportIsReleased) {
  const std::string lacking = WineDir(SS_LACKING_DIR);
  ASSERT_NE(GetFileAttributesA((lacking + "impborl.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  TCompressor c(lacking);
  EXPECT_FALSE(c.loaded());
  EXPECT_TRUE(Logged("TCompressor.Create failed: 6"));
  EXPECT_FALSE(ModuleLoaded(lacking + "impborl.dll"));
}

TEST_F(TCompressorTest, FileThatIsNoLibrary) {
  const std::string text = "this is not a portable executable";
  ASSERT_TRUE(WriteAll(dir_.path() + "impborl.dll", Bytes(text.begin(), text.end())));
  TCompressor c(dir_.path());
  EXPECT_FALSE(c.loaded());
  bool failed = false;
  for (const auto& l : LogLines()) {
    if (l.rfind("TCompressor.Create failed: ", 0) == 0) {
      failed = true;
      const std::string code = l.substr(27);
      EXPECT_NE(code, "0");
      EXPECT_NE(code, "5");
      EXPECT_NE(code, "6");
    }
  }
  EXPECT_TRUE(failed);
}

TEST_F(TCompressorTest, DamagedStreamLeavesAShortFileAndNoError) {
  const Bytes data = SampleData(50000);
  Bytes stream;
  ASSERT_EQ(codec::ImplodeBuffer(data.data(), data.size(), codec::kCmpBinary, 2048, &stream), 0u);
  TCompressor c(DllDir());
  ASSERT_TRUE(c.loaded());
  const std::string target = dir_.path() + "short.bin";
  EXPECT_EQ(c.ExpandToFile(target, stream.data(), static_cast<int32_t>(stream.size() / 2)), 0);
  const Bytes got = ReadAll(target);
  EXPECT_LT(got.size(), data.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));

  const Bytes junk = {0x07, 0x09, 1, 2, 3};  // bad header: nothing written
  EXPECT_EQ(c.ExpandToFile(target, junk.data(), static_cast<int32_t>(junk.size())), 0);
  EXPECT_TRUE(ReadAll(target).empty());
  EXPECT_EQ(c.ExpandToFile(target, nullptr, 0), 0);
  EXPECT_TRUE(ReadAll(target).empty());
}

TEST_F(TCompressorTest, TargetThatCannotBeCreatedGivesTheStreamError) {
  TCompressor c(DllDir());
  ASSERT_TRUE(c.loaded());
  const std::string target = dir_.path() + "no such dir\\out.bin";
  const Bytes stream = {0x00, 0x04, 0x82, 0x24, 0x25, 0x8f, 0x80, 0x7f};
  EStreamError error;
  EXPECT_EQ(c.ExpandToFile(target, stream.data(), static_cast<int32_t>(stream.size()), -1, &error), -1);
  EXPECT_EQ(error.message, "Cannot create file " + target);
  EXPECT_EQ(error.code, static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
}

// The DLL's exports, called directly with the classic arguments (mode,
// dictionary size, size and old crc passed by address).
TEST(ImpBorlDll, ClassicExports) {
  HMODULE h = LoadLibraryA((DllDir() + "impborl.dll").c_str());
  ASSERT_NE(h, nullptr);
  using Crc = unsigned long(__cdecl*)(char*, unsigned*, unsigned long*);
  using Imp = unsigned(__cdecl*)(codec::ReadFn, codec::WriteFn, char*, void*, unsigned*, unsigned*);
  using Exp = unsigned(__cdecl*)(codec::ReadFn, codec::WriteFn, char*, void*);
  auto crc = reinterpret_cast<Crc>(reinterpret_cast<void*>(GetProcAddress(h, "_crc32")));
  auto imp = reinterpret_cast<Imp>(reinterpret_cast<void*>(GetProcAddress(h, "_implode")));
  auto exp = reinterpret_cast<Exp>(reinterpret_cast<void*>(GetProcAddress(h, "_explode")));
  ASSERT_TRUE(crc && imp && exp);
  EXPECT_EQ(GetProcAddress(h, "implode"), nullptr);
  EXPECT_EQ(GetProcAddress(h, "impborl_implode"), nullptr);

  char digits[] = "123456789";
  unsigned n = 9;
  unsigned long seed = 0xFFFFFFFFul;
  EXPECT_EQ(~crc(digits, &n, &seed) & 0xFFFFFFFFul, 0xCBF43926ul);

  // The library builds its code tables when it is loaded; the codec linked
  // in here has them from the compiler: both must write and read the same
  // streams in every mode.
  using codec::test::Io;
  const Bytes data = SampleData(40000);
  std::vector<char> work(codec::kImplodeWorkSize);
  std::vector<char> work2(codec::kExplodeWorkSize);
  unsigned type = 0, dict = 0;
  for (unsigned mode : {codec::kCmpBinary, codec::kCmpAscii}) {
    for (unsigned size : {1024u, 2048u, 4096u}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", dictionary " << size);
      Io a{data.data(), data.size(), 0, SIZE_MAX, {}};
      type = mode;
      dict = size;
      EXPECT_EQ(imp(Io::Read, Io::Write, work.data(), &a, &type, &dict), 0u);
      Bytes expected;
      ASSERT_EQ(codec::ImplodeBuffer(data.data(), data.size(), type, dict, &expected), 0u);
      EXPECT_TRUE(a.out == expected);
      Io b{a.out.data(), a.out.size(), 0, SIZE_MAX, {}};
      EXPECT_EQ(exp(Io::Read, Io::Write, work2.data(), &b), 0u);
      EXPECT_TRUE(b.out == data);
    }
  }
  Io a{data.data(), data.size(), 0, SIZE_MAX, {}};
  dict = 3000;
  EXPECT_EQ(imp(Io::Read, Io::Write, work.data(), &a, &type, &dict), codec::kCmpInvalidDictSize);
  FreeLibrary(h);
}

}  // namespace
}  // namespace ss
