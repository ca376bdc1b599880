// Implode: the thorough encoder of the DCL implode format. See FORMAT.md.
//
// The thorough encoder; the fast one (hash chains and a lazy parse) is in
// ImplodeFast.cpp.
//
// The format's Huffman codes are fixed, so the price in bits of every literal
// and every (length, distance) pair is known in advance. Implode parses
// optimally: over a segment of positions it finds the cheapest path (a
// shortest path over "literal" and "match" edges) and emits it.
//
// Candidate matches come from a binary tree over the window (the match finder
// of LZMA's "bt" family): the tree is kept in lexicographic order of the
// strings at each position and in heap order of recency, so one descent from
// the root visits, for every length, the closest earlier position that
// matches at least that long. A distance code never gets shorter with a
// larger distance, so those are exactly the candidates an optimal parse
// needs. Length-2 matches (distance at most 256) come from a hash chain over
// the last 256 positions.
//
// A segment ends where no candidate crosses the current position (the
// cheapest path to it is then final), at a match of kNice bytes or more
// (taken at once), at the end of the input, or when kSegment positions have
// been parsed.
//
// Everything lives in the caller's 36312-byte work buffer: input window,
// tables, tree, parse nodes and output buffer. Positions in the tables are
// 16-bit; they are renormalised before they could wrap.
#include "codec/Codec.h"

#include <cstring>
#include <memory>

#if defined(__SSE2__) && !defined(SS_IMPLODE_NO_SSE2)
#include <emmintrin.h>
#endif

#include "codec/ImplodeCommon.h"

namespace ss::codec {
namespace {

using namespace detail;

// Tuning knobs, overridable for experiments; codec/README.md has what they
// trade. The stream format does not depend on them.
#ifndef SS_IMPLODE_DEPTH
#define SS_IMPLODE_DEPTH 48
#endif
#ifndef SS_IMPLODE_NICE
#define SS_IMPLODE_NICE 64
#endif
constexpr unsigned kDepth = SS_IMPLODE_DEPTH;  // tree nodes visited per position at most
constexpr unsigned kNice = SS_IMPLODE_NICE;    // a match this long is taken at once
static_assert(kNice >= 3 && kNice <= kMaxMatch, "bad nice length");
constexpr unsigned kMaxCandidates = kNice;     // lengths strictly increase, 3..kNice

constexpr unsigned kSegment = 256;  // positions parsed per segment at most
constexpr unsigned kNodes = kSegment + kMaxMatch + 1;
constexpr unsigned kHash3Bits = 11;
constexpr unsigned kHash2Bits = 10;
constexpr unsigned kTreeMax = kMaxDict + 1;  // distances 1..dictSize

// Stored positions: 0 means "none"; live ones are kept within
// [kPosFloor - kTreeMax, kPosCeiling).
constexpr uint32_t kPosFloor = kTreeMax + 1;
constexpr uint32_t kPosCeiling = 65535 - kSegment - kMaxMatch - 8;

// A parse node is the cheapest known way to reach a position of the segment:
// its price (bits from the segment start, in price[]) and the last step
// (len << 16 | dist in step[]; len 1 is a literal, else the match length).
// The offers reaching one node come in order of decreasing len (from ever
// later positions), and an offer replaces the node when it costs no more,
// so of equally cheap ways the one with the shortest last step wins. Prices
// stay far below 2^31 (kNoPrice), so they compare as signed 32-bit numbers.
constexpr uint32_t kNoPrice = 0x7FFFFFFF;
constexpr unsigned kNodeSlack = 4;  // a 4-wide update may touch this far past a match
inline unsigned StepLen(uint32_t step) { return step >> 16; }
inline unsigned StepDist(uint32_t step) { return step & 0xFFFF; }

constexpr size_t kFixedSize = 8 * size_t(kNodes + kNodeSlack) + 2 * (size_t(1) << kHash3Bits) +
                              2 * (size_t(1) << kHash2Bits) + 2 * 256 + 4 * size_t(kTreeMax) +
                              kOutSize + 8;
constexpr size_t kBufSize = (kImplodeWorkSize - (kAlign - 1) - kFixedSize - kPad - 8) & ~size_t(7);
static_assert(kBufSize >= kHistory + kSegment + kMaxMatch + 1024, "input window too small");

struct ImplodeWork {
  uint32_t price[kNodes + kNodeSlack];
  uint32_t step[kNodes + kNodeSlack];
  uint16_t head3[size_t(1) << kHash3Bits];  // root of the tree of each 3-byte hash
  uint16_t head2[size_t(1) << kHash2Bits];  // last position of each 2-byte hash
  uint16_t prev2[256];                      // older positions of the same 2-byte hash
  uint16_t son[2 * kTreeMax];               // tree links, by position modulo the tree size
  uint8_t out[kOutSize + 8];
  uint8_t buf[kBufSize + kPad];
};
static_assert(sizeof(ImplodeWork) + kAlign - 1 <= kImplodeWorkSize, "work buffer too small");

inline unsigned Hash3(const uint8_t* p) {
  return ((Load32(p) & 0xFFFFFF) * 2654435761u) >> (32 - kHash3Bits);
}
inline unsigned Hash2(const uint8_t* p) {
  return ((Load32(p) & 0xFFFF) * 2654435761u) >> (32 - kHash2Bits);
}

struct Match {
  uint16_t len;
  uint16_t dist;
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
        treeSize_(dictSize_ + 1),
        w_(reinterpret_cast<ImplodeWork*>(
            (reinterpret_cast<uintptr_t>(workBuf) + kAlign - 1) & ~uintptr_t(kAlign - 1))),
        bits_(w_->out, writeBuf, param) {
    for (unsigned c = 0; c < 256; ++c)
      litPrice_[c] = static_cast<uint8_t>(mode == kCmpBinary ? 9 : 1 + kLitLengths[c]);
    for (unsigned l = 0; l < sizeof(lenPrice_) / sizeof(lenPrice_[0]); ++l)
      lenPrice_[l] = l >= kMinMatch && l <= kMaxMatch ? 1 + (Tables().lenEncode[l] >> 16) : 0;
    for (unsigned s = 0; s < 64; ++s) {
      distPrice2_[s] = static_cast<uint8_t>(kDistLengths[s] + 2);
      distPrice_[s] = static_cast<uint8_t>(kDistLengths[s] + dictBits);
    }
  }

  // Encodes the input after its first `prime` bytes, which only fill the
  // match finder (a piece's history); flags are kPiece*. Returns the tail
  // bits, as BitWriter::Finish.
  unsigned Run(unsigned prime, unsigned flags);

 private:
  void Fill();
  void Normalize();
  template <bool kCollect>
  unsigned Search(unsigned pos, unsigned avail, Match* out, unsigned* dist2);
  unsigned DistPrice(unsigned len, unsigned dist) const {
    return len == 2 ? distPrice2_[(dist - 1) >> 2] : distPrice_[(dist - 1) >> dictBits_];
  }
  void PutLiteral(uint8_t c) {
    if (mode_ == kCmpBinary)
      bits_.Put(uint32_t(c) << 1, 9);
    else
      bits_.Put(uint32_t(Tables().litCodes[c]) << 1, 1 + kLitLengths[c]);
  }
  void PutMatch(unsigned len, unsigned dist) {
    uint32_t e = Tables().lenEncode[len];
    unsigned lowBits = len == 2 ? 2 : dictBits_;
    unsigned d = dist - 1;
    unsigned sym = d >> lowBits;
    bits_.Put(1 | (e & 0xFFFF) << 1, 1 + (e >> 16));
    bits_.Put(Tables().distCodes[sym] | (d & ((1u << lowBits) - 1)) << kDistLengths[sym],
              kDistLengths[sym] + lowBits);
  }
  void EmitPath(unsigned from, unsigned n);
  void Offer(unsigned at, unsigned from, unsigned to, unsigned dist, uint32_t base);

  ReadFn read_;
  void* param_;
  const unsigned mode_;
  const unsigned dictBits_;
  const unsigned dictSize_;
  const unsigned treeSize_;
  ImplodeWork* w_;
  BitWriter bits_;
  unsigned end_ = 0;  // bytes of data in the window
  bool eof_ = false;
  uint32_t posBase_ = kPosFloor;  // stored position of window index 0
  unsigned cyc_ = 0;              // tree slot of the next position
  uint8_t litPrice_[256];
  uint32_t lenPrice_[kMaxMatch + 1 + 3];  // 3 more for 4-wide loads
  uint8_t distPrice_[64];
  uint8_t distPrice2_[64];
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

// Shifts stored positions down so that they keep fitting 16 bits; positions
// that fall out of every window become "none".
void Imploder::Normalize() {
  // A multiple of 256, so that the length-2 chain, indexed by position
  // modulo 256, keeps its links (otherwise the stream would depend on when
  // this runs, that is on the window's size).
  const uint32_t sub = (posBase_ - kPosFloor) & ~uint32_t(255);
  auto fix = [sub](uint16_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint16_t>(p[i] > sub ? p[i] - sub : 0);
  };
  fix(w_->head3, sizeof(w_->head3) / 2);
  fix(w_->head2, sizeof(w_->head2) / 2);
  fix(w_->prev2, sizeof(w_->prev2) / 2);
  fix(w_->son, 2 * treeSize_);
  posBase_ -= sub;
}

// Inserts window position pos into the tree and, when kCollect, gathers the
// matches there: strictly increasing lengths, each at the closest distance
// that reaches it. A match of kNice (or up to the end of the data) comes last
// and is extended to its full length. *dist2 gets the distance of a length-2
// match within 256 bytes, or 0.
template <bool kCollect>
unsigned Imploder::Search(unsigned pos, unsigned avail, Match* out, unsigned* dist2) {
  const uint8_t* const cur = w_->buf + pos;
  const uint32_t sv = posBase_ + pos;  // stored value of this position
  const unsigned maxDist = pos < dictSize_ ? pos : dictSize_;
  unsigned n = 0;
  uint16_t* const son = w_->son;
  const unsigned cyc = cyc_;
  cyc_ = cyc + 1 == treeSize_ ? 0 : cyc + 1;
  if (kCollect) *dist2 = 0;
  if (avail < 3) {
    son[2 * cyc] = son[2 * cyc + 1] = 0;
    return 0;
  }
  {
    // Length 2: the closest earlier position with the same two bytes, at
    // most 256 back (a chain over the last 256 positions).
    const unsigned h2 = Hash2(cur);
    unsigned c = w_->head2[h2];
    w_->prev2[sv & 255] = static_cast<uint16_t>(c);
    w_->head2[h2] = static_cast<uint16_t>(sv);
    if (kCollect) {
      const unsigned limit2 = maxDist < 256 ? maxDist : 256;
      unsigned last = 0;
      for (;;) {
        const unsigned d2 = sv - c;
        if (d2 > limit2 || d2 <= last) break;
        if (cur[0] == cur[-int(d2)] && cur[1] == cur[1 - int(d2)]) {
          *dist2 = d2;
          break;
        }
        last = d2;
        c = w_->prev2[c & 255];
      }
    }
  }

  const unsigned lenLimit = avail < kNice ? avail : kNice;
  const unsigned h3 = Hash3(cur);
  unsigned curMatch = w_->head3[h3];
  w_->head3[h3] = static_cast<uint16_t>(sv);
  uint16_t* ptr0 = son + 2 * cyc + 1;
  uint16_t* ptr1 = son + 2 * cyc;
  unsigned len0 = 0, len1 = 0;
  unsigned maxLen = 2;
  for (unsigned depth = kDepth;; --depth) {
    const unsigned delta = sv - curMatch;
    if (depth == 0 || delta > maxDist) {
      *ptr0 = *ptr1 = 0;
      break;
    }
    uint16_t* const pair = son + 2 * (cyc >= delta ? cyc - delta : cyc + treeSize_ - delta);
    const uint8_t* const pb = cur - delta;
    unsigned len = len0 < len1 ? len0 : len1;
    if (pb[len] == cur[len]) {
      len = Extend(cur, pb, len + 1, lenLimit);
      if (len > maxLen) {
        maxLen = len;
        if (kCollect) out[n++] = {static_cast<uint16_t>(len), static_cast<uint16_t>(delta)};
        if (len == lenLimit) {
          *ptr1 = pair[0];
          *ptr0 = pair[1];
          if (kCollect) {
            unsigned full = avail < kMaxMatch ? avail : kMaxMatch;
            out[n - 1].len = static_cast<uint16_t>(Extend(cur, pb, len, full));
          }
          break;
        }
      }
    }
    if (pb[len] < cur[len]) {
      *ptr1 = static_cast<uint16_t>(curMatch);
      ptr1 = pair + 1;
      curMatch = *ptr1;
      len1 = len;
    } else {
      *ptr0 = static_cast<uint16_t>(curMatch);
      ptr0 = pair;
      curMatch = *ptr0;
      len0 = len;
    }
  }
  if (kCollect && *dist2 == 0 && n > 0 && out[0].dist <= 256) *dist2 = out[0].dist;
  return n;
}

void Imploder::EmitPath(unsigned from, unsigned n) {
  uint32_t* const step = w_->step;
  // Turn the back links into forward links.
  unsigned i = n;
  uint32_t link = step[i];
  while (i > 0) {
    unsigned j = i - StepLen(link);
    uint32_t next = step[j];
    step[j] = link;
    i = j;
    link = next;
  }
  for (i = 0; i < n; i += StepLen(step[i])) {
    if (StepLen(step[i]) == 1)
      PutLiteral(w_->buf[from + i]);
    else
      PutMatch(StepLen(step[i]), StepDist(step[i]));
  }
}

// Offers the matches of lengths from..to at dist, priced base + the length's
// price, to the nodes at+from..at+to.
inline void Imploder::Offer(unsigned at, unsigned from, unsigned to, unsigned dist,
                            uint32_t base) {
  uint32_t* const price = w_->price + at;
  uint32_t* const step = w_->step + at;
  unsigned l = from;
#if defined(__SSE2__) && !defined(SS_IMPLODE_NO_SSE2)
  // Four lengths at a time; lanes past `to` keep their node (the arrays have
  // kNodeSlack entries of room for them).
  const __m128i vbase = _mm_set1_epi32(static_cast<int>(base));
  const __m128i vlast = _mm_set1_epi32(static_cast<int>(to));
  const __m128i vfour = _mm_set1_epi32(4);
  __m128i vl = _mm_setr_epi32(int(l), int(l + 1), int(l + 2), int(l + 3));
  const __m128i vdist = _mm_set1_epi32(static_cast<int>(dist));
  for (; l <= to; l += 4) {
    const __m128i p = _mm_add_epi32(
        vbase, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lenPrice_ + l)));
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(price + l));
    const __m128i oldStep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(step + l));
    // keep: the old node is cheaper, or the lane is past the match.
    const __m128i keep = _mm_or_si128(_mm_cmpgt_epi32(p, old), _mm_cmpgt_epi32(vl, vlast));
    const __m128i st = _mm_or_si128(_mm_slli_epi32(vl, 16), vdist);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(price + l),
                     _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, p)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(step + l),
                     _mm_or_si128(_mm_and_si128(keep, oldStep), _mm_andnot_si128(keep, st)));
    vl = _mm_add_epi32(vl, vfour);
  }
#else
  for (; l <= to; ++l) {
    const uint32_t p = base + lenPrice_[l];
    if (p <= price[l]) {
      price[l] = p;
      step[l] = l << 16 | dist;
    }
  }
#endif
}

unsigned Imploder::Run(unsigned prime, unsigned flags) {
  std::memset(w_->head3, 0, sizeof(w_->head3));
  std::memset(w_->head2, 0, sizeof(w_->head2));
  std::memset(w_->prev2, 0, sizeof(w_->prev2));
  if (flags & kPieceFirst) {
    bits_.Put(mode_, 8);
    bits_.Put(dictBits_, 8);
  }
  Fill();
  uint32_t* const price = w_->price;
  uint32_t* const step = w_->step;
  unsigned pos = 0;  // start of the current segment in the window
  Match matches[kMaxCandidates];
  // The history (at most kHistory bytes, all in the first window) goes into
  // the tree as the positions inside a long match do.
  for (; pos < prime && pos < end_; ++pos) Search<false>(pos, end_ - pos, nullptr, nullptr);

  for (;;) {
    if (!eof_ && end_ - pos < kSegment + kMaxMatch) {
      if (pos > kHistory) {
        unsigned shift = pos - kHistory;
        std::memmove(w_->buf, w_->buf + shift, end_ - shift);
        end_ -= shift;
        pos -= shift;
        posBase_ += shift;
      }
      Fill();
    }
    if (pos >= end_) break;
    if (posBase_ + pos >= kPosCeiling) Normalize();

    // One segment: cheapest paths from pos over at most kSegment positions.
    const unsigned avail = end_ - pos;
    price[0] = 0;
    step[0] = 0;
    unsigned reach = 0;  // furthest node with a price
    unsigned cur = 0;
    for (;;) {
      if ((cur > 0 && cur == reach) || cur == kSegment || cur == avail) {
        EmitPath(pos, cur);
        break;
      }
      const unsigned p = pos + cur;
      unsigned dist2;
      const unsigned nm = Search<true>(p, avail - cur, matches, &dist2);
      const unsigned here = price[cur];

      unsigned far = cur + 1;
      if (nm > 0)
        far = cur + matches[nm - 1].len;
      else if (dist2)
        far = cur + 2;
      while (reach < far) price[++reach] = kNoPrice;

      const uint32_t lit = here + litPrice_[w_->buf[p]];
      if (lit <= price[cur + 1]) {
        price[cur + 1] = lit;
        step[cur + 1] = 1u << 16;
      }

      if (nm > 0 && matches[nm - 1].len >= kNice) {
        // A long match: commit the path to here and take it.
        EmitPath(pos, cur);
        const unsigned len = matches[nm - 1].len;
        PutMatch(len, matches[nm - 1].dist);
        for (unsigned k = 1; k < len; ++k) Search<false>(p + k, avail - cur - k, nullptr, nullptr);
        cur += len;
        break;
      }
      if (dist2) {
        const uint32_t m = here + lenPrice_[2] + DistPrice(2, dist2);
        if (m <= price[cur + 2]) {
          price[cur + 2] = m;
          step[cur + 2] = 2u << 16 | dist2;
        }
      }
      unsigned l = 3;
      for (unsigned k = 0; k < nm; ++k) {
        const unsigned d = matches[k].dist;
        const unsigned top = matches[k].len;
        Offer(cur, l, top, d, here + DistPrice(3, d));
        l = top + 1;
      }
      ++cur;
    }
    pos += cur;
  }
  if (flags & kPieceLast) PutEndCode(bits_);
  return bits_.Finish();
}

}  // namespace

unsigned Implode(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, unsigned* type,
                 unsigned* dictSize) {
  unsigned tail = 0;
  return ImplodePiece(readBuf, writeBuf, workBuf, param, type, dictSize, 0,
                      kPieceFirst | kPieceLast, &tail);
}

unsigned ImplodePiece(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                      unsigned* type, unsigned* dictSize, unsigned prime, unsigned flags,
                      unsigned* tailBits) {
  return RunPiece<Imploder>(readBuf, writeBuf, workBuf, param, type, dictSize, prime, flags, tailBits);
}

}  // namespace ss::codec
