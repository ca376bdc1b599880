// ImplodeFast: the hash-chain, lazy-parse encoder. Its streams must decode
// (ours and StormLib's decoder) to the input in all six mode/dictionary
// combinations, depend on the data only, reach every distance the format
// allows, and stay close to StormLib's and our optimal parse's sizes.
#include <gtest/gtest.h>

#include "codec/ImplodeFast.h"
#include "tests/host/codec/CodecTestSupport.h"
#include "tests/host/codec/StormOracle.h"

namespace ss::codec::test {
namespace {

const std::vector<Sample>& TheCorpus() {
  static const std::vector<Sample> corpus = [] {
    std::vector<Sample> c = Corpus();
    // Longer than the 16-bit positions the chains store and than the input
    // window, so the window slides and stored positions wrap many times.
    c.push_back({"big", Mixed(6, 30000, 5000, 40)});
    return c;
  }();
  return corpus;
}

class FastCombo : public ComboTest {};

TEST_P(FastCombo, RoundTripsThroughBothDecoders) {
  for (const Sample& s : TheCorpus()) {
    SCOPED_TRACE(s.name);
    Bytes stream, out;
    ASSERT_EQ(ImplodeFastBuffer(s.data.data(), s.data.size(), mode(), dict(), &stream), kCmpNoError);
    ASSERT_GE(stream.size(), 4u);
    EXPECT_EQ(stream[0], mode());
    EXPECT_EQ(64u << stream[1], dict());
    for (size_t chunk : {size_t(7), size_t(4097), SIZE_MAX}) {
      EXPECT_EQ(ExplodeWithChunk(stream, chunk, &out), kCmpNoError) << "chunk " << chunk;
      EXPECT_TRUE(out == s.data) << "chunk " << chunk;
    }
    if (s.data.empty()) continue;  // StormLib needs more than a 4-byte stream
    EXPECT_EQ(StormExplode(stream.data(), stream.size(), &out), 0u);
    EXPECT_TRUE(out == s.data);
  }
}

TEST_P(FastCombo, IgnoresReadSizesAndWorkBufferContents) {
  for (const Sample& s : TheCorpus()) {
    if (s.data.size() > 60000 && s.name != "big") continue;
    SCOPED_TRACE(s.name);
    Bytes a, b, c;
    ASSERT_EQ(ImplodeWithChunk(s.data, mode(), dict(), SIZE_MAX, &a, 0, 0x00, ImplodeFast), kCmpNoError);
    ASSERT_EQ(ImplodeWithChunk(s.data, mode(), dict(), 1, &b, 3, 0xFF, ImplodeFast), kCmpNoError);
    ASSERT_EQ(ImplodeWithChunk(s.data, mode(), dict(), 4097, &c, 5, 0xA5, ImplodeFast), kCmpNoError);
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == c);
  }
}

TEST_P(FastCombo, ReachesExactlyTheDictionarySizeBack) {
  // A random block repeated at the dictionary size compresses only through
  // matches at the farthest distance; one byte longer, not at all.
  const Bytes reach = Periodic(dict(), 6, 99);
  const Bytes beyond = Periodic(dict() + 1, 6, 99);
  Bytes a, b;
  ASSERT_EQ(ImplodeFastBuffer(reach.data(), reach.size(), mode(), dict(), &a), kCmpNoError);
  ASSERT_EQ(ImplodeFastBuffer(beyond.data(), beyond.size(), mode(), dict(), &b), kCmpNoError);
  EXPECT_LT(a.size(), reach.size() / 3);
  EXPECT_GT(b.size(), beyond.size());
}

TEST_P(FastCombo, StaysCloseToStormLibAndTheOptimalParse) {
  // Within 5 % of StormLib's output and 8 % of our optimal parse on every
  // compressible sample; a match finder that misses matches (a broken
  // chain, a wrong window) shows here long before it shows as a failure.
  for (const Sample& s : TheCorpus()) {
    if (s.data.size() < 1000 || s.name == "random") continue;
    SCOPED_TRACE(s.name);
    Bytes fast, best, storm;
    ASSERT_EQ(ImplodeFastBuffer(s.data.data(), s.data.size(), mode(), dict(), &fast), kCmpNoError);
    ASSERT_EQ(ImplodeBuffer(s.data.data(), s.data.size(), mode(), dict(), &best), kCmpNoError);
    ASSERT_EQ(StormImplode(s.data.data(), s.data.size(), mode(), dict(), &storm), 0u);
    EXPECT_LE(fast.size(), storm.size() + storm.size() * 5 / 100);
    EXPECT_LE(fast.size(), best.size() + best.size() * 8 / 100);
  }
}

// Imploded in pieces, each given up to 4096 bytes before it as history, the
// pieces joined bit after bit are one stream that both decoders expand to
// the whole input, with either encoder; the joins cost a few bytes at most.
TEST_P(FastCombo, PiecesJoinIntoOneStream) {
  const Sample* big = nullptr;
  for (const Sample& s : TheCorpus()) {
    if (s.name == "big") big = &s;
  }
  ASSERT_NE(big, nullptr);
  const Bytes& data = big->data;
  for (bool fast : {false, true}) {
    SCOPED_TRACE(fast ? "fast" : "thorough");
    Bytes whole;
    ASSERT_EQ((fast ? ImplodeFastBuffer : ImplodeBuffer)(data.data(), data.size(), mode(), dict(),
                                                         &whole),
              kCmpNoError);
    Bytes joined;
    unsigned tail = 0;
    size_t from = 0, pieces = 0;
    for (size_t cut : {size_t(1), size_t(2), size_t(7), size_t(4000), size_t(4097), size_t(9),
                       size_t(30011), size_t(65536), size_t(3)}) {
      const size_t to = pieces == 8 ? data.size() : from + cut;
      const size_t prime = from < 4096 ? from : 4096;
      Io io{data.data() + from - prime, to - from + prime, 0, pieces % 2 ? size_t(7) : SIZE_MAX, {}};
      std::unique_ptr<char[]> work(new char[kImplodeWorkSize]);
      unsigned type = mode(), dictSize = dict(), pieceTail = 9;
      const unsigned flags = (from == 0 ? kPieceFirst : 0) | (to == data.size() ? kPieceLast : 0);
      ASSERT_EQ((fast ? ImplodeFastPiece : ImplodePiece)(Io::Read, Io::Write, work.get(), &io,
                                                         &type, &dictSize, unsigned(prime), flags,
                                                         &pieceTail),
                kCmpNoError);
      ASSERT_LT(pieceTail, 8u);
      AppendPieceBits(&joined, &tail, io.out.data(), io.out.size(), pieceTail);
      from = to;
      ++pieces;
    }
    ASSERT_EQ(from, data.size());
    Bytes out;
    EXPECT_EQ(ExplodeWithChunk(joined, SIZE_MAX, &out), kCmpNoError);
    EXPECT_TRUE(out == data);
    EXPECT_EQ(StormExplode(joined.data(), joined.size(), &out), 0u);
    EXPECT_TRUE(out == data);
    EXPECT_LE(joined.size(), whole.size() + 4 * pieces);
  }
  // History beyond the largest dictionary is refused.
  Io io{data.data(), 5000, 0, SIZE_MAX, {}};
  std::unique_ptr<char[]> work(new char[kImplodeWorkSize]);
  unsigned type = mode(), dictSize = dict(), pieceTail = 0;
  EXPECT_EQ(ImplodePiece(Io::Read, Io::Write, work.get(), &io, &type, &dictSize, 4097,
                         kPieceFirst, &pieceTail),
            kCmpAbort);
  EXPECT_EQ(ImplodeFastPiece(Io::Read, Io::Write, work.get(), &io, &type, &dictSize, 4097,
                             kPieceFirst, &pieceTail),
            kCmpAbort);
}

INSTANTIATE_TEST_SUITE_P(All, FastCombo, AllCombos(), ComboName);

TEST(CodecImplodeFast, ParametersAndEmptyInputAsImplode) {
  Bytes out, classic;
  const Bytes data = {1, 2, 3};
  EXPECT_EQ(ImplodeFastBuffer(data.data(), data.size(), kCmpBinary, 512, &out), kCmpInvalidDictSize);
  EXPECT_EQ(ImplodeFastBuffer(data.data(), data.size(), 2, 4096, &out), kCmpInvalidMode);
  EXPECT_EQ(ImplodeFastBuffer(data.data(), data.size(), 2, 100, &out), kCmpInvalidDictSize);
  EXPECT_TRUE(out.empty());
  for (unsigned mode : {kCmpBinary, kCmpAscii}) {
    ASSERT_EQ(ImplodeFastBuffer(nullptr, 0, mode, 2048, &out), kCmpNoError);
    ASSERT_EQ(ImplodeBuffer(nullptr, 0, mode, 2048, &classic), kCmpNoError);
    EXPECT_EQ(out, classic);
  }
}

// The size floor is below what either encoder makes of every sample, and
// above the size of data that cannot shrink.
TEST(CodecImplodeFast, SizeFloorHoldsForBothEncoders) {
  std::vector<Sample> samples = TheCorpus();
  samples.push_back({"repeats at 256 and 4096", Periodic(256, 3, 5)});
  Bytes far = Periodic(4096, 3, 6);
  far.insert(far.end(), 300, 7);
  samples.push_back({"far repeats and a run", far});
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.name);
    const size_t floor = ImplodedSizeFloor(s.data.data(), s.data.size());
    for (unsigned dict : {1024u, 4096u}) {
      Bytes best, fast;
      ASSERT_EQ(ImplodeBuffer(s.data.data(), s.data.size(), kCmpBinary, dict, &best), kCmpNoError);
      ASSERT_EQ(ImplodeFastBuffer(s.data.data(), s.data.size(), kCmpBinary, dict, &fast),
                kCmpNoError);
      EXPECT_LE(floor, best.size());
      EXPECT_LE(floor, fast.size());
      // Tight where nothing repeats: the optimal parse is then all literals.
      if (s.name == "random") {
        EXPECT_GE(floor + floor * 3 / 100, best.size());
      }
    }
    // Counted by parts (each with the history before it), the same.
    const size_t n = s.data.size();
    uint64_t parts = 0;
    size_t from = 0;
    for (size_t to : {size_t(1), size_t(4099), size_t(4100), size_t(9000), size_t(70000), n}) {
      to = to < n ? to : n;
      if (to < from) continue;
      parts += UncoverableBytes(s.data.data(), n, from, to);
      from = to;
    }
    EXPECT_EQ(4 + (9 * parts + 7) / 8, floor);
  }
  const Bytes noise = Random(200000, 8);
  EXPECT_GE(ImplodedSizeFloor(noise.data(), noise.size()), noise.size());
  EXPECT_EQ(ImplodedSizeFloor(nullptr, 0), 4u);
}

TEST(CodecImplodeFast, LongRunsUseLongestMatches) {
  // 518-byte matches at distance 1: 24 bits each after the first byte.
  const Bytes zeros(1 << 20, 0);
  Bytes stream, out;
  ASSERT_EQ(ImplodeFastBuffer(zeros.data(), zeros.size(), kCmpBinary, 4096, &stream), kCmpNoError);
  EXPECT_LT(stream.size(), 6200u);
  EXPECT_EQ(ExplodeBuffer(stream.data(), stream.size(), &out, zeros.size()), kCmpNoError);
  EXPECT_TRUE(out == zeros);
}

}  // namespace
}  // namespace ss::codec::test
