// Golden and hand-made vectors. The hand-made streams are written bit by bit
// from the format notes (codec/FORMAT.md), not by our encoder, and each is
// also checked against StormLib's explode, so a mistake shared by our encoder
// and decoder cannot hide here.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/host/codec/CodecTestSupport.h"
#include "tests/host/codec/StormOracle.h"

namespace ss::codec::test {
namespace {

// Length codes in stream order with their extra bits.
struct LenRow {
  unsigned base, extra;
  const char* code;
};
constexpr LenRow kLenRows[] = {
    {2, 0, "101"},     {3, 0, "11"},      {4, 0, "100"},      {5, 0, "011"},
    {6, 0, "0101"},    {7, 0, "0100"},    {8, 0, "0011"},     {9, 0, "00101"},
    {10, 1, "00100"},  {12, 2, "00011"},  {16, 3, "00010"},   {24, 4, "000011"},
    {40, 5, "000010"}, {72, 6, "000001"}, {136, 7, "0000001"}, {264, 8, "0000000"}};

// The distance codes the vectors use, by symbol ((distance - 1) >> low bits).
const std::map<unsigned, const char*> kDistCodes = {
    {0, "11"}, {1, "1011"}, {2, "1010"}, {4, "10010"}, {9, "011101"}, {18, "010100"}, {63, "00000000"}};

void Match(HandStream& s, unsigned len, unsigned dist, unsigned dictBits) {
  s.Bits("1");
  for (const LenRow& r : kLenRows) {
    if (len >= r.base && len < r.base + (1u << r.extra)) {
      s.Bits(r.code).Value(len - r.base, r.extra);
      break;
    }
  }
  unsigned low = len == 2 ? 2 : dictBits;
  unsigned sym = (dist - 1) >> low;
  ASSERT_TRUE(kDistCodes.count(sym)) << "no hand code for distance symbol " << sym;
  s.Bits(kDistCodes.at(sym)).Value((dist - 1) & ((1u << low) - 1), low);
}

// Both decoders must turn `stream` into `expected`, with every read size.
void ExpectDecodes(const Bytes& stream, const Bytes& expected) {
  for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(4), size_t(7), size_t(64),
                       size_t(4097), SIZE_MAX}) {
    Bytes out;
    EXPECT_EQ(ExplodeWithChunk(stream, chunk, &out), kCmpNoError) << "chunk " << chunk;
    EXPECT_EQ(out, expected) << "chunk " << chunk;
  }
  if (stream.size() > 4) {  // StormLib wants more than 4 bytes in its first read
    Bytes storm;
    EXPECT_EQ(StormExplode(stream.data(), stream.size(), &storm), 0u);
    EXPECT_EQ(storm, expected) << "StormLib disagrees with the hand-made vector";
  }
}

TEST(CodecVectors, PublicGoldenVector) {
  const Bytes stream = {0x00, 0x04, 0x82, 0x24, 0x25, 0x8f, 0x80, 0x7f};
  const std::string text = "AIAIAIAIAIAIA";
  ExpectDecodes(stream, Bytes(text.begin(), text.end()));
  // The same stream written by hand: literals A and I, a match of 11 at 2.
  HandStream s(kCmpBinary, 4);
  s.BinaryLiteral('A').BinaryLiteral('I');
  Match(s, 11, 2, 4);
  s.End();
  EXPECT_EQ(s.Done(), stream);
}

TEST(CodecVectors, AsciiMode) {
  // Literal codes: 'a' 11100, 'e' 11011, ' ' 1111 (each after the flag 0).
  HandStream s(kCmpAscii, 6);
  s.Bits("0 11100  0 11011  0 1111");
  Match(s, 8, 3, 6);
  s.End();
  const std::string text = "ae ae ae ae";
  ExpectDecodes(s.Done(), Bytes(text.begin(), text.end()));
}

class DictSizeVector : public ::testing::TestWithParam<unsigned> {};

TEST_P(DictSizeVector, DistancesUseTheDictionaryBits) {
  const unsigned bits = GetParam();
  const unsigned dict = 64u << bits;
  HandStream s(kCmpBinary, bits);
  Bytes expected;
  for (unsigned i = 0; i < 300; ++i) {
    s.BinaryLiteral(static_cast<uint8_t>(i));
    expected.push_back(static_cast<uint8_t>(i));
  }
  Match(s, 3, 300, bits);  // distance 300: symbol and low bits depend on the dictionary
  expected.insert(expected.end(), {0, 1, 2});
  s.BinaryLiteral('x');
  expected.push_back('x');
  while (expected.size() < dict) {  // fill up to exactly one dictionary
    unsigned left = dict - static_cast<unsigned>(expected.size());
    unsigned len = left > 518 ? (left - 518 >= 2 ? 518 : 500) : left;
    Match(s, len, 1, bits);
    expected.insert(expected.end(), len, 'x');
  }
  Match(s, 3, dict, bits);  // the farthest distance there is
  expected.insert(expected.end(), {0, 1, 2});
  s.End();
  ExpectDecodes(s.Done(), expected);
}

TEST_P(DictSizeVector, DistanceBeforeTheStartIsBadData) {
  const unsigned bits = GetParam();
  HandStream s(kCmpBinary, bits);
  s.BinaryLiteral('a').BinaryLiteral('b');
  Match(s, 3, 3, bits);
  s.End();
  Bytes out;
  EXPECT_EQ(ExplodeWithChunk(s.Done(), SIZE_MAX, &out), kCmpBadData);
}

INSTANTIATE_TEST_SUITE_P(Dict, DictSizeVector, ::testing::Values(4u, 5u, 6u),
                         [](const auto& info) { return "bits" + std::to_string(info.param); });

TEST(CodecVectors, LengthTwoAtDistance256) {
  HandStream s(kCmpBinary, 6);
  Bytes expected;
  for (unsigned i = 0; i < 258; ++i) {
    s.BinaryLiteral(static_cast<uint8_t>(i));
    expected.push_back(static_cast<uint8_t>(i));
  }
  Match(s, 2, 256, 6);  // symbol 63, low bits 11
  expected.insert(expected.end(), {2, 3});
  s.End();
  ExpectDecodes(s.Done(), expected);
}

TEST(CodecVectors, Length518) {
  for (unsigned bits : {4u, 5u, 6u}) {
    HandStream s(kCmpBinary, bits);
    s.BinaryLiteral('x');
    Match(s, 518, 1, bits);  // length code 0000000, extra bits 254
    s.BinaryLiteral('y');
    Match(s, 518, 2, bits);  // overlapping copy of "xy"
    s.End();
    Bytes expected(519, 'x');
    expected.push_back('y');
    for (int i = 0; i < 259; ++i) expected.insert(expected.end(), {'x', 'y'});
    ExpectDecodes(s.Done(), expected);
  }
}

TEST(CodecVectors, StreamEndingExactlyAtAReadBoundary) {
  HandStream s(kCmpBinary, 4);
  for (char c = 'A'; c <= 'H'; ++c) s.BinaryLiteral(static_cast<uint8_t>(c));
  s.End();
  ASSERT_EQ(s.BitCount() % 8, 0u);  // no padding bits: the end code fills the last byte
  const Bytes stream = s.Done();
  ASSERT_EQ(stream.size(), 13u);
  const std::string text = "ABCDEFGH";
  ExpectDecodes(stream, Bytes(text.begin(), text.end()));
  // Reads of 13 and of 5+5+3 end exactly with the stream.
  for (size_t chunk : {size_t(13), size_t(5), size_t(1)}) {
    Bytes out;
    EXPECT_EQ(ExplodeWithChunk(stream, chunk, &out), kCmpNoError);
    EXPECT_EQ(out, Bytes(text.begin(), text.end()));
  }
}

TEST(CodecVectors, HeaderErrors) {
  Bytes out;
  EXPECT_EQ(ExplodeWithChunk({}, SIZE_MAX, &out), kCmpBadData);
  EXPECT_EQ(ExplodeWithChunk({0}, SIZE_MAX, &out), kCmpBadData);
  EXPECT_EQ(ExplodeWithChunk({0, 4}, SIZE_MAX, &out), kCmpBadData);  // no end code
  for (uint8_t dict : {0, 3, 7, 0xFF}) {
    EXPECT_EQ(ExplodeWithChunk({0, dict, 0, 0, 0}, SIZE_MAX, &out), kCmpInvalidDictSize);
    EXPECT_EQ(ExplodeWithChunk({2, dict, 0, 0, 0}, SIZE_MAX, &out), kCmpInvalidDictSize);
  }
  for (uint8_t mode : {2, 3, 0x80, 0xFF})
    EXPECT_EQ(ExplodeWithChunk({mode, 6, 0, 0, 0}, SIZE_MAX, &out), kCmpInvalidMode);
  EXPECT_TRUE(out.empty());
}

TEST(CodecVectors, TrailingBytesAfterTheEndCodeAreIgnored) {
  Bytes stream = {0x00, 0x04, 0x82, 0x24, 0x25, 0x8f, 0x80, 0x7f, 0xDE, 0xAD, 0xBE, 0xEF};
  Bytes out;
  EXPECT_EQ(ExplodeWithChunk(stream, SIZE_MAX, &out), kCmpNoError);
  EXPECT_EQ(std::string(out.begin(), out.end()), "AIAIAIAIAIAIA");
}

TEST(CodecCrc32, ClassicUpdate) {
  EXPECT_EQ(~Crc32("123456789", 9, ~0u), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0, 0x12345678u), 0x12345678u);
  // No inversion inside: updating in pieces equals one update.
  uint32_t c = Crc32("1234", 4, ~0u);
  EXPECT_EQ(~Crc32("56789", 5, c), 0xCBF43926u);
  EXPECT_EQ(~Crc32("a", 1, ~0u), 0xE8B7BE43u);
}

}  // namespace
}  // namespace ss::codec::test
