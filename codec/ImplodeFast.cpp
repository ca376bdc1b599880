// The fast encoder: hash chains and a one-step lazy parse priced in bits.
//
// Every position inserts itself into a chain of earlier positions with the
// same 3-byte hash (bounded depth, newest first, so the first candidate of a
// given length is also the closest) and into a table of the newest position
// of each 2-byte hash (length-2 matches reach only 256 bytes back, so the
// closest one is the one worth having). The best match at a position is the
// one that saves the most bits against sending its bytes as literals. Before
// taking a match the encoder looks one position ahead and compares, over the
// same span of input, the exact price of "this match" against "a literal,
// then the next position's match". Stored positions are 16-bit; the window
// holds the last 4096 bytes plus lookahead, slid down with memmove.
#include "codec/ImplodeFast.h"

#include <cstring>

#include "codec/ImplodeCommon.h"

namespace ss::codec {
namespace {

using namespace detail;

#ifndef SS_IMPLODE_FAST_DEPTH
#define SS_IMPLODE_FAST_DEPTH 64
#endif
#ifndef SS_IMPLODE_FAST_NICE
#define SS_IMPLODE_FAST_NICE 48
#endif
#ifndef SS_IMPLODE_FAST_LAZY
#define SS_IMPLODE_FAST_LAZY 64
#endif
constexpr unsigned kFastDepth = SS_IMPLODE_FAST_DEPTH;    // chain links followed per search
constexpr unsigned kFastNice = SS_IMPLODE_FAST_NICE;      // a match this long ends the search
constexpr unsigned kFastLazy = SS_IMPLODE_FAST_LAZY;      // a match this long is taken at once
constexpr unsigned kDeferBias = 2;  // measured: 0.1-0.4 % smaller output than 0 or 4

constexpr unsigned kFastHashBits = 12;
constexpr unsigned kFastHash2Bits = 12;
constexpr unsigned kFastLook = kMaxMatch + 2;  // lookahead a search at the next position needs

struct FastTables {
  uint16_t head[size_t(1) << kFastHashBits];    // newest position of each 3-byte hash
  uint16_t prev[kMaxDict];                       // next older position, by position mod 4096
  uint16_t head2[size_t(1) << kFastHash2Bits];  // newest position of each 2-byte hash
  uint8_t out[kOutSize + 8];
};
constexpr size_t kFastBufSize =
    (kImplodeWorkSize - (kAlign - 1) - sizeof(FastTables) - kPad - 8) & ~size_t(7);
static_assert(kFastBufSize >= kHistory + 4 * kFastLook, "input window too small");
struct FastWork : FastTables {
  uint8_t buf[kFastBufSize + kPad];
};
static_assert(sizeof(FastWork) + kAlign - 1 <= kImplodeWorkSize, "work buffer too small");

class FastImploder {
 public:
  FastImploder(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, unsigned mode,
               unsigned dictBits)
      : read_(readBuf),
        param_(param),
        mode_(mode),
        dictBits_(dictBits),
        dictSize_(64u << dictBits),
        w_(reinterpret_cast<FastWork*>(
            (reinterpret_cast<uintptr_t>(workBuf) + kAlign - 1) & ~uintptr_t(kAlign - 1))),
        bits_(w_->out, writeBuf, param) {
    for (unsigned c = 0; c < 256; ++c) {
      litPrice_[c] = static_cast<uint8_t>(mode == kCmpBinary ? 9 : 1 + kLitLengths[c]);
      litCode_[c] = mode == kCmpBinary ? c << 1 | 9u << 16
                                       : unsigned(Tables().litCodes[c]) << 1 | (1u + kLitLengths[c]) << 16;
    }
    for (unsigned l = kMinMatch; l <= kMaxMatch; ++l)
      lenPrice_[l] = static_cast<uint8_t>(1 + (Tables().lenEncode[l] >> 16));
    for (unsigned s = 0; s < 64; ++s) {
      distPrice2_[s] = static_cast<uint8_t>(kDistLengths[s] + 2);
      distPrice_[s] = static_cast<uint8_t>(kDistLengths[s] + dictBits);
    }
  }

  unsigned Run(unsigned prime, unsigned flags);  // as Imploder::Run

 private:
  struct Found {
    unsigned len;  // 0: nothing worth taking
    unsigned dist;
  };

  void Fill();
  void Insert(unsigned idx);
  bool Probe(const uint8_t* cur, uint32_t pos, uint32_t first4, unsigned c,
             unsigned maxDist) const;
  Found Search(unsigned idx, unsigned avail);
  unsigned LitSum(unsigned idx, unsigned n) const {
    if (mode_ == kCmpBinary) return 9 * n;
    unsigned s = 0;
    for (const uint8_t* p = w_->buf + idx; n > 0; --n) s += litPrice_[*p++];
    return s;
  }
  unsigned MatchPrice(unsigned len, unsigned dist) const {
    return lenPrice_[len] +
           (len == 2 ? distPrice2_[(dist - 1) >> 2] : distPrice_[(dist - 1) >> dictBits_]);
  }
  // Cheapest of literals and (when the format allows) a match of n bytes at
  // dist for the n bytes at idx.
  unsigned CoverPrice(unsigned idx, unsigned n, unsigned dist) const {
    unsigned lits = LitSum(idx, n);
    if (n >= 3 || (n == 2 && dist <= 256)) {
      unsigned m = MatchPrice(n, dist);
      if (m < lits) return m;
    }
    return lits;
  }
  // Whether `skip` literals at idx followed by match n cover the span of
  // match m (and of n) in fewer bits than m does. The side that ends first
  // is charged for the rest of the span as the tail of the other's match;
  // that overcharges taking m (its tail would often start a longer match),
  // so deferring must win by more than kDeferBias bits.
  bool Defers(unsigned idx, Found m, unsigned skip, Found n) const {
    unsigned take = MatchPrice(m.len, m.dist);
    unsigned defer = LitSum(idx, skip) + MatchPrice(n.len, n.dist);
    if (skip + n.len > m.len)
      take += CoverPrice(idx + m.len, skip + n.len - m.len, n.dist);
    else if (m.len > skip + n.len)
      defer += CoverPrice(idx + skip + n.len, m.len - skip - n.len, m.dist);
    return defer + kDeferBias < take;
  }
  void PutLiteral(uint8_t c) { bits_.Put(litCode_[c] & 0xFFFF, litCode_[c] >> 16); }
  // Flag, length code and distance in one write (at most 1 + 15 + 14 bits).
  void PutMatch(unsigned len, unsigned dist) {
    const uint32_t e = Tables().lenEncode[len];
    const unsigned lowBits = len == 2 ? 2 : dictBits_;
    const unsigned d = dist - 1;
    const unsigned sym = d >> lowBits;
    const unsigned lenCount = 1 + (e >> 16);
    const uint32_t distBits = Tables().distCodes[sym] | (d & ((1u << lowBits) - 1)) << kDistLengths[sym];
    bits_.Put((1 | (e & 0xFFFF) << 1) | distBits << lenCount,
              lenCount + kDistLengths[sym] + lowBits);
  }

  ReadFn read_;
  void* param_;
  const unsigned mode_;
  const unsigned dictBits_;
  const unsigned dictSize_;
  FastWork* w_;
  BitWriter bits_;
  unsigned end_ = 0;     // bytes of data in the window
  bool eof_ = false;
  uint32_t base_ = 0;    // stream position of window index 0
  uint32_t litCode_[256];  // code bits | count << 16, flag included
  uint8_t litPrice_[256];
  uint8_t lenPrice_[kMaxMatch + 1];
  uint8_t distPrice_[64];
  uint8_t distPrice2_[64];
};

void FastImploder::Fill() {
  while (!eof_ && end_ < kFastBufSize) {
    unsigned want = static_cast<unsigned>(kFastBufSize - end_);
    unsigned got = read_(reinterpret_cast<char*>(w_->buf + end_), &want, param_);
    if (got == 0) {
      eof_ = true;
    } else {
      if (got > kFastBufSize - end_) got = static_cast<unsigned>(kFastBufSize - end_);
      end_ += got;
    }
  }
  std::memset(w_->buf + end_, 0, kPad);
}

// Positions are stored as the low 16 bits of their stream position. A stale
// entry can only lead to a wrong candidate, never a wrong match: every
// candidate's distance is checked against the window and its bytes compared.
inline void FastImploder::Insert(unsigned idx) {
  const uint8_t* cur = w_->buf + idx;
  const uint32_t pos = base_ + idx;
  const unsigned h = ((Load32(cur) & 0xFFFFFF) * 2654435761u) >> (32 - kFastHashBits);
  w_->prev[pos & (kMaxDict - 1)] = w_->head[h];
  w_->head[h] = static_cast<uint16_t>(pos);
  const unsigned h2 = ((Load32(cur) & 0xFFFF) * 2654435761u) >> (32 - kFastHash2Bits);
  w_->head2[h2] = static_cast<uint16_t>(pos);
}

// Whether the chain from c may hold a 3-byte match: one of its first three
// links does, or it is longer than three links in the window. Without
// branches, so that incompressible data (where the answer is nearly always
// no) costs no mispredicted jumps.
inline bool FastImploder::Probe(const uint8_t* cur, uint32_t pos, uint32_t first4, unsigned c,
                                unsigned maxDist) const {
  const unsigned d1 = static_cast<uint16_t>(pos - c);
  const uint32_t v1 = 0u - uint32_t(d1 - 1 < maxDist);
  const unsigned c2 = w_->prev[c & (kMaxDict - 1)];
  const unsigned d2 = static_cast<uint16_t>(pos - c2);
  const uint32_t v2 = v1 & (0u - uint32_t((d2 - 1 < maxDist) & (d2 > d1)));
  const unsigned c3 = w_->prev[c2 & (kMaxDict - 1)];
  const unsigned d3 = static_cast<uint16_t>(pos - c3);
  const uint32_t v3 = v2 & (0u - uint32_t((d3 - 1 < maxDist) & (d3 > d2)));
  const uint32_t x1 = (Load32(cur - (d1 & v1)) ^ first4) & 0xFFFFFF;
  const uint32_t x2 = (Load32(cur - (d2 & v2)) ^ first4) & 0xFFFFFF;
  const uint32_t x3 = (Load32(cur - (d3 & v3)) ^ first4) & 0xFFFFFF;
  const uint32_t hit = (v1 & uint32_t(x1 == 0)) | (v2 & uint32_t(x2 == 0)) |
                       (v3 & uint32_t(x3 == 0)) | (v3 & 1);
  return hit != 0;
}

// Inserts idx and returns its most profitable match (len 0 if none saves a
// bit). avail: bytes of data from idx on. On data without matches most
// candidates are out of the window or differ in their first bytes; both tests
// are folded into one rarely taken branch.
FastImploder::Found FastImploder::Search(unsigned idx, unsigned avail) {
  const uint8_t* const cur = w_->buf + idx;
  const uint32_t pos = base_ + idx;
  const unsigned maxDist = pos < dictSize_ ? pos : dictSize_;
  const uint32_t first4 = Load32(cur);
  const unsigned h = ((first4 & 0xFFFFFF) * 2654435761u) >> (32 - kFastHashBits);
  const unsigned h2 = ((first4 & 0xFFFF) * 2654435761u) >> (32 - kFastHash2Bits);
  unsigned c = w_->head[h];
  const unsigned c2 = w_->head2[h2];
  w_->prev[pos & (kMaxDict - 1)] = static_cast<uint16_t>(c);
  w_->head[h] = static_cast<uint16_t>(pos);
  w_->head2[h2] = static_cast<uint16_t>(pos);
  Found best{0, 0};
  if (avail < 3) {
    if (avail < 2) return best;
  } else if (Probe(cur, pos, first4, c, maxDist)) {
    const unsigned limit = avail < kMaxMatch ? avail : kMaxMatch;
    unsigned longest = 2;  // a candidate must beat this length to be looked at
    unsigned lits = LitSum(idx, 2), litsLen = 2;
    unsigned last = 0;
    int bestSave = 0;
    for (unsigned depth = kFastDepth;; --depth) {
      const unsigned delta = static_cast<uint16_t>(pos - c);
      // All-ones when the candidate lies in the window and further back than
      // the last one (chains may hold stale links), else zero; computed
      // without branches so that only a real match takes one.
      const uint32_t valid = 0u - uint32_t((delta - 1 < maxDist) & (delta > last));
      const uint8_t* const p = cur - (delta & valid);
      const uint32_t diff = ((Load32(p) ^ first4) & 0xFFFFFF) | (p[longest] ^ cur[longest]) | (~valid & 1);
      if (__builtin_expect(diff == 0, 0)) {
        const unsigned len = Extend(cur, p, 3, limit);
        if (len > longest) {
          longest = len;
          if (mode_ == kCmpBinary) {
            lits = 9 * len;
          } else {
            for (; litsLen < len; ++litsLen) lits += litPrice_[cur[litsLen]];
          }
          const int save = int(lits) - int(MatchPrice(len, delta));
          if (save > bestSave) {
            bestSave = save;
            best = {len, delta};
          }
          if (len >= kFastNice || len == limit) break;
        }
      }
      if (!valid || depth == 1) break;
      last = delta;
      c = w_->prev[c & (kMaxDict - 1)];
    }
    if (best.len != 0) return best;
  }
  // Length 2 within 256 bytes: the newest position with the same 2-byte hash.
  const unsigned d2 = static_cast<uint16_t>(pos - c2);
  const unsigned limit2 = maxDist < 256 ? maxDist : 256;
  const uint32_t valid2 = 0u - uint32_t(d2 - 1 < limit2);
  const uint32_t diff2 = ((Load32(cur - (d2 & valid2)) ^ first4) & 0xFFFF) | (~valid2 & 1);
  if (__builtin_expect(diff2 == 0, 0)) {
    if (LitSum(idx, 2) > MatchPrice(2, d2)) best = {2, d2};
  }
  return best;
}

unsigned FastImploder::Run(unsigned prime, unsigned flags) {
  std::memset(w_->head, 0, sizeof(w_->head));
  std::memset(w_->prev, 0, sizeof(w_->prev));
  std::memset(w_->head2, 0, sizeof(w_->head2));
  if (flags & kPieceFirst) {
    bits_.Put(mode_, 8);
    bits_.Put(dictBits_, 8);
  }
  Fill();
  const uint8_t* const buf = w_->buf;
  unsigned idx = 0;
  // The history (at most kHistory bytes, all in the first window) goes into
  // the chains only.
  for (; idx < prime && idx < end_; ++idx) Insert(idx);
  for (;;) {
    if (!eof_ && end_ - idx < 2 * kFastLook) {
      if (idx > kHistory) {
        const unsigned shift = idx - kHistory;
        std::memmove(w_->buf, w_->buf + shift, end_ - shift);
        end_ -= shift;
        idx -= shift;
        base_ += shift;
      }
      Fill();
    }
    if (idx >= end_) break;
    Found m = Search(idx, end_ - idx);
    if (m.len == 0) {
      PutLiteral(buf[idx]);
      ++idx;
      continue;
    }
    // One step of lookahead: a literal and the next position's match may
    // cover the same bytes for fewer bits; repeated while the later match wins.
    unsigned next = idx + 1;  // first position not yet in the chains
    while (m.len < kFastLazy && idx + 1 < end_) {
      const Found n = Search(idx + 1, end_ - idx - 1);
      next = idx + 2;
      if (n.len == 0 || !Defers(idx, m, 1, n)) break;
      PutLiteral(buf[idx]);
      ++idx;
      m = n;
    }
    PutMatch(m.len, m.dist);
    // Every position inside the match goes into the chains: leaving some
    // out measured up to 0.1 % larger output on already-compressed data.
    const unsigned stop = idx + m.len;
    for (unsigned k = next; k < stop; ++k) Insert(k);
    idx = stop;
  }
  if (flags & kPieceLast) PutEndCode(bits_);
  return bits_.Finish();
}

}  // namespace

unsigned ImplodeFast(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, unsigned* type,
                     unsigned* dictSize) {
  unsigned tail = 0;
  return ImplodeFastPiece(readBuf, writeBuf, workBuf, param, type, dictSize, 0,
                          kPieceFirst | kPieceLast, &tail);
}

unsigned ImplodeFastPiece(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                          unsigned* type, unsigned* dictSize, unsigned prime, unsigned flags,
                          unsigned* tailBits) {
  return RunPiece<FastImploder>(readBuf, writeBuf, workBuf, param, type, dictSize, prime, flags, tailBits);
}

}  // namespace ss::codec
