// The fixed Huffman codes of the DCL implode format and the tables built
// from their code lengths (see FORMAT.md). Internal to the codec.
#pragma once

#include <cstdint>

namespace ss::codec::detail {

// The code lengths and length bases are inline: one copy in a program, however
// many files use them.

// Code lengths of the literal code (ASCII mode), one per byte value.
inline constexpr uint8_t kLitLengths[256] = {
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
inline constexpr uint8_t kLenLengths[16] = {2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
inline constexpr uint16_t kLenBase[16] = {3, 2, 4, 5, 6, 7, 8, 9, 10, 12, 16, 24, 40, 72, 136, 264};
inline constexpr uint8_t kLenExtra[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

// Distance code: 64 symbols for the high bits of (distance - 1).
inline constexpr uint8_t kDistLengths[64] = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
};

constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxMatch = 518;
constexpr unsigned kEndLength = 519;  // length 264 + 255: the end code
constexpr unsigned kMaxDictBits = 6;
constexpr unsigned kMaxDict = 4096;

// Everything derived from the code lengths, in one block: the wire codes the
// encoders send, the decoding tables, the encoders' length table and the
// crc32 table. The host build holds it as constant data, computed by the
// compiler; impborl.dll builds it when the library is attached
// (ImpBorlEntry.cpp), so the file carries no 21 KB of tables. Both run
// BuildTables below.
constexpr unsigned kLitTableBits = 13;
constexpr unsigned kLenTableBits = 7;
constexpr unsigned kDistTableBits = 8;
constexpr uint32_t kCrcPoly = 0xEDB88320u;

struct CodecTables {
  // Canonical codes as the stream carries them: the code's bits are inverted
  // and sent most significant first; we keep them in the order they appear
  // in the LSB-first bit stream, so a decoder can index a table with the
  // next bits.
  uint16_t litCodes[256];
  uint16_t lenCodes[16];
  uint16_t distCodes[64];
  // Decoding tables, indexed by the next `Bits` bits of the stream. An entry
  // of 0 marks a bit pattern that no code starts with (the codes are
  // complete, so this does not happen, but the decoder still treats it as
  // bad data).
  uint16_t litDecode[1u << kLitTableBits];   // value | codeLength << 8
  uint32_t lenDecode[1u << kLenTableBits];   // base | codeLength << 16 | extraBits << 24
  uint16_t distDecode[1u << kDistTableBits];  // symbol | codeLength << 8
  // Encoder's view of a length 2..519: the code followed by its extra bits,
  // as one LSB-first bit string. Entry: bits | count << 16.
  uint32_t lenEncode[kEndLength + 1];
  // The reflected CRC-32 of each byte value.
  uint32_t crc[256];
};

// Length symbol of each match length 2..519.
constexpr unsigned LenSymbol(unsigned length) {
  for (unsigned s = 0; s < 16; ++s)
    if (length >= kLenBase[s] && length < kLenBase[s] + (1u << kLenExtra[s])) return s;
  return 16;
}

constexpr void WireCodes(const uint8_t* lengths, unsigned n, uint16_t* codes) {
  unsigned code = 0;
  for (unsigned len = 1; len <= 16; ++len) {
    for (unsigned s = 0; s < n; ++s) {
      if (lengths[s] != len) continue;
      unsigned inv = ~code & ((1u << len) - 1);
      unsigned rev = 0;
      for (unsigned b = 0; b < len; ++b) rev |= ((inv >> (len - 1 - b)) & 1u) << b;
      codes[s] = static_cast<uint16_t>(rev);
      ++code;
    }
    code <<= 1;
  }
}

// Fills *t, which starts zeroed: the codes are complete, so every entry of a
// decoding table is written, the same value each time it runs.
constexpr void BuildTables(CodecTables* t) {
  WireCodes(kLitLengths, 256, t->litCodes);
  WireCodes(kLenLengths, 16, t->lenCodes);
  WireCodes(kDistLengths, 64, t->distCodes);
  for (unsigned s = 0; s < 256; ++s) {
    unsigned len = kLitLengths[s];
    for (unsigned i = t->litCodes[s]; i < (1u << kLitTableBits); i += 1u << len)
      t->litDecode[i] = static_cast<uint16_t>(s | len << 8);
  }
  for (unsigned s = 0; s < 16; ++s) {
    unsigned len = kLenLengths[s];
    for (unsigned i = t->lenCodes[s]; i < (1u << kLenTableBits); i += 1u << len)
      t->lenDecode[i] = kLenBase[s] | len << 16 | unsigned(kLenExtra[s]) << 24;
  }
  for (unsigned s = 0; s < 64; ++s) {
    unsigned len = kDistLengths[s];
    for (unsigned i = t->distCodes[s]; i < (1u << kDistTableBits); i += 1u << len)
      t->distDecode[i] = static_cast<uint16_t>(s | len << 8);
  }
  for (unsigned length = kMinMatch; length <= kEndLength; ++length) {
    unsigned s = LenSymbol(length);
    unsigned bits = t->lenCodes[s] | (length - kLenBase[s]) << kLenLengths[s];
    t->lenEncode[length] = bits | unsigned(kLenLengths[s] + kLenExtra[s]) << 16;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (kCrcPoly & (0u - (c & 1)));
    t->crc[i] = c;
  }
}

#ifdef SS_CODEC_TABLES_AT_RUN_TIME
// impborl.dll: filled by BuildTables when the library is attached, before
// any export can be called.
extern CodecTables gCodecTables;
inline const CodecTables& Tables() { return gCodecTables; }
#else
constexpr CodecTables MakeTables() {
  CodecTables t{};
  BuildTables(&t);
  return t;
}
inline constexpr CodecTables kCodecTables = MakeTables();
inline const CodecTables& Tables() { return kCodecTables; }
#endif

}  // namespace ss::codec::detail
