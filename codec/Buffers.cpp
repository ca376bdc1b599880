// Whole-buffer helpers over the callback API, and the classic crc32.
#include <cstring>
#include <memory>

#include "codec/Codec.h"

namespace ss::codec {
namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

unsigned ReadFromSource(char* buf, unsigned* size, void* param) {
  auto* s = static_cast<Source*>(param);
  size_t n = s->size - s->pos;
  if (n > *size) n = *size;
  if (n > 0) std::memcpy(buf, s->data + s->pos, n);
  s->pos += n;
  return static_cast<unsigned>(n);
}

struct Sink {
  Source src;
  std::vector<uint8_t>* out;
};

void WriteToSink(char* buf, unsigned* size, void* param) {
  auto* s = static_cast<Sink*>(param);
  s->out->insert(s->out->end(), reinterpret_cast<uint8_t*>(buf),
                 reinterpret_cast<uint8_t*>(buf) + *size);
}

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

unsigned ImplodeBuffer(const uint8_t* data, size_t size, unsigned type, unsigned dictSize,
                       std::vector<uint8_t>* out) {
  out->clear();
  Sink sink{{data, size, 0}, out};
  auto work = std::make_unique<char[]>(kImplodeWorkSize);
  return Implode(
      [](char* buf, unsigned* n, void* p) { return ReadFromSource(buf, n, &static_cast<Sink*>(p)->src); },
      WriteToSink, work.get(), &sink, &type, &dictSize);
}

unsigned ExplodeBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>* out,
                       size_t maxOut) {
  out->clear();
  Sink sink{{data, size, 0}, out};
  auto work = std::make_unique<char[]>(kExplodeWorkSize);
  return ExplodeLimited(
      [](char* buf, unsigned* n, void* p) { return ReadFromSource(buf, n, &static_cast<Sink*>(p)->src); },
      WriteToSink, work.get(), &sink, maxOut);
}

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) crc = kCrc.t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace ss::codec
