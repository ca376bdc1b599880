#include "tools/common/PackCodec.h"

#include <cstring>
#include <memory>

#include "codec/Codec.h"
#include "codec/ImplodeFast.h"

namespace ss::pack {
namespace {

// The streams the installer has been seen to read: binary literals, the
// largest dictionary.
constexpr unsigned kDictSize = 4096;

// ChooseEncoder's probe (see PackCodec.h).
constexpr size_t kProbeMinSize = 64 * 1024;
constexpr size_t kProbeSample = 16 * 1024;
constexpr size_t kProbeSamples = 3;

std::string CodeText(unsigned code) {
  switch (code) {
    case codec::kCmpInvalidDictSize: return "bad dictionary size in the stream header";
    case codec::kCmpInvalidMode: return "bad literal mode in the stream header";
    case codec::kCmpBadData: return "damaged or truncated imploded data";
    case codec::kCmpAbort: return "aborted";
    default: return "codec error " + std::to_string(code);
  }
}

// One implode run over bytes in memory. The output is collected in `keep`
// when given, and counted in `watch` when given; once the watch gives up,
// the input is reported as ended, so the encoder finishes with what it holds.
struct Run {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  size_t written = 0;
  std::vector<uint8_t>* keep = nullptr;
  ShrinkWatch* watch = nullptr;

  static unsigned Read(char* buf, unsigned* want, void* param) {
    auto* r = static_cast<Run*>(param);
    if (r->watch != nullptr && r->watch->gaveUp()) return 0;
    size_t n = r->size - r->pos;
    if (n > *want) n = *want;
    if (n > 0) std::memcpy(buf, r->data + r->pos, n);
    r->pos += n;
    return static_cast<unsigned>(n);
  }
  static void Write(char* buf, unsigned* size, void* param) {
    auto* r = static_cast<Run*>(param);
    r->written += *size;
    if (r->watch != nullptr) r->watch->written += *size;
    if (r->keep != nullptr) {
      r->keep->insert(r->keep->end(), reinterpret_cast<uint8_t*>(buf),
                      reinterpret_cast<uint8_t*>(buf) + *size);
    }
  }
  // Encodes data[prime, size) after the history data[0, prime).
  unsigned Go(Encoder encoder, char* work, unsigned prime, unsigned flags, unsigned* tailBits) {
    unsigned type = codec::kCmpBinary;
    unsigned dict = kDictSize;
    return (encoder == Encoder::kFast ? codec::ImplodeFastPiece : codec::ImplodePiece)(
        Read, Write, work, this, &type, &dict, prime, flags, tailBits);
  }
};

}  // namespace

Encoder ChooseEncoder(const uint8_t* data, size_t size) {
  if (size < kProbeMinSize) return Encoder::kThorough;
  auto work = std::make_unique<char[]>(codec::kImplodeWorkSize);
  const size_t sample = size < kProbeSample ? size : kProbeSample;
  size_t in = 0, out = 0;
  for (size_t k = 0; k < kProbeSamples; ++k) {
    // The middles of the thirds: a header at the start (a data file's table
    // of entries, say) says little about the rest.
    Run run{data + (size - sample) * (2 * k + 1) / (2 * kProbeSamples), sample};
    unsigned tail = 0;
    run.Go(Encoder::kFast, work.get(), 0, codec::kPieceFirst | codec::kPieceLast, &tail);
    in += sample;
    out += run.written;
  }
  return out >= in + in * 3 / 100 ? Encoder::kFast : Encoder::kThorough;
}

uint64_t UncoverableInPiece(const uint8_t* data, size_t size, size_t k) {
  const size_t from = k * kPieceSize;
  const size_t to = k + 1 == PieceCount(size) ? size : from + kPieceSize;
  return codec::UncoverableBytes(data, size, from, to);
}

ToolResult ImplodePieceOf(const uint8_t* data, size_t size, size_t k, Encoder encoder,
                          ShrinkWatch* watch, Piece* out) {
  const size_t count = PieceCount(size);
  const size_t from = k * kPieceSize;
  const size_t to = k + 1 == count ? size : from + kPieceSize;
  const size_t prime = from < kDictSize ? from : kDictSize;
  unsigned flags = 0;
  if (k == 0) flags |= codec::kPieceFirst;
  if (k + 1 == count) flags |= codec::kPieceLast;
  out->bytes.clear();
  // Room for the whole piece at once (incompressible data grows by an
  // eighth), so that it is never copied while it grows.
  out->bytes.reserve((to - from) + (to - from) / 8 + 64);
  Run run{data + from - prime, to - from + prime};
  run.keep = &out->bytes;
  run.watch = watch;
  auto work = std::make_unique<char[]>(codec::kImplodeWorkSize);
  const unsigned rc =
      run.Go(encoder, work.get(), static_cast<unsigned>(prime), flags, &out->tailBits);
  if (rc != codec::kCmpNoError) {
    return ToolResult::Fault("compression failed: " + CodeText(rc));
  }
  return ToolResult();
}

size_t JoinedSize(const std::vector<Piece>& pieces) {
  uint64_t bits = 0;
  for (const Piece& p : pieces) {
    if (p.bytes.empty()) continue;
    bits += 8 * uint64_t(p.bytes.size()) - (p.tailBits == 0 ? 0 : 8 - p.tailBits);
  }
  return static_cast<size_t>((bits + 7) / 8);
}

void AppendJoined(std::vector<Piece>* pieces, std::vector<uint8_t>* out) {
  unsigned tail = 0;
  for (Piece& p : *pieces) {
    codec::AppendPieceBits(out, &tail, p.bytes.data(), p.bytes.size(), p.tailBits);
    std::vector<uint8_t>().swap(p.bytes);
  }
}

ToolResult Implode(const std::vector<uint8_t>& data, std::vector<uint8_t>* out) {
  const unsigned rc =
      codec::ImplodeBuffer(data.data(), data.size(), codec::kCmpBinary, kDictSize, out);
  if (rc != codec::kCmpNoError) {
    return ToolResult::Fault("compression failed: " + CodeText(rc));
  }
  return ToolResult();
}

ToolResult Explode(const uint8_t* data, size_t size, size_t maxOut, std::vector<uint8_t>* out) {
  const unsigned rc = codec::ExplodeBuffer(data, size, out, maxOut);
  if (rc == codec::kCmpAbort) {
    return ToolResult::Fault("expands to more than " + std::to_string(maxOut) + " bytes");
  }
  if (rc != codec::kCmpNoError) {
    return ToolResult::Fault(CodeText(rc));
  }
  return ToolResult();
}

}  // namespace ss::pack
