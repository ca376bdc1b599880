// The classic library's crc32: the reflected CRC-32 (polynomial 0xEDB88320)
// updated byte by byte from a table, with no inversion inside. Kept apart
// from the buffer helpers so that impborl.dll needs no C++ runtime.
#include "codec/Codec.h"

#include "codec/Tables.h"

namespace ss::codec {

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const uint32_t* const table = detail::Tables().crc;
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace ss::codec
