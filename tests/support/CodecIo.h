// The codec's read and write callbacks over bytes in memory, for the codec's
// tests of every build and its fuzz target: the source hands out at most
// `chunk` bytes a call, the output is collected. No GoogleTest here, so the
// fuzz target can take it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "codec/Codec.h"

namespace ss::codec::test {

struct Io {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  size_t chunk = SIZE_MAX;
  std::vector<uint8_t> out;

  static unsigned Read(char* buf, unsigned* n, void* p) {
    auto* io = static_cast<Io*>(p);
    size_t k = io->size - io->pos;
    if (k > *n) k = *n;
    if (k > io->chunk) k = io->chunk;
    if (k > 0) std::memcpy(buf, io->data + io->pos, k);
    io->pos += k;
    return static_cast<unsigned>(k);
  }
  static void Write(char* buf, unsigned* n, void* p) {
    auto* io = static_cast<Io*>(p);
    io->out.insert(io->out.end(), buf, buf + *n);
  }
};

// Explodes `stream` (read `chunk` bytes at a time, output limited to `limit`)
// with the decoder of this machine's word width, or with the other width's
// (32 and 64 bits; the i686 impborl.dll runs the 32-bit one).
inline unsigned ExplodeWidth(bool otherWidth, const uint8_t* stream, size_t size, size_t chunk, uint64_t limit,
                             char* work, std::vector<uint8_t>* out) {
  Io io{stream, size, 0, chunk, {}};
  const unsigned rc =
      otherWidth ? ExplodeLimitedWithBuffer(Io::Read, Io::Write, work, &io, limit, sizeof(void*) < 8 ? 64 : 32)
                 : ExplodeLimited(Io::Read, Io::Write, work, &io, limit);
  *out = std::move(io.out);
  return rc;
}

}  // namespace ss::codec::test
