// Shared helpers of the codec tests: a deterministic corpus, both encoders
// and decoders driven with a chosen read size, the mode and dictionary-size
// parameter, and a hand encoder that writes bit strings exactly as the
// format notes give them.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "codec/Codec.h"
#include "tests/support/CodecIo.h"

namespace ss::codec::test {

using Bytes = std::vector<uint8_t>;

class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 7;
    s_ ^= s_ << 17;
    return s_;
  }
  unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }

 private:
  uint64_t s_;
};

struct Sample {
  std::string name;
  Bytes data;
};

inline Bytes PseudoText(size_t size, uint64_t seed) {
  static const char* const kWords[] = {
      "the", "screen", "saver", "installer", "writes", "its", "engine", "into", "system",
      "directory", "and", "data", "file", "of", "a", "package", "with", "compressed", "segments",
      "Display", "Properties", "window", "Flash", "movie", "licence", "text", "is", "shown",
      "when", "user", "presses", "Install", "button", "PKWARE", "implode", "explode", "0x1000",
      "return", "code", "error", "\"impborl.dll\"", "C:\\WINDOWS\\SYSTEM", "1.11", "1998"};
  Rng rng(seed);
  Bytes out;
  while (out.size() < size) {
    const char* w = kWords[rng.Below(sizeof kWords / sizeof kWords[0])];
    out.insert(out.end(), w, w + std::strlen(w));
    unsigned r = rng.Below(20);
    out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
    if (r == 0 && rng.Below(3) == 0) out.insert(out.end(), {'\r', '\n', '\t'});
  }
  out.resize(size);
  return out;
}

inline Bytes PseudoBinary(size_t size, uint64_t seed) {
  Rng rng(seed);
  Bytes out;
  uint32_t counter = 0x00401000;
  while (out.size() < size) {
    switch (rng.Below(4)) {
      case 0:  // a record: tag, little-endian counter, small fields
        out.insert(out.end(), {0x55, 0x8B, 0xEC, 0x83});
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(counter >> (8 * i)));
        counter += 4 * (1 + rng.Below(8));
        out.push_back(static_cast<uint8_t>(rng.Below(4)));
        break;
      case 1:  // zeros
        out.insert(out.end(), 1 + rng.Below(24), 0);
        break;
      case 2:  // a few random bytes
        for (unsigned i = 1 + rng.Below(6); i > 0; --i) out.push_back(static_cast<uint8_t>(rng.Next()));
        break;
      default:  // a copy of something recent
        if (out.size() > 64) {
          size_t from = out.size() - 1 - rng.Below(static_cast<unsigned>(std::min<size_t>(out.size() - 1, 6000)));
          size_t n = 2 + rng.Below(40);
          for (size_t i = 0; i < n; ++i) out.push_back(out[from + i]);
        }
    }
  }
  out.resize(size);
  return out;
}

inline Bytes Random(size_t size, uint64_t seed) {
  Rng rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng.Next() >> 24);
  return out;
}

// A random block repeated: matches at exactly `period` back.
inline Bytes Periodic(size_t period, size_t repeats, uint64_t seed) {
  Bytes block = Random(period, seed);
  Bytes out;
  for (size_t i = 0; i < repeats; ++i) out.insert(out.end(), block.begin(), block.end());
  return out;
}

// `parts` times text, binary and random bytes in turn (text and binary of
// `size` bytes each); seeds from `seed`, `seed` + 10 and `seed` + 20 on.
inline Bytes Mixed(int parts, size_t size, size_t randomSize, uint64_t seed) {
  Bytes out;
  for (int i = 0; i < parts; ++i) {
    for (const Bytes& b :
         {PseudoText(size, seed + i), PseudoBinary(size, seed + 10 + i), Random(randomSize, seed + 20 + i)}) {
      out.insert(out.end(), b.begin(), b.end());
    }
  }
  return out;
}

inline std::vector<Sample> Corpus() {
  std::vector<Sample> c;
  c.push_back({"empty", {}});
  c.push_back({"one", {'x'}});
  c.push_back({"two", {0, 0xFF}});
  c.push_back({"three", {'a', 'a', 'a'}});
  c.push_back({"text", PseudoText(60000, 1)});
  c.push_back({"binary", PseudoBinary(50000, 2)});
  c.push_back({"random", Random(12000, 3)});
  Bytes all;
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<uint8_t>(i * (2 * r + 1)));
  c.push_back({"allbytes", all});
  c.push_back({"zeros", Bytes(70000, 0)});
  c.push_back({"run518", Bytes(519, 'r')});
  for (size_t p : {255, 256, 1023, 1024, 1025, 2048, 4095, 4096, 4097})
    c.push_back({"period" + std::to_string(p), Periodic(p, 4, p)});
  Bytes pairs;  // many length-2 matches
  Rng rng(7);
  for (int i = 0; i < 20000; ++i) pairs.push_back(static_cast<uint8_t>("abcd"[rng.Below(4)] + 16 * rng.Below(3)));
  c.push_back({"pairs", pairs});
  c.push_back({"mixed", Mixed(4, 9000, 3000, 10)});
  return c;
}

// Explodes `stream` (read at most `chunk` bytes per call, output limited to
// `limit`) with the decoders of both word widths: both must give the same
// code and the same output.
inline unsigned ExplodeBothWidths(const Bytes& stream, size_t chunk, uint64_t limit, Bytes* out,
                                  size_t offset = 0) {
  unsigned rc[2] = {};
  Bytes outs[2];
  for (int pass = 0; pass < 2; ++pass) {
    std::unique_ptr<char[]> work(new char[kExplodeWorkSize + offset]);
    rc[pass] = ExplodeWidth(pass == 1, stream.data(), stream.size(), chunk, limit, work.get() + offset, &outs[pass]);
  }
  EXPECT_EQ(rc[0], rc[1]) << "the 32- and 64-bit decoders end differently";
  EXPECT_TRUE(outs[0] == outs[1]) << "the 32- and 64-bit decoders give different output";
  *out = std::move(outs[0]);
  return rc[0];
}

inline unsigned ExplodeWithChunk(const Bytes& stream, size_t chunk, Bytes* out, size_t offset = 0) {
  return ExplodeBothWidths(stream, chunk, UINT64_MAX, out, offset);
}

using Encoder = unsigned (*)(ReadFn, WriteFn, char*, void*, unsigned*, unsigned*);

// Implodes with `encode` (Implode or ImplodeFast), reading `chunk` bytes at a
// time, into a work buffer at `offset` filled with `fill` beforehand.
inline unsigned ImplodeWithChunk(const Bytes& data, unsigned type, unsigned dict, size_t chunk,
                                 Bytes* out, size_t offset = 0, int fill = 0, Encoder encode = Implode) {
  Io io{data.data(), data.size(), 0, chunk, {}};
  std::unique_ptr<char[]> work(new char[kImplodeWorkSize + offset]);
  std::memset(work.get(), fill, kImplodeWorkSize + offset);
  unsigned rc = encode(Io::Read, Io::Write, work.get() + offset, &io, &type, &dict);
  *out = std::move(io.out);
  return rc;
}

// The six mode and dictionary-size combinations, as a test parameter.
using Combo = std::tuple<unsigned, unsigned>;  // mode, dictionary size

class ComboTest : public ::testing::TestWithParam<Combo> {
 protected:
  unsigned mode() const { return std::get<0>(GetParam()); }
  unsigned dict() const { return std::get<1>(GetParam()); }
};

inline auto AllCombos() {
  return ::testing::Combine(::testing::Values(kCmpBinary, kCmpAscii), ::testing::Values(1024u, 2048u, 4096u));
}

inline std::string ComboName(const ::testing::TestParamInfo<Combo>& info) {
  return std::string(std::get<0>(info.param) == kCmpBinary ? "binary" : "ascii") +
         std::to_string(std::get<1>(info.param));
}

// Writes a stream bit by bit. Bits() takes a string of '0' and '1' in the
// order the bits appear in the stream (the format fills each byte from its
// least significant bit); Value() writes n bits of v, least significant first.
class HandStream {
 public:
  HandStream(unsigned mode, unsigned dictBits) {
    bytes_.push_back(static_cast<uint8_t>(mode));
    bytes_.push_back(static_cast<uint8_t>(dictBits));
  }
  HandStream& Bits(const char* s) {
    for (; *s; ++s)
      if (*s == '0' || *s == '1') Bit(*s == '1');
    return *this;
  }
  HandStream& Value(unsigned v, unsigned n) {
    for (unsigned i = 0; i < n; ++i) Bit((v >> i) & 1);
    return *this;
  }
  // A literal in binary mode: flag 0, then the byte's 8 bits.
  HandStream& BinaryLiteral(uint8_t c) { return Bits("0").Value(c, 8); }
  // The end code: flag 1, length code 0000000 (264..519), extra bits 255.
  HandStream& End() { return Bits("1 0000000").Value(255, 8); }
  Bytes Done() const { return bytes_; }
  size_t BitCount() const { return 16 + bits_; }

 private:
  void Bit(bool b) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if (b) bytes_.back() |= static_cast<uint8_t>(1u << (bits_ % 8));
    ++bits_;
  }
  Bytes bytes_;
  size_t bits_ = 0;
};

}  // namespace ss::codec::test
