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

void AppendPieceBits(std::vector<uint8_t>* stream, unsigned* tailBits, const uint8_t* piece,
                     size_t size, unsigned pieceTailBits) {
  const unsigned shift = *tailBits;
  if (size > 0) *tailBits = (shift + pieceTailBits) & 7;
  if (shift == 0 || size == 0) {
    stream->insert(stream->end(), piece, piece + size);
    return;
  }
  // The piece's bits continue in the free high bits of the stream's last
  // byte; every piece byte then straddles two stream bytes.
  const size_t at = stream->size();
  stream->resize(at + size);
  uint8_t* out = stream->data() + at - 1;
  for (size_t i = 0; i < size; ++i) {
    out[i] = static_cast<uint8_t>(out[i] | piece[i] << shift);
    out[i + 1] = static_cast<uint8_t>(piece[i] >> (8 - shift));
  }
  // The piece's bits may end in the byte before the last one made.
  const unsigned used = (shift == 0 ? 8 : shift) + (pieceTailBits == 0 ? 8 : pieceTailBits);
  if (used <= 8) stream->pop_back();
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
