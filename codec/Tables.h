// The fixed Huffman codes of the DCL implode format, built at compile time
// from their code lengths (see FORMAT.md). Internal to the codec.
#pragma once

#include <array>
#include <cstdint>

namespace ss::codec::detail {

// Code lengths of the literal code (ASCII mode), one per byte value.
constexpr uint8_t kLitLengths[256] = {
    11, 12, 12, 12, 12, 12, 12, 12, 12, 8,  7,  12, 12, 7,  12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12,
    4,  10, 8,  12, 10, 12, 10, 8,  7,  7,  8,  9,  7,  6,  7,  8,
    7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8,  12, 11, 7,  9,  11,
    12, 6,  7,  6,  6,  5,  7,  8,  8,  6,  11, 9,  6,  7,  6,  6,
    7,  11, 6,  6,  6,  7,  9,  8,  9,  9,  11, 8,  11, 9,  12, 8,
    12, 5,  6,  6,  6,  5,  6,  6,  6,  5,  11, 7,  5,  6,  5,  5,
    6,  10, 5,  5,  5,  5,  8,  7,  8,  8,  10, 11, 11, 12, 12, 12,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13,
    13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
};

// Length code: 16 symbols in code order. Symbol s stands for the lengths
// kLenBase[s] .. kLenBase[s] + 2^kLenExtra[s] - 1. Symbol 0 is length 3 and
// symbol 1 length 2: the code is assigned in this symbol order.
constexpr uint8_t kLenLengths[16] = {2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
constexpr uint16_t kLenBase[16] = {3, 2, 4, 5, 6, 7, 8, 9, 10, 12, 16, 24, 40, 72, 136, 264};
constexpr uint8_t kLenExtra[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

// Distance code: 64 symbols for the high bits of (distance - 1).
constexpr uint8_t kDistLengths[64] = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
};

constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxMatch = 518;
constexpr unsigned kEndLength = 519;  // length 264 + 255: the end code
constexpr unsigned kMaxDictBits = 6;
constexpr unsigned kMaxDict = 4096;

// Canonical codes as the stream carries them: the code's bits are inverted
// and sent most significant first; we keep them in the order they appear in
// the LSB-first bit stream, so a decoder can index a table with the next bits.
template <size_t N>
constexpr std::array<uint16_t, N> WireCodes(const uint8_t (&lengths)[N]) {
  std::array<uint16_t, N> codes{};
  unsigned code = 0;
  for (unsigned len = 1; len <= 16; ++len) {
    for (size_t s = 0; s < N; ++s) {
      if (lengths[s] != len) continue;
      unsigned inv = ~code & ((1u << len) - 1);
      unsigned rev = 0;
      for (unsigned b = 0; b < len; ++b) rev |= ((inv >> (len - 1 - b)) & 1u) << b;
      codes[s] = static_cast<uint16_t>(rev);
      ++code;
    }
    code <<= 1;
  }
  return codes;
}

constexpr auto kLitCodes = WireCodes(kLitLengths);
constexpr auto kLenCodes = WireCodes(kLenLengths);
constexpr auto kDistCodes = WireCodes(kDistLengths);

// Decoding tables, indexed by the next `Bits` bits of the stream. An entry of
// 0 marks a bit pattern that no code starts with (the codes are complete, so
// this does not happen, but the decoder still treats it as bad data).
constexpr unsigned kLitTableBits = 13;
constexpr unsigned kLenTableBits = 7;
constexpr unsigned kDistTableBits = 8;

// Literal entry: value | codeLength << 8.
constexpr std::array<uint16_t, 1u << kLitTableBits> MakeLitTable() {
  std::array<uint16_t, 1u << kLitTableBits> t{};
  for (unsigned s = 0; s < 256; ++s) {
    unsigned len = kLitLengths[s];
    for (unsigned i = kLitCodes[s]; i < t.size(); i += 1u << len)
      t[i] = static_cast<uint16_t>(s | len << 8);
  }
  return t;
}
// Length entry: base | codeLength << 16 | extraBits << 24.
constexpr std::array<uint32_t, 1u << kLenTableBits> MakeLenTable() {
  std::array<uint32_t, 1u << kLenTableBits> t{};
  for (unsigned s = 0; s < 16; ++s) {
    unsigned len = kLenLengths[s];
    for (unsigned i = kLenCodes[s]; i < t.size(); i += 1u << len)
      t[i] = kLenBase[s] | len << 16 | unsigned(kLenExtra[s]) << 24;
  }
  return t;
}
// Distance entry: symbol | codeLength << 8.
constexpr std::array<uint16_t, 1u << kDistTableBits> MakeDistTable() {
  std::array<uint16_t, 1u << kDistTableBits> t{};
  for (unsigned s = 0; s < 64; ++s) {
    unsigned len = kDistLengths[s];
    for (unsigned i = kDistCodes[s]; i < t.size(); i += 1u << len)
      t[i] = static_cast<uint16_t>(s | len << 8);
  }
  return t;
}

// Length symbol of each match length 2..519.
constexpr unsigned LenSymbol(unsigned length) {
  for (unsigned s = 0; s < 16; ++s)
    if (length >= kLenBase[s] && length < kLenBase[s] + (1u << kLenExtra[s])) return s;
  return 16;
}

// Encoder's view of a length: the code followed by its extra bits, as one
// LSB-first bit string. Entry: bits | count << 16.
constexpr std::array<uint32_t, kEndLength + 1> MakeLenEncodeTable() {
  std::array<uint32_t, kEndLength + 1> t{};
  for (unsigned length = kMinMatch; length <= kEndLength; ++length) {
    unsigned s = LenSymbol(length);
    unsigned bits = kLenCodes[s] | (length - kLenBase[s]) << kLenLengths[s];
    t[length] = bits | unsigned(kLenLengths[s] + kLenExtra[s]) << 16;
  }
  return t;
}

}  // namespace ss::codec::detail
