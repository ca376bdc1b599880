// libFuzzer target for explode. The first input byte picks how the read
// callback delivers the stream (1, 2, 3, 7, 64, 4097 bytes per call or all of
// it) and an output limit; the rest is the stream. Whatever the stream,
// explode must end with a classic code, stay inside its buffers (the
// sanitizers watch that) and keep to the output limit, and the decoders with
// 32- and 64-bit bit buffers must agree. Small inputs are also
// imploded and exploded again, which must give them back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/Codec.h"
#include "tests/support/CodecIo.h"

namespace {

using ss::codec::test::ExplodeWidth;

constexpr size_t kChunks[8] = {1, 2, 3, 7, 64, 4097, SIZE_MAX, SIZE_MAX};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t sel = data[0];
  const uint64_t limit = (sel & 8) ? 1 << 16 : 1 << 22;
  // Exactly the classic size, so AddressSanitizer sees any overrun.
  std::unique_ptr<char[]> work(new char[ss::codec::kExplodeWorkSize]);
  std::vector<uint8_t> out, other;
  const unsigned rc = ExplodeWidth(false, data + 1, size - 1, kChunks[sel & 7], limit, work.get(), &out);
  if (rc > ss::codec::kCmpAbort || out.size() > limit) std::abort();
  // The decoder with the other word width must end the same way with the
  // same output.
  if (ExplodeWidth(true, data + 1, size - 1, kChunks[sel & 7], limit, work.get(), &other) != rc || other != out) {
    std::abort();
  }

  if (size <= 8192) {
    std::vector<uint8_t> packed, back;
    unsigned mode = (sel >> 4) & 1, dict = 1024u << ((sel >> 5) % 3);
    if (ss::codec::ImplodeBuffer(data + 1, size - 1, mode, dict, &packed) != 0) std::abort();
    if (ss::codec::ExplodeBuffer(packed.data(), packed.size(), &back, size) != 0) std::abort();
    if (back.size() != size - 1 || (size > 1 && std::memcmp(back.data(), data + 1, size - 1) != 0))
      std::abort();
  }
  return 0;
}
