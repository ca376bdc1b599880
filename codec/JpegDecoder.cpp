// JPEG decoding in the way libjpeg(-turbo) decodes by default, so that a
// picture looks the same as it did when the installer used that library:
//  - markers are read as libjpeg reads them from memory: past the end of the
//    data the stream reads as an endless run of EOI markers (FF D9), so a
//    file cut short ends where libjpeg's would;
//  - entropy-coded data: a marker or the end of the data inside a segment
//    gives zero bits to the block being decoded and leaves the rest of the
//    segment's blocks zero; a lost restart marker is resynchronised by
//    libjpeg's rules; a code of more than 16 bits decodes as symbol 0;
//  - the whole picture's coefficients are kept, then every block goes
//    through the accurate integer IDCT, chroma is upsampled (the smooth
//    "fancy" filters for 2:1 factors, repetition otherwise) and converted
//    with libjpeg's fixed-point YCbCr arithmetic.
// Progressive pictures whose scans leave low-frequency coefficients unrefined
// (libjpeg smooths those across blocks) are decoded without that smoothing.
#include "codec/JpegDecoder.h"

#include <cstdlib>
#include <cstring>

#include "core/ResultCodes.h"

namespace ss::codec {
namespace {

// Natural (row-major) position of each zigzag index; indexes past 63 (a
// damaged run can reach 78) land on the last coefficient, as in libjpeg.
constexpr uint8_t kZigzag[80] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
                                 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
                                 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
                                 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// The usual Huffman tables, which libjpeg puts in any of slots 0 and 1 a
// sequential picture leaves undefined (motion-JPEG frames omit them).
// Code counts by length 1..16: DC luminance, DC chrominance, AC luminance,
// AC chrominance. DC symbols are 0..11; an AC table's symbols are the ones
// below followed by every other run/size symbol in ascending order.
constexpr uint8_t kStdBits[4][16] = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                     {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                     {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125},
                                     {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 119}};
constexpr uint8_t kStdAcLumaHead[37] = {1,   2,   3,  0,  4,   17,  5,  18,  33,  49,  65, 6,  19,
                                        81,  97,  7,  34, 113, 20,  50, 129, 145, 161, 8,  35, 66,
                                        177, 193, 21, 82, 209, 240, 36, 51,  98,  114, 130};
constexpr uint8_t kStdAcChromaHead[43] = {0,   1,   2,  3,  17,  4,   5,  33, 49,  6,   18,  65,  81, 7,  97,
                                          113, 19,  34, 50, 129, 8,   20, 66, 145, 161, 177, 193, 9,  35, 51,
                                          82,  240, 21, 98, 114, 209, 10, 22, 36,  52,  225, 37,  241};

constexpr unsigned kMaxScans = 1000;

struct HuffTable {
  bool defined;
  uint8_t bits[17];  // codes of each length 1..16 ([0] unused)
  uint8_t vals[256];
};

// A table ready for decoding: the largest code of each length (-1 for none)
// and what to add to a code of that length to find its symbol.
struct Derived {
  int32_t maxcode[18];
  int32_t valoffset[18];
  const uint8_t* vals;
};

struct Component {
  unsigned id, h, v, tq;
  unsigned dcTable, acTable;  // of the current scan
  uint32_t bw, bh;            // blocks holding picture samples
  uint32_t bwPad, bhPad;      // blocks stored (whole MCUs)
  uint32_t dw, dh;            // samples
  unsigned hexp, vexp;        // upsampling by repetition
  bool fancyH, fancyV;        // upsampling by the smooth 2:1 filters
  bool latched;
  uint16_t quant[64];  // natural order, taken at the first scan holding it
  int32_t pred;
  int16_t* coef;
  uint8_t* plane;  // bw * 8 by bh * 8 samples
};

}  // namespace

struct JpegDecoder::State {
  const uint8_t* data;
  size_t size, pos;
  // Frame.
  bool sawSof, progressive, multiScan, rgb, sawJfif, sawAdobe;
  unsigned adobeTransform;
  uint32_t width, height;
  unsigned ncomp, maxH, maxV;
  Component comp[3];
  uint16_t quant[4][64];
  bool quantDefined[4];
  HuffTable dc[4], ac[4];
  unsigned restartInterval;
  // Scan.
  unsigned scanComps, ss, se, ah, al;
  Component* scan[4];
  Derived dcd[4], acd[4];
  unsigned scansSeen;
  bool decoding;  // Decode has run (it runs once)
  // Entropy-coded data.
  uint32_t bits;
  int nbits;
  unsigned marker;  // a marker read but not handled yet (0: none)
  bool insufficient;
  unsigned nextRestart, togo;
  uint32_t eobrun;
};

namespace {

using State = JpegDecoder::State;

unsigned Byte(State& s) {
  const size_t p = s.pos++;
  if (p < s.size) return s.data[p];
  return ((p - s.size) & 1) ? 0xD9 : 0xFF;
}

unsigned Word(State& s) {
  const unsigned high = Byte(s);
  return (high << 8) | Byte(s);
}

void Skip(State& s, long count) {
  if (count > 0) s.pos += static_cast<size_t>(count);
}

// The next marker code: bytes before it are passed over, fill bytes (FF)
// and stuffed zeros (FF 00) too.
unsigned NextMarker(State& s) {
  for (;;) {
    unsigned c = Byte(s);
    while (c != 0xFF) c = Byte(s);
    do c = Byte(s);
    while (c == 0xFF);
    if (c != 0) return c;
  }
}

bool ReadFrame(State& s, bool progressive) {
  s.progressive = progressive;
  const long length = static_cast<long>(Word(s)) - 8;
  const unsigned precision = Byte(s);
  s.height = Word(s);
  s.width = Word(s);
  const unsigned n = Byte(s);
  if (s.sawSof || s.height == 0 || s.width == 0 || n == 0 || length != static_cast<long>(n) * 3) return false;
  // Sizes, precision and sampling factors libjpeg accepts; components that
  // make an RGB picture.
  if (s.height > 65500 || s.width > 65500 || precision != 8 || (n != 1 && n != 3)) return false;
  s.ncomp = n;
  for (unsigned i = 0; i < n; ++i) {
    Component& c = s.comp[i];
    c.id = Byte(s);
    const unsigned f = Byte(s);
    c.h = f >> 4;
    c.v = f & 15;
    c.tq = Byte(s);
    if (c.h == 0 || c.h > 4 || c.v == 0 || c.v > 4) return false;
  }
  s.sawSof = true;
  return true;
}

bool ReadHuffmanTables(State& s) {
  long length = static_cast<long>(Word(s)) - 2;
  while (length > 16) {
    unsigned index = Byte(s);
    HuffTable t;
    t.bits[0] = 0;
    unsigned count = 0;
    for (int i = 1; i <= 16; ++i) count += t.bits[i] = static_cast<uint8_t>(Byte(s));
    length -= 17;
    if (count > 256 || static_cast<long>(count) > length) return false;
    std::memset(t.vals, 0, sizeof t.vals);
    for (unsigned i = 0; i < count; ++i) t.vals[i] = static_cast<uint8_t>(Byte(s));
    length -= count;
    HuffTable* slots = s.dc;
    if (index & 0x10) {
      index -= 0x10;
      slots = s.ac;
    }
    if (index >= 4) return false;
    t.defined = true;
    slots[index] = t;
  }
  return length == 0;
}

bool ReadQuantTables(State& s) {
  long length = static_cast<long>(Word(s)) - 2;
  while (length > 0) {
    const unsigned n = Byte(s);
    const unsigned wide = n >> 4, slot = n & 15;
    if (slot >= 4) return false;
    for (int i = 0; i < 64; ++i) s.quant[slot][kZigzag[i]] = static_cast<uint16_t>(wide ? Word(s) : Byte(s));
    s.quantDefined[slot] = true;
    length -= wide ? 129 : 65;
  }
  return length == 0;
}

// Arithmetic-coding conditioning: checked as libjpeg checks it, then unused.
bool ReadArithmeticConditioning(State& s) {
  long length = static_cast<long>(Word(s)) - 2;
  while (length > 0) {
    const unsigned index = Byte(s), value = Byte(s);
    length -= 2;
    if (index >= 32 || (index < 16 && (value & 15) > (value >> 4))) return false;
  }
  return length == 0;
}

// APP0 (JFIF) and APP14 (Adobe) decide the colour space of three components.
void ReadApplicationMarker(State& s, unsigned marker) {
  long length = static_cast<long>(Word(s)) - 2;
  uint8_t b[14];
  const unsigned n = length >= 14 ? 14 : length > 0 ? static_cast<unsigned>(length) : 0;
  for (unsigned i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(Byte(s));
  length -= n;
  if (marker == 0xE0 && n >= 14 && std::memcmp(b, "JFIF", 5) == 0) s.sawJfif = true;
  if (marker == 0xEE && n >= 12 && std::memcmp(b, "Adobe", 5) == 0) {
    s.sawAdobe = true;
    s.adobeTransform = b[11];
  }
  Skip(s, length);
}

bool ReadScanHeader(State& s) {
  if (!s.sawSof) return false;
  const unsigned length = Word(s);
  const unsigned n = Byte(s);
  if (length != n * 2 + 6 || n < 1 || n > 4) return false;
  Component* slot[4] = {};
  for (unsigned i = 0; i < n; ++i) {
    const unsigned id = Byte(s), tables = Byte(s);
    // The component is looked up as libjpeg looks it up, quirks included.
    unsigned ci = 0;
    while (ci < s.ncomp && !(s.comp[ci].id == id && slot[ci] == nullptr)) ++ci;
    if (ci == s.ncomp) return false;
    slot[i] = &s.comp[ci];
    for (unsigned j = 0; j < i; ++j) {
      if (slot[j] == slot[i]) return false;
    }
    slot[i]->dcTable = tables >> 4;
    slot[i]->acTable = tables & 15;
  }
  s.scanComps = n;
  for (unsigned i = 0; i < 4; ++i) s.scan[i] = slot[i];
  s.ss = Byte(s);
  s.se = Byte(s);
  const unsigned a = Byte(s);
  s.ah = a >> 4;
  s.al = a & 15;
  s.nextRestart = 0;
  return true;
}

// Reads markers up to the next scan's header (returns 1) or the end of the
// picture (0); -1 when the stream is refused.
int ReadMarkers(State& s) {
  for (;;) {
    const unsigned m = s.marker != 0 ? s.marker : NextMarker(s);
    s.marker = 0;
    if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
      if (!ReadFrame(s, m == 0xC2)) return -1;
    } else if (m == 0xC4) {
      if (!ReadHuffmanTables(s)) return -1;
    } else if (m == 0xCC) {
      if (!ReadArithmeticConditioning(s)) return -1;
    } else if (m == 0xDB) {
      if (!ReadQuantTables(s)) return -1;
    } else if (m == 0xDD) {
      if (Word(s) != 4) return -1;
      s.restartInterval = Word(s);
    } else if (m == 0xDA) {
      return ReadScanHeader(s) ? 1 : -1;
    } else if (m == 0xD9) {
      return 0;
    } else if (m == 0xE0 || m == 0xEE) {
      ReadApplicationMarker(s, m);
    } else if ((m >= 0xE1 && m <= 0xEF) || m == 0xFE || m == 0xDC) {
      Skip(s, static_cast<long>(Word(s)) - 2);
    } else if (!((m >= 0xD0 && m <= 0xD7) || m == 0x01)) {
      // A second SOI, the other frame types (arithmetic coding among
      // them), reserved codes.
      return -1;
    }
  }
}

// Builds a decoding table, refusing what libjpeg refuses: an undefined
// slot, more codes than symbols, a code set that does not fit its lengths,
// DC symbols above 15.
bool Derive(const State& s, bool dc, unsigned slot, Derived* d) {
  if (slot >= 4) return false;
  const HuffTable& t = dc ? s.dc[slot] : s.ac[slot];
  if (!t.defined) return false;
  int32_t code = 0, p = 0;
  for (int l = 1; l <= 16; ++l) {
    const int32_t n = t.bits[l];
    if (p + n > 256) return false;
    d->valoffset[l] = p - code;
    code += n;
    p += n;
    d->maxcode[l] = n != 0 ? code - 1 : -1;
    if (code >= (1 << l)) return false;  // a code of all ones, or more codes than fit
    code <<= 1;
  }
  d->maxcode[17] = 0xFFFFF;
  d->valoffset[17] = 0;
  d->vals = t.vals;
  if (dc) {
    for (int32_t i = 0; i < p; ++i) {
      if (t.vals[i] > 15) return false;
    }
  }
  return true;
}

// One bit of entropy-coded data; zeros once a marker or the end of the
// data is reached, which also marks the segment as short of data.
unsigned Bit(State& s) {
  if (s.nbits == 0) {
    unsigned c = 0;
    if (s.marker == 0) {
      c = Byte(s);
      if (c == 0xFF) {
        unsigned next;
        do next = Byte(s);
        while (next == 0xFF);
        if (next != 0) s.marker = next;
      }
    }
    if (s.marker != 0) {
      s.insufficient = true;
      return 0;
    }
    s.bits = c;
    s.nbits = 8;
  }
  return (s.bits >> --s.nbits) & 1;
}

unsigned Bits(State& s, unsigned n) {
  unsigned v = 0;
  while (n-- != 0) v = (v << 1) | Bit(s);
  return v;
}

// The value of an n-bit magnitude field (1 <= n <= 15).
int32_t Extend(unsigned v, unsigned n) {
  return v < (1u << (n - 1)) ? static_cast<int32_t>(v) - (1 << n) + 1 : static_cast<int32_t>(v);
}

int32_t Received(State& s, unsigned n) { return Extend(Bits(s, n), n); }

unsigned DecodeSymbol(State& s, const Derived& t) {
  int32_t code = static_cast<int32_t>(Bit(s));
  int l = 1;
  while (code > t.maxcode[l]) {
    code = (code << 1) | static_cast<int32_t>(Bit(s));
    ++l;
  }
  if (l > 16) return 0;  // no such code: libjpeg takes symbol 0
  return t.vals[(code + t.valoffset[l]) & 0xFF];
}

// Moves past a restart marker, or resynchronises as libjpeg does when the
// expected one is not there.
void Restart(State& s) {
  s.nbits = 0;
  if (s.marker == 0) s.marker = NextMarker(s);
  const unsigned want = s.nextRestart;
  if (s.marker == 0xD0 + want) {
    s.marker = 0;
  } else {
    for (;;) {
      const unsigned m = s.marker;
      int action;  // 1: take it as the restart, 2: look further, 3: stop at it
      if (m < 0xC0) {
        action = 2;
      } else if (m < 0xD0 || m > 0xD7) {
        action = 3;
      } else if (m == 0xD0 + ((want + 1) & 7) || m == 0xD0 + ((want + 2) & 7)) {
        action = 3;
      } else if (m == 0xD0 + ((want - 1) & 7) || m == 0xD0 + ((want - 2) & 7)) {
        action = 2;
      } else {
        action = 1;
      }
      if (action == 1) s.marker = 0;
      if (action != 2) break;
      s.marker = NextMarker(s);
    }
  }
  s.nextRestart = (want + 1) & 7;
  for (Component& c : s.comp) c.pred = 0;
  s.eobrun = 0;
  s.togo = s.restartInterval;
  if (s.marker == 0) s.insufficient = false;
}

// Checks a scan's parameters, takes its quantisation tables and prepares
// its Huffman tables.
bool StartScan(State& s) {
  // A second scan in a picture whose first held every component is refused
  // as libjpeg refuses it; so is a picture of more than kMaxScans scans,
  // each of which could make the decoder walk the whole picture again.
  if (++s.scansSeen > 1 && !s.multiScan) return false;
  if (s.scansSeen > kMaxScans) return false;
  unsigned blocks = 0;
  for (unsigned i = 0; i < s.scanComps; ++i) {
    Component& c = *s.scan[i];
    blocks += s.scanComps == 1 ? 1 : c.h * c.v;
    if (!c.latched) {
      if (c.tq >= 4 || !s.quantDefined[c.tq]) return false;
      std::memcpy(c.quant, s.quant[c.tq], sizeof c.quant);
      c.latched = true;
    }
    c.pred = 0;
  }
  if (blocks > 10) return false;
  if (s.progressive) {
    const bool dcBand = s.ss == 0;
    if (dcBand ? s.se != 0 : (s.ss > s.se || s.se > 63 || s.scanComps != 1)) return false;
    if ((s.ah != 0 && s.al != s.ah - 1) || s.al > 13) return false;
    for (unsigned i = 0; i < s.scanComps; ++i) {
      const Component& c = *s.scan[i];
      if (dcBand ? (s.ah == 0 && !Derive(s, true, c.dcTable, &s.dcd[c.dcTable & 3]))
                 : !Derive(s, false, c.acTable, &s.acd[c.acTable & 3])) {
        return false;
      }
    }
  } else {
    for (unsigned i = 0; i < s.scanComps; ++i) {
      const Component& c = *s.scan[i];
      if (!Derive(s, true, c.dcTable, &s.dcd[c.dcTable & 3]) || !Derive(s, false, c.acTable, &s.acd[c.acTable & 3])) {
        return false;
      }
    }
  }
  s.nbits = 0;
  s.insufficient = false;
  s.eobrun = 0;
  s.togo = s.restartInterval;
  return true;
}

// Adds a progressive refinement bit to a coefficient already nonzero.
void Refine(State& s, int16_t* coef, int32_t p1, int32_t m1) {
  if (Bit(s) && (*coef & p1) == 0) *coef = static_cast<int16_t>(*coef + (*coef >= 0 ? p1 : m1));
}

// Decodes one MCU into its blocks (owners: the component of each block).
bool DecodeMcu(State& s, int16_t* const* blocks, Component* const* owners, unsigned count) {
  if (!s.progressive) {
    if (s.insufficient) return true;
    for (unsigned b = 0; b < count; ++b) {
      int16_t* block = blocks[b];
      Component& c = *owners[b];
      const unsigned t = DecodeSymbol(s, s.dcd[c.dcTable]);
      const int32_t diff = t != 0 ? Received(s, t) : 0;
      c.pred = static_cast<int32_t>(static_cast<uint32_t>(c.pred) + static_cast<uint32_t>(diff));
      block[0] = static_cast<int16_t>(c.pred);
      for (unsigned k = 1; k < 64; ++k) {
        const unsigned sym = DecodeSymbol(s, s.acd[c.acTable]);
        const unsigned run = sym >> 4, size = sym & 15;
        if (size != 0) {
          k += run;
          block[kZigzag[k]] = static_cast<int16_t>(Received(s, size));
        } else {
          if (run != 15) break;
          k += 15;
        }
      }
    }
    return true;
  }
  const int32_t p1 = 1 << s.al;
  const int32_t m1 = static_cast<int32_t>(~0u << s.al);
  if (s.ss == 0) {
    if (s.ah == 0 && s.insufficient) return true;
    for (unsigned b = 0; b < count; ++b) {
      int16_t* block = blocks[b];
      Component& c = *owners[b];
      if (s.ah != 0) {
        if (Bit(s)) block[0] = static_cast<int16_t>(block[0] | p1);
        continue;
      }
      const unsigned t = DecodeSymbol(s, s.dcd[c.dcTable]);
      const int32_t diff = t != 0 ? Received(s, t) : 0;
      const int64_t sum = static_cast<int64_t>(c.pred) + diff;
      if (sum != static_cast<int32_t>(sum)) return false;  // libjpeg refuses the overflow
      c.pred = static_cast<int32_t>(sum);
      block[0] = static_cast<int16_t>(static_cast<uint32_t>(c.pred) << s.al);
    }
    return true;
  }
  if (s.insufficient) return true;
  int16_t* block = blocks[0];
  const Derived& table = s.acd[owners[0]->acTable];
  unsigned k = s.ss;
  if (s.ah == 0) {
    if (s.eobrun > 0) {
      --s.eobrun;
      return true;
    }
    for (; k <= s.se; ++k) {
      const unsigned sym = DecodeSymbol(s, table);
      const unsigned run = sym >> 4, size = sym & 15;
      if (size != 0) {
        k += run;
        block[kZigzag[k]] = static_cast<int16_t>(static_cast<uint32_t>(Received(s, size)) << s.al);
      } else if (run == 15) {
        k += 15;
      } else {
        s.eobrun = (1u << run) + Bits(s, run) - 1;
        break;
      }
    }
    return true;
  }
  if (s.eobrun == 0) {
    for (; k <= s.se; ++k) {
      const unsigned sym = DecodeSymbol(s, table);
      int32_t run = static_cast<int32_t>(sym >> 4);
      int32_t value = 0;
      if ((sym & 15) != 0) {
        value = Bit(s) ? p1 : m1;
      } else if (run != 15) {
        s.eobrun = (1u << run) + Bits(s, static_cast<unsigned>(run));
        break;
      }
      do {
        int16_t* coef = block + kZigzag[k];
        if (*coef != 0) {
          Refine(s, coef, p1, m1);
        } else if (--run < 0) {
          break;
        }
        ++k;
      } while (k <= s.se);
      if (value != 0) block[kZigzag[k]] = static_cast<int16_t>(value);
    }
  }
  if (s.eobrun > 0) {
    for (; k <= s.se; ++k) {
      if (block[kZigzag[k]] != 0) Refine(s, block + kZigzag[k], p1, m1);
    }
    --s.eobrun;
  }
  return true;
}

bool DecodeScan(State& s) {
  Component* owners[10];
  int16_t* blocks[10];
  uint32_t mcusX, mcusY;
  if (s.scanComps == 1) {
    mcusX = s.scan[0]->bw;
    mcusY = s.scan[0]->bh;
  } else {
    mcusX = (s.width + 8 * s.maxH - 1) / (8 * s.maxH);
    mcusY = (s.height + 8 * s.maxV - 1) / (8 * s.maxV);
  }
  for (uint32_t my = 0; my < mcusY; ++my) {
    for (uint32_t mx = 0; mx < mcusX; ++mx) {
      if (s.restartInterval != 0 && s.togo == 0) Restart(s);
      unsigned n = 0;
      for (unsigned i = 0; i < s.scanComps; ++i) {
        Component* c = s.scan[i];
        const unsigned h = s.scanComps == 1 ? 1 : c->h, v = s.scanComps == 1 ? 1 : c->v;
        for (unsigned y = 0; y < v; ++y) {
          for (unsigned x = 0; x < h; ++x) {
            owners[n] = c;
            blocks[n++] = c->coef + ((static_cast<size_t>(my) * v + y) * c->bwPad + mx * h + x) * 64;
          }
        }
      }
      if (!DecodeMcu(s, blocks, owners, n)) return false;
      if (s.restartInterval != 0) --s.togo;
    }
  }
  return true;
}

// libjpeg's IDCT output limiting: the value's low 10 bits, read as signed,
// shifted to centre 128 and clamped.
uint8_t IdctLimit(int32_t v) {
  v = ((v & 1023) ^ 512) - 512 + 128;
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

int32_t Descale(unsigned long v, int n) { return static_cast<int32_t>(static_cast<long>(v + (1ul << (n - 1))) >> n); }

// One 8-point pass of the accurate integer IDCT (13-bit constants). libjpeg
// computes it in the C type long: 64 bits on a 64-bit Linux, 32 on Windows,
// where the coefficients of a damaged picture overflow and wrap around. The
// same type here gives the same pixels as the platform's libjpeg even then.
void Idct8(const unsigned long* d, unsigned long* o) {
  unsigned long z1 = (d[2] + d[6]) * 4433u;
  unsigned long t2 = z1 + d[6] * static_cast<unsigned long>(-15137);
  unsigned long t3 = z1 + d[2] * 6270u;
  unsigned long t0 = (d[0] + d[4]) << 13;
  unsigned long t1 = (d[0] - d[4]) << 13;
  const unsigned long t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
  t0 = d[7];
  t1 = d[5];
  t2 = d[3];
  t3 = d[1];
  z1 = (t0 + t3) * static_cast<unsigned long>(-7373);
  const unsigned long z2 = (t1 + t2) * static_cast<unsigned long>(-20995);
  const unsigned long z5 = (t0 + t1 + t2 + t3) * 9633u;
  const unsigned long z3 = (t0 + t2) * static_cast<unsigned long>(-16069) + z5;
  const unsigned long z4 = (t1 + t3) * static_cast<unsigned long>(-3196) + z5;
  t0 = t0 * 2446u + z1 + z3;
  t1 = t1 * 16819u + z2 + z4;
  t2 = t2 * 25172u + z2 + z3;
  t3 = t3 * 12299u + z1 + z4;
  o[0] = t10 + t3;
  o[7] = t10 - t3;
  o[1] = t11 + t2;
  o[6] = t11 - t2;
  o[2] = t12 + t1;
  o[5] = t12 - t1;
  o[3] = t13 + t0;
  o[4] = t13 - t0;
}

// Dequantises and transforms one block. Quantisation values are taken as
// 16-bit signed numbers, as libjpeg (with its SIMD code built in) takes them:
// a value above 32767 counts as negative. A column whose AC coefficients are
// zero, and a row whose AC terms are, take libjpeg's shortcuts: the same
// values as the full pass unless a 32-bit long overflows in it.
void IdctBlock(const int16_t* in, const uint16_t* quant, uint8_t* out, size_t stride) {
  unsigned long d[8], o[8];
  int32_t work[64];
  for (int col = 0; col < 8; ++col) {
    bool flat = true;
    for (int i = 0; i < 8; ++i) {
      d[i] = static_cast<unsigned long>(in[i * 8 + col] * static_cast<int16_t>(quant[i * 8 + col]));
      if (i > 0 && in[i * 8 + col] != 0) flat = false;
    }
    Idct8(d, o);
    for (int i = 0; i < 8; ++i) work[i * 8 + col] = flat ? static_cast<int32_t>(d[0] << 2) : Descale(o[i], 11);
  }
  for (int row = 0; row < 8; ++row) {
    bool flat = true;
    for (int i = 0; i < 8; ++i) {
      d[i] = static_cast<unsigned long>(static_cast<long>(work[row * 8 + i]));
      if (i > 0 && d[i] != 0) flat = false;
    }
    Idct8(d, o);
    for (int i = 0; i < 8; ++i) out[row * stride + i] = IdctLimit(flat ? Descale(d[0], 5) : Descale(o[i], 18));
  }
}

// The component's sample at (x, y) of the output grid.
int Sample(const Component& c, uint32_t x, uint32_t y) {
  const auto at = [&c](int32_t cx, int32_t cy) -> int {
    const int32_t mx = static_cast<int32_t>(c.dw) - 1, my = static_cast<int32_t>(c.dh) - 1;
    cx = cx < 0 ? 0 : cx > mx ? mx : cx;
    cy = cy < 0 ? 0 : cy > my ? my : cy;
    return c.plane[static_cast<size_t>(cy) * c.bw * 8 + static_cast<uint32_t>(cx)];
  };
  const int32_t j = static_cast<int32_t>(x >> 1), k = static_cast<int32_t>(y >> 1);
  const int32_t jn = (x & 1) ? j + 1 : j - 1, kn = (y & 1) ? k + 1 : k - 1;
  if (c.fancyV && c.fancyH) {
    const int here = 3 * at(j, k) + at(j, kn), next = 3 * at(jn, k) + at(jn, kn);
    return (3 * here + next + ((x & 1) ? 7 : 8)) >> 4;
  }
  if (c.fancyV) return (3 * at(static_cast<int32_t>(x), k) + at(static_cast<int32_t>(x), kn) + ((y & 1) ? 2 : 1)) >> 2;
  if (c.fancyH) return (3 * at(j, static_cast<int32_t>(y)) + at(jn, static_cast<int32_t>(y)) + ((x & 1) ? 2 : 1)) >> 2;
  return at(static_cast<int32_t>(x / c.hexp), static_cast<int32_t>(y / c.vexp));
}

uint8_t Clamp(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

void ReleaseBuffers(State& s) {
  for (Component& c : s.comp) {
    std::free(c.coef);
    std::free(c.plane);
    c.coef = nullptr;
    c.plane = nullptr;
  }
}

}  // namespace

JpegDecoder::~JpegDecoder() {
  if (state_ != nullptr) ReleaseBuffers(*state_);
  std::free(state_);
}

int32_t JpegDecoder::ReadHeader(const uint8_t* data, size_t size, uint64_t maxPixels) {
  if (state_ != nullptr) ReleaseBuffers(*state_);
  std::free(state_);
  width_ = height_ = 0;
  state_ = static_cast<State*>(std::calloc(1, sizeof(State)));
  if (state_ == nullptr) return kErrOutOfMemory;
  State& s = *state_;
  s.data = data;
  s.size = size;
  if (Byte(s) != 0xFF || Byte(s) != 0xD8 || ReadMarkers(s) != 1) return kErrCorruptPicture;
  // The first scan: the frame's geometry, how each component is upsampled
  // and the colour space are settled now, as libjpeg settles them.
  for (unsigned i = 0; i < s.ncomp; ++i) {
    if (s.comp[i].h > s.maxH) s.maxH = s.comp[i].h;
    if (s.comp[i].v > s.maxV) s.maxV = s.comp[i].v;
  }
  for (unsigned i = 0; i < s.ncomp; ++i) {
    Component& c = s.comp[i];
    c.dw = static_cast<uint32_t>((static_cast<uint64_t>(s.width) * c.h + s.maxH - 1) / s.maxH);
    c.dh = static_cast<uint32_t>((static_cast<uint64_t>(s.height) * c.v + s.maxV - 1) / s.maxV);
    c.bw = (c.dw + 7) / 8;
    c.bh = (c.dh + 7) / 8;
    c.bwPad = (c.bw + c.h - 1) / c.h * c.h;
    c.bhPad = (c.bh + c.v - 1) / c.v * c.v;
    if (s.maxH % c.h != 0 || s.maxV % c.v != 0) return kErrCorruptPicture;  // fractional factors
    c.hexp = s.maxH / c.h;
    c.vexp = s.maxV / c.v;
    c.fancyH = c.hexp == 2 && c.dw > 2 && c.vexp <= 2;
    c.fancyV = c.vexp == 2 && c.hexp == 1;
    if (c.hexp == 2 && c.vexp == 2) c.fancyV = c.fancyH;
  }
  if (s.ncomp == 3) {
    if (s.sawJfif) {
      s.rgb = false;
    } else if (s.sawAdobe) {
      s.rgb = s.adobeTransform == 0;
    } else {
      s.rgb = s.comp[0].id == 'R' && s.comp[1].id == 'G' && s.comp[2].id == 'B';
    }
  }
  s.multiScan = s.progressive || s.scanComps < s.ncomp;
  if (!s.progressive) {
    // Slots 0 and 1 still undefined get the usual tables.
    for (int t = 0; t < 4; ++t) {
      HuffTable& table = (t < 2 ? s.dc : s.ac)[t & 1];
      if (table.defined) continue;
      table.defined = true;
      std::memcpy(table.bits + 1, kStdBits[t], 16);
      if (t < 2) {
        for (int i = 0; i < 12; ++i) table.vals[i] = static_cast<uint8_t>(i);
        continue;
      }
      const uint8_t* head = t == 2 ? kStdAcLumaHead : kStdAcChromaHead;
      const unsigned headSize = t == 2 ? sizeof kStdAcLumaHead : sizeof kStdAcChromaHead;
      std::memcpy(table.vals, head, headSize);
      unsigned n = headSize;
      for (unsigned sym = 1; sym < 256; ++sym) {
        if ((sym & 15) == 0 || (sym & 15) > 10 || std::memchr(head, static_cast<int>(sym), headSize)) continue;
        table.vals[n++] = static_cast<uint8_t>(sym);
      }
    }
  }
  if (static_cast<uint64_t>(s.width) * s.height > maxPixels) return kErrCorruptPicture;
  width_ = s.width;
  height_ = s.height;
  return kOk;
}

int32_t JpegDecoder::Decode(uint8_t* out, size_t stride, bool bgr) {
  if (state_ == nullptr || width_ == 0 || state_->decoding) return kErrCorruptPicture;
  State& s = *state_;
  s.decoding = true;
  for (unsigned i = 0; i < s.ncomp; ++i) {
    Component& c = s.comp[i];
    c.coef = static_cast<int16_t*>(std::calloc(static_cast<size_t>(c.bwPad) * c.bhPad, 64 * sizeof(int16_t)));
    if (c.coef == nullptr) return kErrOutOfMemory;
  }
  for (;;) {
    if (!StartScan(s) || !DecodeScan(s)) return kErrCorruptPicture;
    const int next = ReadMarkers(s);
    if (next < 0) return kErrCorruptPicture;
    if (next == 0) break;
  }
  // Each component's samples, then its coefficients are given back.
  for (unsigned i = 0; i < s.ncomp; ++i) {
    Component& c = s.comp[i];
    const size_t planeStride = static_cast<size_t>(c.bw) * 8;
    c.plane = static_cast<uint8_t*>(std::malloc(planeStride * c.bh * 8));
    if (c.plane == nullptr) return kErrOutOfMemory;
    for (uint32_t by = 0; by < c.bh; ++by) {
      for (uint32_t bx = 0; bx < c.bw; ++bx) {
        IdctBlock(c.coef + (static_cast<size_t>(by) * c.bwPad + bx) * 64, c.quant,
                  c.plane + by * 8 * planeStride + bx * 8, planeStride);
      }
    }
    std::free(c.coef);
    c.coef = nullptr;
  }
  const unsigned red = bgr ? 2 : 0, blue = 2 - red;
  for (uint32_t y = 0; y < s.height; ++y) {
    uint8_t* px = out + y * stride;
    for (uint32_t x = 0; x < s.width; ++x, px += 3) {
      const int luma = Sample(s.comp[0], x, y);
      if (s.ncomp == 1) {
        px[0] = px[1] = px[2] = static_cast<uint8_t>(luma);
        continue;
      }
      const int cb = Sample(s.comp[1], x, y), cr = Sample(s.comp[2], x, y);
      if (s.rgb) {
        px[red] = static_cast<uint8_t>(luma);
        px[1] = static_cast<uint8_t>(cb);
        px[blue] = static_cast<uint8_t>(cr);
        continue;
      }
      px[red] = Clamp(luma + ((91881 * (cr - 128) + 32768) >> 16));
      px[1] = Clamp(luma + ((-22554 * (cb - 128) - 46802 * (cr - 128) + 32768) >> 16));
      px[blue] = Clamp(luma + ((116130 * (cb - 128) + 32768) >> 16));
    }
  }
  ReleaseBuffers(s);
  return kOk;
}

}  // namespace ss::codec
