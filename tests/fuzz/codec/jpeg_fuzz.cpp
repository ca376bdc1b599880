// libFuzzer target for the JPEG decoder. Whatever the bytes, the decoder
// must end with a result code and stay inside its buffers (the sanitizers
// watch that; the output buffer has exactly the picture's size). A picture
// it decodes must be one libjpeg decodes to the same pixels (libjpeg's
// smoothing of unfinished progressive pictures off); libjpeg may read
// pictures the decoder refuses (arithmetic coding, more than 1000 scans).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/JpegDecoder.h"
#include "core/ResultCodes.h"
#include "tests/support/JpegOracle.h"

namespace {
// Large enough for odd geometry, small enough to keep runs quick.
constexpr uint64_t kMaxPixels = 1 << 18;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ss::codec::JpegDecoder decoder;
  int32_t rc = decoder.ReadHeader(data, size, kMaxPixels);
  if (rc != ss::kOk && rc != ss::kErrCorruptPicture) std::abort();
  if (rc != ss::kOk) return 0;
  const size_t stride = static_cast<size_t>(decoder.Width()) * 3;
  std::vector<uint8_t> ours(stride * decoder.Height());
  rc = decoder.Decode(ours.data(), stride, false);
  if (rc != ss::kOk && rc != ss::kErrCorruptPicture) std::abort();
  if (rc != ss::kOk) return 0;
  std::vector<uint8_t> theirs;
  unsigned w = 0, h = 0;
  if (!ss::test::DecodeJpegWithLibjpeg(std::vector<uint8_t>(data, data + size), &theirs, &w, &h, false) ||
      w != decoder.Width() || h != decoder.Height() || theirs != ours) {
    std::abort();
  }
  return 0;
}
