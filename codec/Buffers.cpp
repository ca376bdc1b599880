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

uint64_t UncoverableBytes(const uint8_t* data, size_t size, size_t from, size_t to) {
  // The newest position of each 2-byte string and of each hash of a 3-byte
  // string, counted from 5000 so that the empty entries (0) are out of
  // reach. A colliding entry can only make a byte look coverable, which
  // lowers the floor and keeps it a floor. 2^19 hashes: on random data the
  // floor is 4 % above the size (2^18: 2 %, 2^20: 6 %, but slower).
  constexpr unsigned kHash3Bits = 19;
  constexpr uint32_t kStart = 5000;
  std::vector<uint32_t> last2(size_t(1) << 16, 0);
  std::vector<uint32_t> last3(size_t(1) << kHash3Bits, 0);
  // Whether the strings at the positions before were seen, newest in bit 0.
  unsigned seen2 = 0, seen3 = 0;
  uint64_t literals = 0;
  // Matches reach 4096 bytes back; a string two bytes before `from` still
  // covers it.
  const size_t begin = from > 4096 + 2 ? from - 4096 - 2 : 0;
  for (size_t p = begin; p < to; ++p) {
    const uint32_t at = static_cast<uint32_t>(p - begin) + kStart;
    unsigned s2 = 0, s3 = 0;
    if (p + 2 < size) {
      const unsigned h2 = data[p] | unsigned(data[p + 1]) << 8;
      const uint32_t v = h2 | uint32_t(data[p + 2]) << 16;
      const unsigned h3 = (v * 2654435761u) >> (32 - kHash3Bits);
      s2 = at - last2[h2] - 1 < 256u;
      s3 = at - last3[h3] - 1 < 4096u;
      last2[h2] = at;
      last3[h3] = at;
    } else if (p + 1 < size) {
      const unsigned h2 = data[p] | unsigned(data[p + 1]) << 8;
      s2 = at - last2[h2] - 1 < 256u;
    }
    seen2 = (seen2 << 1 | s2) & 3;  // the strings at p-1 and p
    seen3 = (seen3 << 1 | s3) & 7;  // at p-2, p-1 and p
    literals += p >= from && (seen2 | seen3) == 0;
  }
  return literals;
}

size_t ImplodedSizeFloor(const uint8_t* data, size_t size) {
  return static_cast<size_t>(4 + (9 * UncoverableBytes(data, size, 0, size) + 7) / 8);
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
