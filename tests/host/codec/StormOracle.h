// StormLib (Debian's libstorm-dev) as an independent implode/explode oracle,
// for tests and benchmarks only. StormLib exports the raw classic functions
// but ships no header for them, so they are declared here as its pklib.h
// declares them. Its work structures hold pointers and longs, so on x86-64
// they are larger than the classic sizes: 36328 and 12648 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
unsigned int implode(unsigned int (*read_buf)(char* buf, unsigned int* size, void* param),
                     void (*write_buf)(char* buf, unsigned int* size, void* param),
                     char* work_buf, void* param, unsigned int* type, unsigned int* dsize);
unsigned int explode(unsigned int (*read_buf)(char* buf, unsigned int* size, void* param),
                     void (*write_buf)(char* buf, unsigned int* size, void* param),
                     char* work_buf, void* param);
}

namespace ss::codec::test {

constexpr size_t kStormImplodeWork = 36328;
constexpr size_t kStormExplodeWork = 12648;

struct StormIo {
  const uint8_t* data;
  size_t size;
  size_t pos;
  std::vector<uint8_t>* out;
  size_t maxOut;
  bool overflow;

  static unsigned Read(char* buf, unsigned* n, void* p) {
    auto* s = static_cast<StormIo*>(p);
    size_t k = s->size - s->pos;
    if (k > *n) k = *n;
    if (k > 0) std::memcpy(buf, s->data + s->pos, k);
    s->pos += k;
    return static_cast<unsigned>(k);
  }
  static void Write(char* buf, unsigned* n, void* p) {
    auto* s = static_cast<StormIo*>(p);
    size_t k = *n;
    if (s->out->size() + k > s->maxOut) {
      k = s->maxOut - s->out->size();
      s->overflow = true;
    }
    s->out->insert(s->out->end(), buf, buf + k);
  }
};

// StormLib's raw implode; returns its classic code.
inline unsigned StormImplode(const uint8_t* data, size_t size, unsigned type, unsigned dictSize,
                             std::vector<uint8_t>* out, char* work = nullptr) {
  out->clear();
  std::unique_ptr<char[]> own;
  if (work == nullptr) {
    own.reset(new char[kStormImplodeWork]);
    work = own.get();
  }
  std::memset(work, 0, kStormImplodeWork);
  StormIo io{data, size, 0, out, SIZE_MAX, false};
  return implode(StormIo::Read, StormIo::Write, work, &io, &type, &dictSize);
}

// StormLib's raw explode; returns its classic code (judged by the code, not
// by SCompExplode, which hides errors).
inline unsigned StormExplode(const uint8_t* data, size_t size, std::vector<uint8_t>* out,
                             size_t maxOut = SIZE_MAX, char* work = nullptr) {
  out->clear();
  std::unique_ptr<char[]> own;
  if (work == nullptr) {
    own.reset(new char[kStormExplodeWork]);
    work = own.get();
  }
  std::memset(work, 0, kStormExplodeWork);
  StormIo io{data, size, 0, out, maxOut, false};
  return explode(StormIo::Read, StormIo::Write, work, &io);
}

}  // namespace ss::codec::test
