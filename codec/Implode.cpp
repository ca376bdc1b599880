// Implode: the encoder of the DCL implode format. See FORMAT.md.
// First version: literals only (correct, no compression); the parser comes next.
#include "codec/Codec.h"

#include <cstring>

#include "codec/Tables.h"

namespace ss::codec {
namespace {

using namespace detail;

constexpr auto kLenEncode = MakeLenEncodeTable();

struct ImplodeWork {
  uint8_t in[4096];
  uint8_t out[2048 + 16];
};
static_assert(sizeof(ImplodeWork) <= kImplodeWorkSize, "work buffer too small");

class BitWriter {
 public:
  BitWriter(uint8_t* buf, size_t cap, WriteFn write, void* param)
      : buf_(buf), cap_(cap), write_(write), param_(param) {}
  void Put(uint32_t bits, unsigned n) {
    acc_ |= uint64_t(bits) << cnt_;
    cnt_ += n;
    while (cnt_ >= 8) {
      buf_[pos_++] = static_cast<uint8_t>(acc_);
      acc_ >>= 8;
      cnt_ -= 8;
      if (pos_ == cap_) Drain();
    }
  }
  void Finish() {
    if (cnt_ > 0) {
      buf_[pos_++] = static_cast<uint8_t>(acc_);
      acc_ = 0;
      cnt_ = 0;
    }
    Drain();
  }

 private:
  void Drain() {
    if (pos_ == 0) return;
    unsigned n = static_cast<unsigned>(pos_);
    write_(reinterpret_cast<char*>(buf_), &n, param_);
    pos_ = 0;
  }
  uint8_t* buf_;
  size_t cap_;
  size_t pos_ = 0;
  WriteFn write_;
  void* param_;
  uint64_t acc_ = 0;
  unsigned cnt_ = 0;
};

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
  const unsigned mode = *type;
  if (mode != kCmpBinary && mode != kCmpAscii) return kCmpInvalidMode;
  auto* work = reinterpret_cast<ImplodeWork*>(workBuf);
  BitWriter bw(work->out, 2048, writeBuf, param);
  bw.Put(mode, 8);
  bw.Put(dictBits, 8);
  for (;;) {
    unsigned want = sizeof(work->in);
    unsigned got = readBuf(reinterpret_cast<char*>(work->in), &want, param);
    if (got == 0) break;
    if (got > sizeof(work->in)) got = sizeof(work->in);
    for (unsigned i = 0; i < got; ++i) {
      uint8_t c = work->in[i];
      if (mode == kCmpBinary)
        bw.Put(uint32_t(c) << 1, 9);
      else
        bw.Put(uint32_t(kLitCodes[c]) << 1, 1 + kLitLengths[c]);
    }
  }
  uint32_t e = kLenEncode[kEndLength];
  bw.Put(1 | (e & 0xFFFF) << 1, 1 + (e >> 16));
  bw.Finish();
  return kCmpNoError;
}

}  // namespace ss::codec
