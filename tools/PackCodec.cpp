#include "tools/PackCodec.h"

#include "codec/Codec.h"

namespace ss::pack {
namespace {

// The streams the installer has been seen to read: binary literals, the
// largest dictionary.
constexpr unsigned kDictSize = 4096;

std::string CodeText(unsigned code) {
  switch (code) {
    case codec::kCmpInvalidDictSize: return "bad dictionary size in the stream header";
    case codec::kCmpInvalidMode: return "bad literal mode in the stream header";
    case codec::kCmpBadData: return "damaged or truncated imploded data";
    case codec::kCmpAbort: return "aborted";
    default: return "codec error " + std::to_string(code);
  }
}

}  // namespace

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
