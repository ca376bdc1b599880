// What the two implode encoders (Implode.cpp, ImplodeFast.cpp) share: the
// length codes, the layout constants of the work buffer, unaligned loads,
// match extension, the bit writer and the check of the classic parameters.
// Internal to the codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/Codec.h"
#include "codec/Tables.h"

namespace ss::codec::detail {

inline constexpr size_t kAlign = 8;        // the work buffer's layout starts this aligned
inline constexpr unsigned kOutSize = 512;  // output bytes collected before a write
inline constexpr unsigned kHistory = kMaxDict;
inline constexpr unsigned kPad = 8;  // zeroed bytes after the data for 8-byte loads

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

// The index of the lowest set bit of x (not 0). A 32-bit target counts in
// the halves: its 64-bit count is a call into the compiler's library.
inline unsigned LowestSetBit(uint64_t x) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  return static_cast<unsigned>(__builtin_ctzll(x));
#else
  const uint32_t low = static_cast<uint32_t>(x);
  return low != 0 ? static_cast<unsigned>(__builtin_ctz(low))
                  : 32 + static_cast<unsigned>(__builtin_ctz(static_cast<uint32_t>(x >> 32)));
#endif
}

// Extends a match of `len` bytes at a and b up to limit. Both may be read up
// to 8 bytes past limit (the window keeps kPad bytes of padding).
inline unsigned Extend(const uint8_t* a, const uint8_t* b, unsigned len, unsigned limit) {
  while (len < limit) {
    uint64_t x = Load64(a + len) ^ Load64(b + len);
    if (x != 0) {
      len += LowestSetBit(x) >> 3;
      return len < limit ? len : limit;
    }
    len += 8;
  }
  return limit;
}

inline void Store64(uint8_t* p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  std::memcpy(p, &v, 8);
}

// LSB-first bit writer over a buffer of kOutSize + 8 bytes. Every Put stores
// all 64 accumulator bits and advances by the whole bytes among them, so it
// has no data-dependent branch; fewer than 8 bits stay pending.
class BitWriter {
 public:
  BitWriter(uint8_t* buf, WriteFn write, void* param) : buf_(buf), write_(write), param_(param) {}
  // n <= 32.
  void Put(uint32_t bits, unsigned n) {
    acc_ |= uint64_t(bits) << cnt_;
    cnt_ += n;
    Store64(buf_ + pos_, acc_);
    pos_ += cnt_ >> 3;
    acc_ >>= cnt_ & ~7u;
    cnt_ &= 7;
    if (pos_ >= kOutSize) Drain();
  }
  // Writes out what is pending, the last byte padded with zero bits; returns
  // how many bits of that last byte are the stream's (0: all eight).
  unsigned Finish() {
    const unsigned tail = cnt_;
    if (cnt_ > 0) buf_[pos_++] = static_cast<uint8_t>(acc_);
    cnt_ = 0;
    Drain();
    return tail;
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

// Checks the classic parameters; 0 and the dictionary bits, or the classic code.
inline unsigned CheckParams(const unsigned* type, const unsigned* dictSize, unsigned* dictBits) {
  switch (*dictSize) {
    case 1024: *dictBits = 4; break;
    case 2048: *dictBits = 5; break;
    case 4096: *dictBits = 6; break;
    default: return kCmpInvalidDictSize;
  }
  if (*type != kCmpBinary && *type != kCmpAscii) return kCmpInvalidMode;
  return kCmpNoError;
}

// The end-of-stream code: a match of kEndLength, with no distance.
inline void PutEndCode(BitWriter& bits) {
  const uint32_t e = Tables().lenEncode[kEndLength];
  bits.Put(1 | (e & 0xFFFF) << 1, 1 + (e >> 16));
}

// The body of both encoders' piece entry points: checks the classic
// parameters and the history, then runs one piece with Encoder.
template <class Encoder>
unsigned RunPiece(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, const unsigned* type,
                  const unsigned* dictSize, unsigned prime, unsigned flags, unsigned* tailBits) {
  unsigned dictBits = 0;
  if (unsigned rc = CheckParams(type, dictSize, &dictBits)) return rc;
  if (prime > kMaxDict) return kCmpAbort;
  Encoder encoder(readBuf, writeBuf, workBuf, param, *type, dictBits);
  *tailBits = encoder.Run(prime, flags);
  return kCmpNoError;
}

}  // namespace ss::codec::detail
