// Implode: the encoder of the DCL implode format. See FORMAT.md.
//
// The format's Huffman codes are fixed, so the price of every literal and
// every (length, distance) pair in bits is known exactly in advance. The
// encoder therefore parses optimally: over a segment of positions it finds
// the cheapest path (a shortest path over "literal" and "match" edges) and
// then emits it. Candidate matches come from hash chains over 3-byte
// prefixes, plus a table of the last position of each 2-byte prefix for the
// short matches of length 2 (distance at most 256).
//
// A segment ends where no candidate match crosses the current position (the
// cheapest path to that point is then final), at a long match (taken as it
// is), at the end of the input, or when the segment is full.
//
// Everything lives in the caller's 36312-byte work buffer: the input window,
// the hash tables, the parse nodes and the output buffer.
#include "codec/Codec.h"

#include <cstring>

#include "codec/Tables.h"

namespace ss::codec {
namespace {

using namespace detail;

constexpr auto kLenEncode = MakeLenEncodeTable();

constexpr size_t kAlign = 8;
constexpr unsigned kSegment = 512;          // positions parsed per segment at most
constexpr unsigned kNodes = kSegment + kMaxMatch + 1;
constexpr unsigned kHashBits = 12;
constexpr unsigned kHash2Bits = 11;
constexpr unsigned kOutSize = 1024;         // output bytes handed to the caller at once
constexpr unsigned kHistory = kMaxDict;
constexpr unsigned kPad = 8;                // zeroed bytes after the data for 8-byte loads
#ifndef SS_IMPLODE_DEPTH
#define SS_IMPLODE_DEPTH 16
#endif
#ifndef SS_IMPLODE_NICE
#define SS_IMPLODE_NICE 64
#endif
constexpr unsigned kChainDepth = SS_IMPLODE_DEPTH;  // hash chain candidates tried per position
constexpr unsigned kNice = SS_IMPLODE_NICE;         // a match this long is taken at once
constexpr unsigned kMaxCandidates = 64;             // matches of increasing length kept per position

struct Node {
  uint32_t price;  // bits from the segment start
  uint16_t len;    // 1: reached by a literal; else by a match of this length
  uint16_t dist;
};

// Input window size: whatever the work buffer has left.
constexpr size_t kFixedSize = sizeof(Node) * kNodes + 2 * (size_t(1) << kHashBits) +
                              2 * (size_t(1) << kHash2Bits) + 2 * kMaxDict + kOutSize + 8;
constexpr size_t kBufSize = (kImplodeWorkSize - (kAlign - 1) - kFixedSize - kPad) & ~size_t(7);
static_assert(kBufSize >= kHistory + kSegment + kMaxMatch + 1024, "input window too small");

struct ImplodeWork {
  Node node[kNodes];
  uint16_t head[size_t(1) << kHashBits];    // last position of each 3-byte hash
  uint16_t head2[size_t(1) << kHash2Bits];  // last position of each 2-byte hash
  uint16_t prev[kMaxDict];                  // chain links, by position mod 4096
  uint8_t out[kOutSize + 8];
  uint8_t buf[kBufSize + kPad];
};
static_assert(sizeof(ImplodeWork) + kAlign - 1 <= kImplodeWorkSize, "work buffer too small");

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}
inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}
inline unsigned Ctz64(uint64_t v) { return static_cast<unsigned>(__builtin_ctzll(v)); }

inline unsigned Hash3(const uint8_t* p) {
  return ((Load32(p) & 0xFFFFFF) * 2654435761u) >> (32 - kHashBits);
}
inline unsigned Hash2(const uint8_t* p) {
  return ((Load32(p) & 0xFFFF) * 2654435761u) >> (32 - kHash2Bits);
}

// Number of equal bytes at a and b, at most limit. Both may be read up to
// 8 bytes past limit (the window keeps kPad bytes of padding).
inline unsigned MatchLength(const uint8_t* a, const uint8_t* b, unsigned limit) {
  unsigned n = 0;
  while (n < limit) {
    uint64_t x = Load64(a + n) ^ Load64(b + n);
    if (x != 0) {
      n += Ctz64(x) >> 3;
      return n < limit ? n : limit;
    }
    n += 8;
  }
  return limit;
}

class BitWriter {
 public:
  BitWriter(uint8_t* buf, WriteFn write, void* param) : buf_(buf), write_(write), param_(param) {}
  // n <= 32.
  void Put(uint32_t bits, unsigned n) {
    acc_ |= uint64_t(bits) << cnt_;
    cnt_ += n;
    if (cnt_ >= 32) {
      uint32_t w = static_cast<uint32_t>(acc_);
      buf_[pos_] = static_cast<uint8_t>(w);
      buf_[pos_ + 1] = static_cast<uint8_t>(w >> 8);
      buf_[pos_ + 2] = static_cast<uint8_t>(w >> 16);
      buf_[pos_ + 3] = static_cast<uint8_t>(w >> 24);
      pos_ += 4;
      acc_ >>= 32;
      cnt_ -= 32;
      if (pos_ >= kOutSize) Drain();
    }
  }
  void Finish() {
    while (cnt_ > 0) {
      buf_[pos_++] = static_cast<uint8_t>(acc_);
      acc_ >>= 8;
      cnt_ = cnt_ > 8 ? cnt_ - 8 : 0;
    }
    Drain();
  }

 private:
  void Drain() {
    if (pos_ == 0) return;
    unsigned n = pos_;
    write_(reinterpret_cast<char*>(buf_), &n, param_);
    pos_ = 0;
  }
  uint8_t* buf_;
  unsigned pos_ = 0;
  WriteFn write_;
  void* param_;
  uint64_t acc_ = 0;
  unsigned cnt_ = 0;
};

struct Match {
  unsigned len;
  unsigned dist;
};

class Imploder {
 public:
  Imploder(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, unsigned mode,
           unsigned dictBits)
      : read_(readBuf),
        param_(param),
        mode_(mode),
        dictBits_(dictBits),
        dictSize_(64u << dictBits),
        w_(reinterpret_cast<ImplodeWork*>(
            (reinterpret_cast<uintptr_t>(workBuf) + kAlign - 1) & ~uintptr_t(kAlign - 1))),
        bits_(w_->out, writeBuf, param) {
    for (unsigned c = 0; c < 256; ++c)
      litPrice_[c] = mode == kCmpBinary ? 9 : 1 + kLitLengths[c];
    for (unsigned l = kMinMatch; l <= kMaxMatch; ++l) lenPrice_[l] = 1 + (kLenEncode[l] >> 16);
  }

  void Run();

 private:
  void Fill();
  unsigned FindMatches(unsigned pos, unsigned limit, Match* out, unsigned* dist2);
  void Insert(unsigned pos) {
    const uint8_t* p = w_->buf + pos;
    uint16_t a = static_cast<uint16_t>(pos + base_);
    unsigned h = Hash3(p);
    w_->prev[a & (kMaxDict - 1)] = w_->head[h];
    w_->head[h] = a;
    w_->head2[Hash2(p)] = a;
  }
  unsigned DistPrice(unsigned len, unsigned dist) const {
    return len == 2 ? kDistLengths[(dist - 1) >> 2] + 2
                    : kDistLengths[(dist - 1) >> dictBits_] + dictBits_;
  }
  void PutLiteral(uint8_t c) {
    if (mode_ == kCmpBinary)
      bits_.Put(uint32_t(c) << 1, 9);
    else
      bits_.Put(uint32_t(kLitCodes[c]) << 1, 1 + kLitLengths[c]);
  }
  void PutMatch(unsigned len, unsigned dist) {
    uint32_t e = kLenEncode[len];
    unsigned lowBits = len == 2 ? 2 : dictBits_;
    unsigned d = dist - 1;
    unsigned sym = d >> lowBits;
    bits_.Put(1 | (e & 0xFFFF) << 1, 1 + (e >> 16));
    bits_.Put(kDistCodes[sym] | (d & ((1u << lowBits) - 1)) << kDistLengths[sym],
              kDistLengths[sym] + lowBits);
  }
  // Emits the cheapest path from window index `from` over n positions.
  void EmitPath(unsigned from, unsigned n);

  ReadFn read_;
  void* param_;
  unsigned mode_;
  unsigned dictBits_;
  unsigned dictSize_;
  ImplodeWork* w_;
  BitWriter bits_;
  unsigned end_ = 0;     // bytes of data in the window
  bool eof_ = false;
  uint32_t base_ = kMaxDict + 1;  // absolute position of window index 0 (hash tables hold it mod 2^16)
  uint8_t litPrice_[256];
  uint8_t lenPrice_[kMaxMatch + 1];
};

// Reads until the window is full or the input ends.
void Imploder::Fill() {
  while (!eof_ && end_ < kBufSize) {
    unsigned want = static_cast<unsigned>(kBufSize - end_);
    unsigned got = read_(reinterpret_cast<char*>(w_->buf + end_), &want, param_);
    if (got == 0) {
      eof_ = true;
    } else {
      if (got > kBufSize - end_) got = static_cast<unsigned>(kBufSize - end_);
      end_ += got;
    }
  }
  std::memset(w_->buf + end_, 0, kPad);
}

// Collects the matches at pos with strictly increasing lengths (each at the
// closest distance found for it), longest last; returns their number. *dist2
// gets the closest distance of a length-2 match (0: none).
unsigned Imploder::FindMatches(unsigned pos, unsigned limit, Match* out, unsigned* dist2) {
  const uint8_t* cur = w_->buf + pos;
  const uint32_t a = pos + base_;
  const unsigned maxDist = pos < dictSize_ ? pos : dictSize_;
  *dist2 = 0;
  unsigned n = 0;
  if (limit < 2 || maxDist == 0) return 0;

  unsigned d2 = (a - w_->head2[Hash2(cur)]) & 0xFFFF;
  if (d2 != 0 && d2 <= 256 && d2 <= maxDist && cur[0] == cur[-int(d2)] && cur[1] == cur[1 - int(d2)])
    *dist2 = d2;
  if (limit < 3) return 0;

  unsigned best = 2;
  unsigned prevDist = 0;
  uint16_t cand = w_->head[Hash3(cur)];
  for (unsigned depth = 0; depth < kChainDepth; ++depth) {
    unsigned dist = (a - cand) & 0xFFFF;
    if (dist <= prevDist || dist > maxDist) break;
    prevDist = dist;
    const uint8_t* m = cur - dist;
    if (m[best] == cur[best]) {
      unsigned len = MatchLength(cur, m, limit);
      if (len > best) {
        out[n++] = {len, dist};
        best = len;
        if (len >= limit || len >= kNice || n == kMaxCandidates) break;
      }
    }
    cand = w_->prev[cand & (kMaxDict - 1)];
  }
  if (*dist2 == 0 && n > 0 && out[0].dist <= 256) *dist2 = out[0].dist;
  return n;
}

void Imploder::EmitPath(unsigned from, unsigned n) {
  Node* node = w_->node;
  // Reverse the back links into forward links.
  unsigned i = n;
  unsigned len = node[i].len, dist = node[i].dist;
  while (i > 0) {
    unsigned j = i - len;
    unsigned nl = node[j].len, nd = node[j].dist;
    node[j].len = static_cast<uint16_t>(len);
    node[j].dist = static_cast<uint16_t>(dist);
    i = j;
    len = nl;
    dist = nd;
  }
  for (i = 0; i < n; i += node[i].len) {
    if (node[i].len == 1)
      PutLiteral(w_->buf[from + i]);
    else
      PutMatch(node[i].len, node[i].dist);
  }
}

void Imploder::Run() {
  std::memset(w_->head, 0, sizeof(w_->head));
  std::memset(w_->head2, 0, sizeof(w_->head2));
  std::memset(w_->prev, 0, sizeof(w_->prev));
  bits_.Put(mode_, 8);
  bits_.Put(dictBits_, 8);
  Fill();
  Node* const node = w_->node;
  unsigned pos = 0;  // start of the current segment in the window
  Match matches[kMaxCandidates];

  for (;;) {
    if (!eof_ && end_ - pos < kSegment + kMaxMatch) {
      if (pos > kHistory) {
        unsigned shift = pos - kHistory;
        std::memmove(w_->buf, w_->buf + shift, end_ - shift);
        end_ -= shift;
        pos -= shift;
        base_ += shift;
      }
      Fill();
    }
    if (pos >= end_) break;

    // One segment: cheapest paths from pos over at most kSegment positions.
    const unsigned avail = end_ - pos;
    node[0].price = 0;
    unsigned reach = 0;  // furthest node with a price
    unsigned cur = 0;
    unsigned stop = 0;   // where the segment ends
    bool emitted = false;
    for (;;) {
      if ((cur > 0 && cur == reach) || cur == kSegment || cur == avail) {
        stop = cur;
        break;
      }
      const unsigned p = pos + cur;
      const unsigned limit = avail - cur < kMaxMatch ? avail - cur : kMaxMatch;
      unsigned dist2;
      unsigned nm = FindMatches(p, limit, matches, &dist2);
      Insert(p);
      const uint32_t here = node[cur].price;

      // Make sure nodes up to cur + longest are initialised.
      unsigned far = cur + 1;
      if (nm > 0) far = cur + matches[nm - 1].len;
      else if (dist2) far = cur + 2;
      while (reach < far) node[++reach].price = UINT32_MAX;

      uint32_t lit = here + litPrice_[w_->buf[p]];
      if (lit < node[cur + 1].price) node[cur + 1] = {lit, 1, 0};

      if (nm > 0 && matches[nm - 1].len >= kNice) {
        // A long match: commit the path to here and take it.
        EmitPath(pos, cur);
        unsigned len = matches[nm - 1].len;
        PutMatch(len, matches[nm - 1].dist);
        for (unsigned k = 1; k < len; ++k) Insert(p + k);
        stop = cur + len;
        emitted = true;
        break;
      }
      if (dist2) {
        uint32_t pr = here + lenPrice_[2] + DistPrice(2, dist2);
        if (pr < node[cur + 2].price) node[cur + 2] = {pr, 2, static_cast<uint16_t>(dist2)};
      }
      unsigned l = 3;
      for (unsigned k = 0; k < nm; ++k) {
        const unsigned d = matches[k].dist;
        const uint32_t dp = here + DistPrice(3, d);
        for (; l <= matches[k].len; ++l) {
          uint32_t pr = dp + lenPrice_[l];
          if (pr < node[cur + l].price) node[cur + l] = {pr, static_cast<uint16_t>(l), static_cast<uint16_t>(d)};
        }
      }
      ++cur;
    }
    if (!emitted) EmitPath(pos, stop);
    pos += stop;
  }
  uint32_t e = kLenEncode[kEndLength];
  bits_.Put(1 | (e & 0xFFFF) << 1, 1 + (e >> 16));
  bits_.Finish();
}

}  // namespace

unsigned Implode(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, unsigned* type,
                 unsigned* dictSize) {
  unsigned dictBits;
  switch (*dictSize) {
    case 1024: dictBits = 4; break;
    case 2048: dictBits = 5; break;
    case 4096: dictBits = 6; break;
    default: return kCmpInvalidDictSize;
  }
  if (*type != kCmpBinary && *type != kCmpAscii) return kCmpInvalidMode;
  Imploder imp(readBuf, writeBuf, workBuf, param, *type, dictBits);
  imp.Run();
  return kCmpNoError;
}

}  // namespace ss::codec
