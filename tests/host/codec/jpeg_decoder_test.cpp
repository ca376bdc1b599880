// The JPEG decoder against libjpeg: pictures made here by libjpeg's
// compressor must decode to libjpeg's pixels byte for byte, and damaged
// pictures must get libjpeg's verdict (a picture, the same one, or a
// refusal) as the installer used libjpeg.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codec/JpegDecoder.h"
#include "core/ResultCodes.h"
#include "tests/support/JpegOracle.h"

namespace ss::codec {
namespace {

using Bytes = std::vector<uint8_t>;
using test::JpegParams;

constexpr uint64_t kMaxPixels = 16ull * 1024 * 1024;  // as the installer's picture loader

enum class Pattern { kGradient, kNoise, kMixed };

Bytes MakePixels(unsigned w, unsigned h, unsigned comps, Pattern pattern, uint32_t seed) {
  Bytes px(static_cast<size_t>(w) * h * comps);
  uint32_t r = seed;
  for (unsigned y = 0; y < h; ++y) {
    for (unsigned x = 0; x < w; ++x) {
      for (unsigned c = 0; c < comps; ++c) {
        r = r * 1103515245u + 12345u;
        const unsigned noise = (r >> 16) & 255;
        const unsigned ramp = (x * 255 / (w > 1 ? w - 1 : 1) * (c + 1) + y * 255 / (h > 1 ? h - 1 : 1) * (3 - c)) / 4;
        unsigned v = pattern == Pattern::kGradient ? ramp
                     : pattern == Pattern::kNoise  ? noise
                                                   : ((x / 5 + y / 3) % 2 ? ramp : 255 - ramp) ^ (noise & 15);
        px[(static_cast<size_t>(y) * w + x) * comps + c] = static_cast<uint8_t>(v);
      }
    }
  }
  return px;
}

// Our decoder's verdict: true with the RGB pixels (rows packed).
bool DecodeOurs(const Bytes& data, Bytes* rgb, unsigned* w, unsigned* h) {
  JpegDecoder decoder;
  if (decoder.ReadHeader(data.data(), data.size(), kMaxPixels) != kOk) return false;
  *w = decoder.Width();
  *h = decoder.Height();
  rgb->assign(static_cast<size_t>(*w) * *h * 3, 0);
  return decoder.Decode(rgb->data(), static_cast<size_t>(*w) * 3, false) == kOk;
}

std::string FirstDifference(const Bytes& a, const Bytes& b, unsigned w) {
  if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      return "pixel (" + std::to_string(i / 3 % w) + ", " + std::to_string(i / 3 / w) + ") channel " +
             std::to_string(i % 3) + ": ours " + std::to_string(a[i]) + ", libjpeg " + std::to_string(b[i]);
    }
  }
  return "";
}

JpegParams Params(unsigned w, unsigned h, unsigned comps, int quality, std::initializer_list<unsigned> factors) {
  JpegParams p;
  p.width = w;
  p.height = h;
  p.components = comps;
  p.quality = quality;
  unsigned i = 0;
  for (unsigned f : factors) {
    p.sampling[i / 2][i % 2] = f;
    ++i;
  }
  return p;
}

struct PixelCase {
  const char* name;
  JpegParams params;
  Pattern pattern;
};

std::vector<PixelCase> PixelCases() {
  std::vector<PixelCase> v = {
      {"1x1 4:2:0", Params(1, 1, 3, 75, {2, 2, 1, 1, 1, 1}), Pattern::kNoise},
      {"1x1 grey", Params(1, 1, 1, 90, {1, 1}), Pattern::kGradient},
      {"2x2 4:2:0", Params(2, 2, 3, 75, {2, 2, 1, 1, 1, 1}), Pattern::kNoise},
      {"5x3 4:2:0", Params(5, 3, 3, 80, {2, 2, 1, 1, 1, 1}), Pattern::kNoise},
      {"17x13 4:4:4", Params(17, 13, 3, 75, {1, 1, 1, 1, 1, 1}), Pattern::kMixed},
      {"17x13 4:2:2", Params(17, 13, 3, 50, {2, 1, 1, 1, 1, 1}), Pattern::kNoise},
      {"17x13 4:2:0", Params(17, 13, 3, 100, {2, 2, 1, 1, 1, 1}), Pattern::kMixed},
      {"17x13 4:4:0", Params(17, 13, 3, 90, {1, 2, 1, 1, 1, 1}), Pattern::kMixed},
      {"33x65 4:2:0 q10", Params(33, 65, 3, 10, {2, 2, 1, 1, 1, 1}), Pattern::kGradient},
      {"33x65 4:2:0 q100", Params(33, 65, 3, 100, {2, 2, 1, 1, 1, 1}), Pattern::kNoise},
      {"33x65 luma 2x1, chroma 1x2", Params(33, 65, 3, 75, {2, 1, 1, 2, 1, 2}), Pattern::kMixed},
      {"33x65 luma 1x2, chroma 2x1", Params(33, 65, 3, 75, {1, 2, 2, 1, 2, 1}), Pattern::kMixed},
      {"40x24 4:1:1", Params(40, 24, 3, 75, {4, 1, 1, 1, 1, 1}), Pattern::kMixed},
      {"40x24 luma 4x2", Params(40, 24, 3, 60, {4, 2, 1, 1, 1, 1}), Pattern::kMixed},
      {"40x24 luma 3x1", Params(40, 24, 3, 60, {3, 1, 1, 1, 1, 1}), Pattern::kMixed},
      {"40x24 luma 2x2, Cb 2x1, Cr 1x2", Params(40, 24, 3, 85, {2, 2, 2, 1, 1, 2}), Pattern::kNoise},
      {"40x24 luma 1x4, chroma 1x2", Params(40, 24, 3, 85, {1, 4, 1, 2, 1, 2}), Pattern::kMixed},
      {"40x24 luma 4x1, chroma 2x1", Params(40, 24, 3, 85, {4, 1, 2, 1, 2, 1}), Pattern::kMixed},
      {"40x24 luma 2x2, chroma 1x2", Params(40, 24, 3, 85, {2, 2, 1, 2, 1, 2}), Pattern::kNoise},
      {"6x40 luma 2x2 (narrow chroma)", Params(6, 40, 3, 75, {2, 2, 1, 1, 1, 1}), Pattern::kMixed},
      {"3x9 luma 2x1 (narrow chroma)", Params(3, 9, 3, 75, {2, 1, 1, 1, 1, 1}), Pattern::kMixed},
      {"64x48 grey q30", Params(64, 48, 1, 30, {1, 1}), Pattern::kMixed},
      {"31x17 grey 2x2", Params(31, 17, 1, 75, {2, 2}), Pattern::kNoise},
      {"200x7 4:2:0", Params(200, 7, 3, 95, {2, 2, 1, 1, 1, 1}), Pattern::kMixed},
  };
  std::vector<PixelCase> more;
  // The same kinds of picture progressive, with optimised tables, with
  // restart intervals.
  for (const PixelCase& c : {v[4], v[6], v[10], v[12], v[15], v[21], v[23]}) {
    PixelCase p = c;
    p.params.progressive = true;
    more.push_back(p);
    p = c;
    p.params.optimize = true;
    p.params.restartMcus = 3;
    more.push_back(p);
    p = c;
    p.params.progressive = true;
    p.params.restartRows = 1;
    more.push_back(p);
  }
  PixelCase rgb = {"17x13 coded as RGB", Params(17, 13, 3, 75, {1, 1, 1, 1, 1, 1}), Pattern::kMixed};
  rgb.params.rgbColour = true;
  more.push_back(rgb);
  v.insert(v.end(), more.begin(), more.end());
  return v;
}

std::string Describe(const PixelCase& c) {
  return std::string(c.name) + (c.params.progressive ? " progressive" : "") + (c.params.optimize ? " optimised" : "") +
         (c.params.restartMcus || c.params.restartRows ? " restarts" : "");
}

TEST(JpegDecoder, PixelsMatchLibjpeg) {
  uint32_t seed = 1;
  for (const PixelCase& c : PixelCases()) {
    const Bytes px = MakePixels(c.params.width, c.params.height, c.params.components, c.pattern, seed++);
    const Bytes jpeg = test::EncodeJpeg(c.params, px);
    Bytes ours, theirs;
    unsigned w = 0, h = 0, tw = 0, th = 0;
    ASSERT_TRUE(test::DecodeJpegWithLibjpeg(jpeg, &theirs, &tw, &th)) << Describe(c);
    ASSERT_TRUE(DecodeOurs(jpeg, &ours, &w, &h)) << Describe(c);
    EXPECT_EQ(w, tw);
    EXPECT_EQ(h, th);
    EXPECT_EQ(FirstDifference(ours, theirs, w), "") << Describe(c);
  }
}

// ---- Damaged and refused pictures ----

size_t FindMarker(const Bytes& b, uint8_t code, size_t from = 0) {
  for (size_t i = from; i + 1 < b.size(); ++i) {
    if (b[i] == 0xFF && b[i + 1] == code) return i;
  }
  ADD_FAILURE() << "no marker " << std::hex << unsigned(code);
  return 0;
}

// Removes the marker segment starting at `at` (marker and length).
void RemoveSegment(Bytes& b, size_t at) {
  const size_t length = (b[at + 2] << 8) | b[at + 3];
  b.erase(b.begin() + at, b.begin() + at + 2 + length);
}

// Removes every segment of this marker before the first scan.
void RemoveAll(Bytes& b, uint8_t code) {
  for (size_t i = 2; i + 3 < b.size() && !(b[i] == 0xFF && b[i + 1] == 0xDA);) {
    if (b[i] == 0xFF && b[i + 1] == code) {
      RemoveSegment(b, i);
    } else {
      ++i;
    }
  }
}

void Insert(Bytes& b, size_t at, std::initializer_list<uint8_t> bytes) { b.insert(b.begin() + at, bytes); }

size_t Sof(const Bytes& b) {
  for (uint8_t code : {0xC0, 0xC1, 0xC2}) {
    for (size_t i = 0; i + 1 < b.size(); ++i) {
      if (b[i] == 0xFF && b[i + 1] == code) return i;
    }
  }
  ADD_FAILURE() << "no frame";
  return 0;
}

enum class Expect {
  kLibjpegs,  // libjpeg's verdict and, for a picture, its pixels
  kRefused,   // refused here, whatever libjpeg (which reads more kinds) does
};

struct DamageCase {
  const char* name;
  int base;  // 0: baseline 4:2:0, 1: progressive 4:2:0, 2: baseline with restarts, 3: grey
  std::function<void(Bytes&)> damage;
  Expect expect;
};

std::vector<DamageCase> DamageCases() {
  using E = Expect;
  const auto cut = [](double share) { return [share](Bytes& b) { b.resize(static_cast<size_t>(b.size() * share)); }; };
  const auto cutAt = [](long n) { return [n](Bytes& b) { b.resize(n < 0 ? b.size() + n : n); }; };
  return {
      {"empty", 0, cutAt(0), E::kLibjpegs},
      {"one byte", 0, cutAt(1), E::kLibjpegs},
      {"SOI only", 0, cutAt(2), E::kLibjpegs},
      {"cut in the headers", 0, cutAt(40), E::kLibjpegs},
      {"cut in the frame", 0, [](Bytes& b) { b.resize(Sof(b) + 6); }, E::kLibjpegs},
      {"cut in the scan header", 0, [](Bytes& b) { b.resize(FindMarker(b, 0xDA) + 7); }, E::kLibjpegs},
      {"cut after the scan header", 0, [](Bytes& b) { b.resize(FindMarker(b, 0xDA) + 14); }, E::kLibjpegs},
      {"cut at a quarter", 0, cut(0.25), E::kLibjpegs},
      {"cut at half", 0, cut(0.5), E::kLibjpegs},
      {"cut before EOI", 0, cutAt(-2), E::kLibjpegs},
      {"cut inside EOI", 0, cutAt(-1), E::kLibjpegs},
      {"cut at half, restarts", 2, cut(0.5), E::kLibjpegs},
      {"cut at half, grey", 3, cut(0.5), E::kLibjpegs},
      {"progressive cut after the DC scan", 1, [](Bytes& b) { b.resize(FindMarker(b, 0xDA, FindMarker(b, 0xDA) + 2)); },
       E::kLibjpegs},
      {"progressive cut at half", 1, cut(0.5), E::kLibjpegs},
      {"progressive cut before EOI", 1, cutAt(-2), E::kLibjpegs},
      {"no SOI", 0, [](Bytes& b) { b[1] = 0xD9; }, E::kLibjpegs},
      {"second SOI", 0,
       [](Bytes& b) {
         Insert(b, 2, {0xFF, 0xD8});
       },
       E::kLibjpegs},
      {"unknown marker", 0,
       [](Bytes& b) {
         Insert(b, 2, {0xFF, 0x02});
       },
       E::kLibjpegs},
      {"reserved JPG marker", 0,
       [](Bytes& b) {
         Insert(b, 2, {0xFF, 0xF3, 0x00, 0x02});
       },
       E::kLibjpegs},
      {"comment and fill bytes", 0,
       [](Bytes& b) {
         Insert(b, 2, {0xFF, 0xFF, 0xFE, 0x00, 0x03, 0x41, 0x12});
       },
       E::kLibjpegs},
      {"garbage before a marker", 0,
       [](Bytes& b) {
         Insert(b, FindMarker(b, 0xDB), {1, 2, 0xFF, 0x00});
       },
       E::kLibjpegs},
      {"DNL marker skipped", 0,
       [](Bytes& b) {
         Insert(b, 2, {0xFF, 0xDC, 0x00, 0x04, 0x00, 0x10});
       },
       E::kLibjpegs},
      {"no Huffman tables (the usual ones stand in)", 0, [](Bytes& b) { RemoveAll(b, 0xC4); }, E::kLibjpegs},
      {"progressive without Huffman tables", 1, [](Bytes& b) { RemoveSegment(b, FindMarker(b, 0xC4)); }, E::kLibjpegs},
      {"no quantisation tables", 0, [](Bytes& b) { RemoveAll(b, 0xDB); }, E::kLibjpegs},
      {"Huffman table with too many codes", 0, [](Bytes& b) { b[FindMarker(b, 0xC4) + 5] = 3; }, E::kLibjpegs},
      {"Huffman table counts past its length", 0, [](Bytes& b) { b[FindMarker(b, 0xC4) + 20] = 200; }, E::kLibjpegs},
      {"Huffman table slot 5", 0, [](Bytes& b) { b[FindMarker(b, 0xC4) + 4] = 0x05; }, E::kLibjpegs},
      {"DC symbol above 15", 0, [](Bytes& b) { b[FindMarker(b, 0xC4) + 21] = 0x20; }, E::kLibjpegs},
      {"quantisation table slot 4", 0, [](Bytes& b) { b[FindMarker(b, 0xDB) + 4] = 0x04; }, E::kLibjpegs},
      {"quantisation length wrong", 0, [](Bytes& b) { b[FindMarker(b, 0xDB) + 3] += 1; }, E::kLibjpegs},
      {"16-bit quantisation values", 0,
       [](Bytes& b) {
         const size_t at = Sof(b);
         Bytes table = {0xFF, 0xDB, 0x00, 0x83, 0x10};
         for (int i = 0; i < 64; ++i) table.insert(table.end(), {0x00, static_cast<uint8_t>(2 + i % 7)});
         b.insert(b.begin() + at, table.begin(), table.end());
       },
       E::kLibjpegs},
      {"restart interval length wrong", 0,
       [](Bytes& b) {
         Insert(b, 2, {0xFF, 0xDD, 0x00, 0x05, 0x00, 0x01, 0x00});
       },
       E::kLibjpegs},
      {"height zero", 0, [](Bytes& b) { b[Sof(b) + 5] = b[Sof(b) + 6] = 0; }, E::kLibjpegs},
      {"width zero", 0, [](Bytes& b) { b[Sof(b) + 7] = b[Sof(b) + 8] = 0; }, E::kLibjpegs},
      {"width 65535", 0, [](Bytes& b) { b[Sof(b) + 7] = b[Sof(b) + 8] = 0xFF; }, E::kLibjpegs},
      {"2000 by 3000 from a few bytes", 3,
       [](Bytes& b) {
         b[Sof(b) + 5] = 2000 >> 8, b[Sof(b) + 6] = 2000 & 255;
         b[Sof(b) + 7] = 3000 >> 8, b[Sof(b) + 8] = 3000 & 255;
       },
       E::kLibjpegs},
      {"over 16 M pixels", 3,
       [](Bytes& b) {
         b[Sof(b) + 5] = b[Sof(b) + 7] = 4100 >> 8;
         b[Sof(b) + 6] = b[Sof(b) + 8] = 4100 & 255;
       },
       E::kRefused},
      {"12-bit samples", 0, [](Bytes& b) { b[Sof(b) + 4] = 12; }, E::kLibjpegs},
      {"frame length wrong", 0, [](Bytes& b) { b[Sof(b) + 3] += 3; }, E::kLibjpegs},
      {"second frame", 0,
       [](Bytes& b) {
         const size_t at = Sof(b);
         const Bytes frame(b.begin() + at, b.begin() + at + 2 + ((b[at + 2] << 8) | b[at + 3]));
         b.insert(b.begin() + at, frame.begin(), frame.end());
       },
       E::kLibjpegs},
      {"sampling factor 0", 0, [](Bytes& b) { b[Sof(b) + 11] = 0x20; }, E::kLibjpegs},
      {"sampling factor 5", 0, [](Bytes& b) { b[Sof(b) + 11] = 0x51; }, E::kLibjpegs},
      {"luma 3x1 over chroma 2x1 (fractional)", 0, [](Bytes& b) { b[Sof(b) + 11] = 0x31, b[Sof(b) + 14] = 0x21; },
       E::kLibjpegs},
      {"more than 10 blocks an MCU", 0, [](Bytes& b) { b[Sof(b) + 11] = 0x44; }, E::kLibjpegs},
      {"lossless frame", 0, [](Bytes& b) { b[Sof(b) + 1] = 0xC3; }, E::kLibjpegs},
      {"hierarchical frame", 0, [](Bytes& b) { b[Sof(b) + 1] = 0xC5; }, E::kLibjpegs},
      {"arithmetic frame", 0, [](Bytes& b) { b[Sof(b) + 1] = 0xC9; }, E::kRefused},
      {"arithmetic progressive frame", 1, [](Bytes& b) { b[Sof(b) + 1] = 0xCA; }, E::kRefused},
      {"scan before the frame", 0,
       [](Bytes& b) {
         const size_t at = FindMarker(b, 0xDA);
         const Bytes scan(b.begin() + at, b.begin() + at + 14);
         b.insert(b.begin() + 2, scan.begin(), scan.end());
       },
       E::kLibjpegs},
      {"scan of an unknown component", 0, [](Bytes& b) { b[FindMarker(b, 0xDA) + 5] = 9; }, E::kLibjpegs},
      {"scan naming a component twice", 0, [](Bytes& b) { b[FindMarker(b, 0xDA) + 7] = b[FindMarker(b, 0xDA) + 5]; },
       E::kLibjpegs},
      {"scan in reverse component order", 0,
       [](Bytes& b) {
         const size_t at = FindMarker(b, 0xDA);
         std::swap(b[at + 5], b[at + 9]);
         std::swap(b[at + 6], b[at + 10]);
       },
       E::kLibjpegs},
      {"scan with a Huffman table slot 7", 0, [](Bytes& b) { b[FindMarker(b, 0xDA) + 6] = 0x07; }, E::kLibjpegs},
      {"scan with an undefined table slot 3", 0, [](Bytes& b) { b[FindMarker(b, 0xDA) + 6] = 0x33; }, E::kLibjpegs},
      {"scan length wrong", 0, [](Bytes& b) { b[FindMarker(b, 0xDA) + 3] += 2; }, E::kLibjpegs},
      {"odd spectral band in a baseline scan", 0, [](Bytes& b) { b[FindMarker(b, 0xDA) + 12] = 5; }, E::kLibjpegs},
      {"progressive DC scan with an AC band", 1, [](Bytes& b) { b[FindMarker(b, 0xDA) + 12] = 5; }, E::kLibjpegs},
      {"progressive refinement skipping a bit", 1,
       [](Bytes& b) {
         const size_t at = FindMarker(b, 0xDA, FindMarker(b, 0xDA) + 2);
         b[at + 2 + ((b[at + 2] << 8) | b[at + 3]) - 1] = 0x31;
       },
       E::kLibjpegs},
      {"a second scan after a complete one", 0,
       [](Bytes& b) {
         const size_t at = FindMarker(b, 0xDA);
         const Bytes scan(b.begin() + at, b.begin() + at + 14);
         b.insert(b.end() - 2, scan.begin(), scan.end());
       },
       E::kLibjpegs},
      {"EOI before any scan", 0,
       [](Bytes& b) {
         Insert(b, FindMarker(b, 0xDA), {0xFF, 0xD9});
       },
       E::kLibjpegs},
      {"entropy byte flipped", 0, [](Bytes& b) { b[FindMarker(b, 0xDA) + 40] ^= 0x5A; }, E::kLibjpegs},
      {"entropy bytes all ones", 0,
       [](Bytes& b) {
         const size_t at = FindMarker(b, 0xDA) + 14;
         for (size_t i = at; i < at + 40 && i + 2 < b.size(); ++i) b[i] = i % 2 ? 0xFF : 0x00;
       },
       E::kLibjpegs},
      {"marker inside the entropy data", 0,
       [](Bytes& b) {
         Insert(b, FindMarker(b, 0xDA) + 60, {0xFF, 0xE5});
       },
       E::kLibjpegs},
      {"EOI inside the entropy data", 0,
       [](Bytes& b) {
         Insert(b, FindMarker(b, 0xDA) + 60, {0xFF, 0xD9});
       },
       E::kLibjpegs},
      {"restart marker misnumbered", 2, [](Bytes& b) { b[FindMarker(b, 0xD1) + 1] = 0xD3; }, E::kLibjpegs},
      {"restart marker lost", 2,
       [](Bytes& b) { b.erase(b.begin() + FindMarker(b, 0xD2), b.begin() + FindMarker(b, 0xD2) + 2); }, E::kLibjpegs},
      {"restart marker from the past", 2, [](Bytes& b) { b[FindMarker(b, 0xD3) + 1] = 0xD1; }, E::kLibjpegs},
      {"progressive entropy byte flipped", 1, [](Bytes& b) { b[b.size() - 30] ^= 0x21; }, E::kLibjpegs},
  };
}

Bytes Base(int which) {
  JpegParams p = Params(48, 40, which == 3 ? 1 : 3, 80, {2, 2, 1, 1, 1, 1});
  if (which == 3) p.sampling[0][0] = p.sampling[0][1] = 1;
  p.progressive = which == 1;
  p.restartMcus = which == 2 ? 2 : 0;
  return test::EncodeJpeg(p, MakePixels(p.width, p.height, p.components, Pattern::kMixed, 77));
}

// Compares our verdict and pixels on a damaged picture with libjpeg's.
// libjpeg smooths the blocks of a progressive picture whose scans stop
// before its low frequencies are complete; we do not, so its pixels are
// taken without that smoothing (which never changes a verdict).
std::string CompareWithLibjpeg(const Bytes& data) {
  Bytes ours, theirs;
  unsigned w = 0, h = 0, tw = 0, th = 0;
  const bool oursOk = DecodeOurs(data, &ours, &w, &h);
  const bool theirsOk = test::DecodeJpegWithLibjpeg(data, &theirs, &tw, &th, false);
  if (oursOk != theirsOk) return oursOk ? "decoded here, refused by libjpeg" : "refused here, decoded by libjpeg";
  return oursOk ? FirstDifference(ours, theirs, w) : "";
}

TEST(JpegDecoder, DamagedPicturesGetLibjpegsVerdict) {
  for (const DamageCase& c : DamageCases()) {
    Bytes data = Base(c.base);
    c.damage(data);
    if (c.expect == Expect::kRefused) {
      Bytes ours;
      unsigned w, h;
      EXPECT_FALSE(DecodeOurs(data, &ours, &w, &h)) << c.name;
    } else {
      EXPECT_EQ(CompareWithLibjpeg(data), "") << c.name;
    }
  }
}

// Every cut of each base picture and a changed byte at every position.
TEST(JpegDecoder, EveryCutAndChangedByteGetsLibjpegsVerdict) {
  for (int base = 0; base < 4; ++base) {
    const Bytes good = Base(base);
    for (size_t i = 0; i < good.size(); ++i) {
      Bytes cut(good.begin(), good.begin() + i), changed = good;
      changed[i] = static_cast<uint8_t>(i * 37);
      ASSERT_EQ(CompareWithLibjpeg(cut), "") << "base " << base << " cut at " << i;
      ASSERT_EQ(CompareWithLibjpeg(changed), "") << "base " << base << " byte " << i << " changed";
    }
  }
}

// Four components (CMYK) never make an RGB picture.
TEST(JpegDecoder, FourComponentsAreRefusedAsLibjpegRefusesThem) {
  JpegParams p = Params(16, 16, 4, 75, {1, 1, 1, 1, 1, 1, 1, 1});
  const Bytes jpeg = test::EncodeJpeg(p, MakePixels(16, 16, 4, Pattern::kNoise, 5));
  Bytes ours, theirs;
  unsigned w, h;
  EXPECT_FALSE(test::DecodeJpegWithLibjpeg(jpeg, &theirs, &w, &h));
  EXPECT_FALSE(DecodeOurs(jpeg, &ours, &w, &h));
}

// The pixel limit is applied before anything is allocated, from the frame.
TEST(JpegDecoder, PixelLimitAndOutputOrder) {
  const JpegParams p = Params(17, 13, 3, 90, {2, 2, 1, 1, 1, 1});
  const Bytes jpeg = test::EncodeJpeg(p, MakePixels(17, 13, 3, Pattern::kMixed, 9));
  JpegDecoder decoder;
  EXPECT_EQ(decoder.ReadHeader(jpeg.data(), jpeg.size(), 17 * 13 - 1), kErrCorruptPicture);
  ASSERT_EQ(decoder.ReadHeader(jpeg.data(), jpeg.size(), 17 * 13), kOk);
  // Rows padded as in a bitmap, blue first.
  const size_t stride = 17 * 3 + 1;
  Bytes bgr(stride * 13, 0xEE), rgb;
  ASSERT_EQ(decoder.Decode(bgr.data(), stride, true), kOk);
  EXPECT_EQ(decoder.Decode(bgr.data(), stride, true), kErrCorruptPicture) << "a second time";
  unsigned w, h;
  ASSERT_TRUE(test::DecodeJpegWithLibjpeg(jpeg, &rgb, &w, &h));
  for (size_t y = 0; y < 13; ++y) {
    EXPECT_EQ(bgr[y * stride + 17 * 3], 0xEE) << "row " << y << " padding";
    for (size_t x = 0; x < 17; ++x) {
      for (size_t c = 0; c < 3; ++c) ASSERT_EQ(bgr[y * stride + x * 3 + c], rgb[(y * 17 + x) * 3 + 2 - c]);
    }
  }
}

}  // namespace
}  // namespace ss::codec
