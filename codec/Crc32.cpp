// The classic library's crc32: the reflected CRC-32 (polynomial 0xEDB88320)
// updated byte by byte from a table, with no inversion inside. Kept apart
// from the buffer helpers so that impborl.dll needs no C++ runtime.
#include "codec/Codec.h"

namespace ss::codec {
namespace {

constexpr uint32_t kCrcPoly = 0xEDB88320u;

struct CrcTable {
  uint32_t t[256];
  constexpr CrcTable() : t() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (kCrcPoly & (0u - (c & 1)));
      t[i] = c;
    }
  }
};
constexpr CrcTable kCrc;

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) crc = kCrc.t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace ss::codec
