// Whole-buffer helpers over the callback API.
#include <cstring>
#include <memory>

#include "codec/Codec.h"
#include "codec/ImplodeFast.h"

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

unsigned ImplodeWith(decltype(&Implode) implode, const uint8_t* data, size_t size, unsigned type,
                     unsigned dictSize, std::vector<uint8_t>* out) {
  out->clear();
  Sink sink{{data, size, 0}, out};
  auto work = std::make_unique<char[]>(kImplodeWorkSize);
  return implode(
      [](char* buf, unsigned* n, void* p) { return ReadFromSource(buf, n, &static_cast<Sink*>(p)->src); },
      WriteToSink, work.get(), &sink, &type, &dictSize);
}

}  // namespace

unsigned ImplodeBuffer(const uint8_t* data, size_t size, unsigned type, unsigned dictSize,
                       std::vector<uint8_t>* out) {
  return ImplodeWith(Implode, data, size, type, dictSize, out);
}

unsigned ImplodeFastBuffer(const uint8_t* data, size_t size, unsigned type, unsigned dictSize,
                           std::vector<uint8_t>* out) {
  return ImplodeWith(ImplodeFast, data, size, type, dictSize, out);
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

}  // namespace ss::codec
