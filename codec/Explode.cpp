// Explode: the decoder of the DCL implode format. See FORMAT.md.
//
// State that lives across the whole call is kept in locals (the call runs to
// the end of the stream); the two big buffers live in the caller's work
// buffer. The bit buffer is a machine word, refilled a word at a time while
// the input buffer holds that many bytes. In 64 bits one refill covers any
// symbol (at most 30 bits); in 32 bits (the i686 build of impborl.dll, where
// 64-bit shifts take several instructions and branches) a refill gives at
// least 25 bits: enough for a literal or a match's flag and length (16
// bits), with a second refill before the distance (14 bits) when needed.
#include "codec/Codec.h"

#include <cstring>
#include <type_traits>

#include "codec/Tables.h"

namespace ss::codec {
namespace {

using namespace detail;

// Work buffer layout (after aligning the start to 8 bytes).
constexpr size_t kAlign = 8;
constexpr size_t kInSize = 2048;
constexpr size_t kWinSize = kExplodeWorkSize - (kAlign - 1) - kInSize;
constexpr size_t kHistory = kMaxDict;   // kept before new output for back references
constexpr size_t kCopySlack = 16;       // match copies may write this far past the end
// New output is flushed once the write position passes this mark; one more
// symbol then still fits, including a copy's overrun.
constexpr size_t kFlushMark = kWinSize - kMaxMatch - kCopySlack;
static_assert(kFlushMark > kHistory + 4096, "window too small");

struct ExplodeWork {
  uint8_t in[kInSize];
  uint8_t win[kWinSize];
};
static_assert(sizeof(ExplodeWork) + kAlign - 1 <= kExplodeWorkSize, "work buffer too small");

template <typename Word>
inline Word LoadWord(const uint8_t* p) {
  Word v;
  std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = sizeof v == 8 ? static_cast<Word>(__builtin_bswap64(v)) : static_cast<Word>(__builtin_bswap32(v));
#endif
  return v;
}

template <typename Word>
class Exploder {
 public:
  static constexpr unsigned kBits = 8 * sizeof(Word);
  // A whole symbol fits after one refill of a 64-bit buffer; a 32-bit one
  // is refilled before the flag and length part and again before the
  // distance.
  static constexpr bool kWide = kBits - 7 >= 30;
  static constexpr unsigned kHeadBits = kWide ? 30 : 16;
  static constexpr unsigned kDistanceBits = 14;

  Exploder(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, uint64_t maxOut)
      : read_(readBuf), write_(writeBuf), param_(param), maxOut_(maxOut) {
    auto addr = reinterpret_cast<uintptr_t>(workBuf);
    work_ = reinterpret_cast<ExplodeWork*>((addr + kAlign - 1) & ~uintptr_t(kAlign - 1));
    ip_ = iend_ = work_->in;
  }

  unsigned Run();

 private:
  template <unsigned kMode>
  unsigned Decode(unsigned dictBits);
  // Tops the bit buffer up to at least kBits - 7 bits, or to whatever the
  // input still has once it is exhausted.
  void Refill() {
    if (iend_ - ip_ >= static_cast<ptrdiff_t>(sizeof(Word))) {
      bb_ |= LoadWord<Word>(ip_) << bc_;
      ip_ += (kBits - 1 - bc_) >> 3;
      bc_ |= kBits - 8;
      return;
    }
    SlowRefill();
  }
  void SlowRefill();
  // Hands the output between `written` and op to the caller; false when the
  // output limit was reached (what fits was still written).
  bool Emit(size_t from, size_t to);
  bool Flush(size_t& op);

  ReadFn read_;
  WriteFn write_;
  void* param_;
  uint64_t maxOut_;
  uint64_t total_ = 0;
  ExplodeWork* work_;
  const uint8_t* ip_;
  const uint8_t* iend_;
  Word bb_ = 0;
  unsigned bc_ = 0;
  bool eof_ = false;
};

template <typename Word>
void Exploder<Word>::SlowRefill() {
  while (bc_ <= kBits - 8) {
    if (ip_ == iend_) {
      if (eof_) return;
      unsigned want = kInSize;
      unsigned got = read_(reinterpret_cast<char*>(work_->in), &want, param_);
      if (got == 0) {
        eof_ = true;
        return;
      }
      if (got > kInSize) got = kInSize;  // a callback that claims more than asked
      ip_ = work_->in;
      iend_ = ip_ + got;
      if (got >= sizeof(Word) && bc_ < 8) {
        Refill();
        return;
      }
    }
    bb_ |= Word(*ip_++) << bc_;
    bc_ += 8;
  }
}

template <typename Word>
bool Exploder<Word>::Emit(size_t from, size_t to) {
  uint64_t n = to - from;
  bool ok = true;
  if (n > maxOut_ - total_) {
    n = maxOut_ - total_;
    ok = false;
  }
  if (n > 0) {
    unsigned size = static_cast<unsigned>(n);
    write_(reinterpret_cast<char*>(work_->win + from), &size, param_);
    total_ += n;
  }
  return ok;
}

// Writes out the new output and keeps the last kHistory bytes before op.
template <typename Word>
bool Exploder<Word>::Flush(size_t& op) {
  if (!Emit(kHistory, op)) return false;
  std::memmove(work_->win, work_->win + op - kHistory, kHistory);
  op = kHistory;
  return true;
}

template <typename Word>
unsigned Exploder<Word>::Run() {
  Refill();
  if (bc_ < 16) return kCmpBadData;
  const unsigned mode = bb_ & 0xFF;
  const unsigned dictBits = (bb_ >> 8) & 0xFF;
  bb_ >>= 16;
  bc_ -= 16;
  if (dictBits < 4 || dictBits > kMaxDictBits) return kCmpInvalidDictSize;
  if (mode != kCmpBinary && mode != kCmpAscii) return kCmpInvalidMode;
  return mode == kCmpBinary ? Decode<kCmpBinary>(dictBits) : Decode<kCmpAscii>(dictBits);
}

// The symbol loop, one instance per literal mode.
template <typename Word>
template <unsigned kMode>
unsigned Exploder<Word>::Decode(unsigned dictBits) {
  const Word dictMask = (Word(1) << dictBits) - 1;

  uint8_t* const win = work_->win;
  size_t op = kHistory;  // write position
  size_t lo = kHistory;  // first valid byte in the window
  Word bb = bb_;
  unsigned bc = bc_;

  for (;;) {
    if (bc < kHeadBits) {
      bb_ = bb;
      bc_ = bc;
      Refill();
      bb = bb_;
      bc = bc_;
    }
    if (op > kFlushMark) {
      if (!Flush(op)) return kCmpAbort;
      lo = 0;  // from here on the window holds a full dictionary's history
      if (total_ < kHistory) lo = kHistory - static_cast<size_t>(total_);
    }
    if ((bb & 1) == 0) {
      // Literals: as many in a row as the bits in hand hold (in 64 bits at
      // most 6 of 9 bits or 4 of up to 14; the flush mark leaves room for
      // far more).
      if (kMode == kCmpBinary) {
        do {
          if (bc < 9) return kCmpBadData;
          win[op++] = static_cast<uint8_t>(bb >> 1);
          bb >>= 9;
          bc -= 9;
        } while ((bb & 1) == 0 && bc >= 9);
      } else {
        do {
          unsigned e = Tables().litDecode[(bb >> 1) & ((1u << kLitTableBits) - 1)];
          unsigned n = 1 + (e >> 8);
          if (e == 0 || n > bc) return kCmpBadData;
          win[op++] = static_cast<uint8_t>(e);
          bb >>= n;
          bc -= n;
        } while ((bb & 1) == 0 && bc >= 14);
      }
      continue;
    }
    // Match: length code and its extra bits, then the distance.
    uint32_t le = Tables().lenDecode[(bb >> 1) & ((1u << kLenTableBits) - 1)];
    unsigned lcode = (le >> 16) & 0xFF;
    unsigned lextra = le >> 24;
    unsigned n = 1 + lcode + lextra;
    if (le == 0 || n > bc) return kCmpBadData;
    unsigned length = (le & 0xFFFF) + static_cast<unsigned>((bb >> (1 + lcode)) & ((1u << lextra) - 1));
    bb >>= n;
    bc -= n;
    if (length == kEndLength) break;

    if (!kWide && bc < kDistanceBits) {
      bb_ = bb;
      bc_ = bc;
      Refill();
      bb = bb_;
      bc = bc_;
    }
    unsigned de = Tables().distDecode[bb & ((1u << kDistTableBits) - 1)];
    unsigned dcode = de >> 8;
    unsigned lowBits = length == 2 ? 2 : dictBits;
    n = dcode + lowBits;
    if (de == 0 || n > bc) return kCmpBadData;
    size_t dist = ((size_t(de & 0xFF) << lowBits) | ((bb >> dcode) & (length == 2 ? 3 : dictMask))) + 1;
    bb >>= n;
    bc -= n;
    if (dist > op - lo) return kCmpBadData;

    uint8_t* d = win + op;
    const uint8_t* s = d - dist;
    uint8_t* const end = d + length;
    if (dist >= 16) {
      // Most matches are at most 16 bytes: one step without a loop branch.
      std::memcpy(d, s, 8);
      std::memcpy(d + 8, s + 8, 8);
      for (d += 16, s += 16; d < end; d += 8, s += 8) std::memcpy(d, s, 8);
    } else if (dist >= 8) {
      do {
        std::memcpy(d, s, 8);
        d += 8;
        s += 8;
      } while (d < end);
    } else if (dist == 1) {
      std::memset(d, *s, length);
    } else {
      do *d++ = *s++;
      while (d < end);
    }
    op += length;
  }
  return Emit(kHistory, op) ? kCmpNoError : kCmpAbort;
}

// The machine's word: 32 bits on i686, 64 bits on 64-bit hosts.
using NativeWord = std::conditional_t<(sizeof(void*) < 8), uint32_t, uint64_t>;

}  // namespace

unsigned ExplodeLimited(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                        uint64_t maxOut) {
  Exploder<NativeWord> e(readBuf, writeBuf, workBuf, param, maxOut);
  return e.Run();
}

unsigned ExplodeLimitedWithBuffer(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                                  uint64_t maxOut, unsigned bufferBits) {
  if (bufferBits == 32) {
    Exploder<uint32_t> e(readBuf, writeBuf, workBuf, param, maxOut);
    return e.Run();
  }
  Exploder<uint64_t> e(readBuf, writeBuf, workBuf, param, maxOut);
  return e.Run();
}

unsigned Explode(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param) {
  return ExplodeLimited(readBuf, writeBuf, workBuf, param, UINT64_MAX);
}

}  // namespace ss::codec
