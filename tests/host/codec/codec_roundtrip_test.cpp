// Round trips over a varied corpus in all six mode/dictionary combinations,
// StormLib as an oracle in both directions, and the work-buffer contract.
#include <gtest/gtest.h>

#include "tests/host/codec/CodecTestSupport.h"
#include "tests/host/codec/StormOracle.h"

namespace ss::codec::test {
namespace {

const std::vector<Sample>& TheCorpus() {
  static const std::vector<Sample> corpus = Corpus();
  return corpus;
}

class CodecCombo : public ComboTest {};

TEST_P(CodecCombo, RoundTripWithManyReadSizes) {
  for (const Sample& s : TheCorpus()) {
    SCOPED_TRACE(s.name);
    Bytes stream;
    ASSERT_EQ(ImplodeBuffer(s.data.data(), s.data.size(), mode(), dict(), &stream), kCmpNoError);
    ASSERT_GE(stream.size(), 4u);
    EXPECT_EQ(stream[0], mode());
    EXPECT_EQ(64u << stream[1], dict());
    const bool big = s.data.size() > 20000;
    for (size_t chunk : {size_t(1), size_t(4), size_t(7), size_t(4097), SIZE_MAX}) {
      if (big && chunk == 1) continue;  // one-byte reads of the large samples: see below
      Bytes out;
      EXPECT_EQ(ExplodeWithChunk(stream, chunk, &out), kCmpNoError) << "chunk " << chunk;
      EXPECT_TRUE(out == s.data) << "chunk " << chunk;
    }
  }
}

TEST_P(CodecCombo, OneByteReadsOfALargeSample) {
  const Sample& s = TheCorpus()[4];  // text
  Bytes stream, out;
  ASSERT_EQ(ImplodeBuffer(s.data.data(), s.data.size(), mode(), dict(), &stream), kCmpNoError);
  EXPECT_EQ(ExplodeWithChunk(stream, 1, &out), kCmpNoError);
  EXPECT_TRUE(out == s.data);
}

TEST_P(CodecCombo, ImplodeIgnoresReadSizesAndWorkBufferContents) {
  // The stream depends on the data only: not on how the read callback
  // delivers it, the work buffer's alignment or what the buffer held before.
  for (const Sample& s : TheCorpus()) {
    if (s.data.size() > 60000) continue;
    SCOPED_TRACE(s.name);
    Bytes a, b, c;
    ASSERT_EQ(ImplodeWithChunk(s.data, mode(), dict(), SIZE_MAX, &a, 0, 0x00), kCmpNoError);
    ASSERT_EQ(ImplodeWithChunk(s.data, mode(), dict(), 7, &b, 3, 0xFF), kCmpNoError);
    ASSERT_EQ(ImplodeWithChunk(s.data, mode(), dict(), 4097, &c, 5, 0xA5), kCmpNoError);
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == c);
  }
}

TEST_P(CodecCombo, StormLibExplodesOurStreams) {
  for (const Sample& s : TheCorpus()) {
    if (s.data.empty()) continue;  // our 4-byte stream: StormLib needs more than 4 bytes
    SCOPED_TRACE(s.name);
    Bytes stream, out;
    ASSERT_EQ(ImplodeBuffer(s.data.data(), s.data.size(), mode(), dict(), &stream), kCmpNoError);
    EXPECT_EQ(StormExplode(stream.data(), stream.size(), &out), 0u);
    EXPECT_TRUE(out == s.data);
  }
}

TEST_P(CodecCombo, WeExplodeStormLibStreams) {
  for (const Sample& s : TheCorpus()) {
    SCOPED_TRACE(s.name);
    Bytes stream, out;
    ASSERT_EQ(StormImplode(s.data.data(), s.data.size(), mode(), dict(), &stream), 0u);
    for (size_t chunk : {size_t(3), SIZE_MAX}) {
      EXPECT_EQ(ExplodeWithChunk(stream, chunk, &out), kCmpNoError);
      EXPECT_TRUE(out == s.data);
    }
  }
}

TEST_P(CodecCombo, NoLargerThanStormLibOnCompressibleData) {
  // Our parse is optimal for the format's fixed codes, StormLib's is lazy:
  // on everything with matches in it we must not lose.
  for (const Sample& s : TheCorpus()) {
    if (s.data.size() < 1000 || s.name == "random") continue;
    SCOPED_TRACE(s.name);
    Bytes ours, theirs;
    ASSERT_EQ(ImplodeBuffer(s.data.data(), s.data.size(), mode(), dict(), &ours), kCmpNoError);
    ASSERT_EQ(StormImplode(s.data.data(), s.data.size(), mode(), dict(), &theirs), 0u);
    EXPECT_LE(ours.size(), theirs.size());
  }
}

INSTANTIATE_TEST_SUITE_P(All, CodecCombo, AllCombos(), ComboName);

TEST(CodecImplode, InvalidParameters) {
  Bytes out;
  const Bytes data = {1, 2, 3};
  EXPECT_EQ(ImplodeBuffer(data.data(), data.size(), kCmpBinary, 512, &out), kCmpInvalidDictSize);
  EXPECT_EQ(ImplodeBuffer(data.data(), data.size(), kCmpBinary, 4095, &out), kCmpInvalidDictSize);
  EXPECT_EQ(ImplodeBuffer(data.data(), data.size(), kCmpBinary, 8192, &out), kCmpInvalidDictSize);
  EXPECT_EQ(ImplodeBuffer(data.data(), data.size(), 2, 4096, &out), kCmpInvalidMode);
  EXPECT_EQ(ImplodeBuffer(data.data(), data.size(), 2, 100, &out), kCmpInvalidDictSize);
  EXPECT_TRUE(out.empty());  // nothing written
}

TEST(CodecImplode, EmptyInputIsHeaderAndEndCode) {
  Bytes out;
  ASSERT_EQ(ImplodeBuffer(nullptr, 0, kCmpAscii, 2048, &out), kCmpNoError);
  EXPECT_EQ(out, (Bytes{1, 5, 0x01, 0xFF}));  // flag 1, length code 0000000, extra bits 11111111
}

TEST(CodecExplode, OutputLimitStopsWithAbort) {
  const Bytes zeros(1 << 20, 0);
  Bytes stream, out;
  ASSERT_EQ(ImplodeBuffer(zeros.data(), zeros.size(), kCmpBinary, 4096, &stream), kCmpNoError);
  EXPECT_LT(stream.size(), 6200u);  // 24 bits per 518 bytes
  EXPECT_EQ(ExplodeBuffer(stream.data(), stream.size(), &out, 1000), kCmpAbort);
  EXPECT_EQ(out, Bytes(1000, 0));
  EXPECT_EQ(ExplodeBuffer(stream.data(), stream.size(), &out, zeros.size() - 1), kCmpAbort);
  EXPECT_EQ(out.size(), zeros.size() - 1);
  EXPECT_EQ(ExplodeBuffer(stream.data(), stream.size(), &out, zeros.size()), kCmpNoError);
  EXPECT_EQ(out, zeros);
  EXPECT_EQ(ExplodeBuffer(stream.data(), stream.size(), &out, 0), kCmpAbort);
  EXPECT_TRUE(out.empty());
}

TEST(CodecExplode, ReadCallbackClaimingMoreThanAskedIsClamped) {
  struct Liar {
    static unsigned Read(char* buf, unsigned* n, void* p) {
      auto* left = static_cast<int*>(p);
      if (*left == 0) return 0;
      --*left;
      std::memset(buf, 0, *n);
      return *n + 1000;
    }
    static void Write(char*, unsigned*, void*) {}
  };
  int reads = 3;
  std::unique_ptr<char[]> work(new char[kExplodeWorkSize]);
  EXPECT_NE(Explode(Liar::Read, Liar::Write, work.get(), &reads), kCmpNoError);
}

TEST(CodecExplode, WorkBufferNeedsNoAlignmentOrZeroing) {
  const Sample& s = TheCorpus()[5];  // binary
  Bytes stream;
  ASSERT_EQ(ImplodeBuffer(s.data.data(), s.data.size(), kCmpBinary, 4096, &stream), kCmpNoError);
  for (size_t offset = 0; offset < 8; ++offset) {
    Bytes out;
    EXPECT_EQ(ExplodeWithChunk(stream, 4097, &out, offset), kCmpNoError);
    EXPECT_TRUE(out == s.data);
  }
}

}  // namespace
}  // namespace ss::codec::test
