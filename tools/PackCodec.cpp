#include "tools/PackCodec.h"

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
constexpr size_t kProbePiece = 32 * 1024;
constexpr size_t kProbePieces = 3;

std::string CodeText(unsigned code) {
  switch (code) {
    case codec::kCmpInvalidDictSize: return "bad dictionary size in the stream header";
    case codec::kCmpInvalidMode: return "bad literal mode in the stream header";
    case codec::kCmpBadData: return "damaged or truncated imploded data";
    case codec::kCmpAbort: return "aborted";
    default: return "codec error " + std::to_string(code);
  }
}

// One implode run over bytes in memory. The output is counted and, when
// `keep` is set, collected; once it reaches `stopAt` bytes the input is
// reported as ended, so the encoder finishes with what it holds.
struct Run {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  size_t written = 0;
  size_t stopAt = SIZE_MAX;
  std::vector<uint8_t>* keep = nullptr;

  static unsigned Read(char* buf, unsigned* want, void* param) {
    auto* r = static_cast<Run*>(param);
    if (r->written >= r->stopAt) return 0;
    size_t n = r->size - r->pos;
    if (n > *want) n = *want;
    if (n > 0) std::memcpy(buf, r->data + r->pos, n);
    r->pos += n;
    return static_cast<unsigned>(n);
  }
  static void Write(char* buf, unsigned* size, void* param) {
    auto* r = static_cast<Run*>(param);
    r->written += *size;
    if (r->keep != nullptr) {
      r->keep->insert(r->keep->end(), reinterpret_cast<uint8_t*>(buf),
                      reinterpret_cast<uint8_t*>(buf) + *size);
    }
  }
  unsigned Go(Encoder encoder, char* work) {
    unsigned type = codec::kCmpBinary;
    unsigned dict = kDictSize;
    return (encoder == Encoder::kFast ? codec::ImplodeFast : codec::Implode)(
        Read, Write, work, this, &type, &dict);
  }
};

}  // namespace

Encoder ChooseEncoder(const uint8_t* data, size_t size) {
  if (size < kProbeMinSize) return Encoder::kThorough;
  auto work = std::make_unique<char[]>(codec::kImplodeWorkSize);
  const size_t piece = size < kProbePiece ? size : kProbePiece;
  size_t in = 0, out = 0;
  for (size_t k = 0; k < kProbePieces; ++k) {
    Run run{data + (size - piece) * k / (kProbePieces - 1), piece};
    run.Go(Encoder::kFast, work.get());
    in += piece;
    out += run.written;
  }
  return out >= in ? Encoder::kFast : Encoder::kThorough;
}

bool Implode(const uint8_t* data, size_t size, bool smallerOnly, std::vector<uint8_t>* out,
             bool* smaller, std::string* error) {
  out->clear();
  // Room for the whole output at once (incompressible data grows by an
  // eighth), so that it is never copied while it grows.
  out->reserve(smallerOnly ? size + 64 * 1024 : size + size / 8 + 64 * 1024);
  Run run{data, size};
  run.keep = out;
  if (smallerOnly) run.stopAt = size;
  auto work = std::make_unique<char[]>(codec::kImplodeWorkSize);
  const unsigned rc = run.Go(ChooseEncoder(data, size), work.get());
  if (rc != codec::kCmpNoError) {
    *error = "compression failed: " + CodeText(rc);
    return false;
  }
  *smaller = run.pos == size && out->size() < size;
  return true;
}

bool Implode(const std::vector<uint8_t>& data, std::vector<uint8_t>* out, std::string* error) {
  const unsigned rc =
      codec::ImplodeBuffer(data.data(), data.size(), codec::kCmpBinary, kDictSize, out);
  if (rc != codec::kCmpNoError) {
    *error = "compression failed: " + CodeText(rc);
    return false;
  }
  return true;
}

bool Explode(const uint8_t* data, size_t size, size_t maxOut, std::vector<uint8_t>* out,
             std::string* error) {
  const unsigned rc = codec::ExplodeBuffer(data, size, out, maxOut);
  if (rc == codec::kCmpAbort) {
    *error = "expands to more than " + std::to_string(maxOut) + " bytes";
    return false;
  }
  if (rc != codec::kCmpNoError) {
    *error = CodeText(rc);
    return false;
  }
  return true;
}

}  // namespace ss::pack
