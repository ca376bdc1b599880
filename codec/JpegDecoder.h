// The presentation picture's JPEG decoder: portable, no exceptions, no
// Windows headers. It reads Huffman-coded sequential and progressive
// pictures of 8-bit samples with one component (grey) or three (YCbCr, or
// RGB where the file says so) and gives 24-bit pixels that match libjpeg's
// default output (accurate integer IDCT, smooth chroma upsampling) byte for
// byte. A damaged picture is refused where libjpeg stops with an error;
// where libjpeg only warns (data cut short, a bad code, a lost restart
// marker) the decoder gives a picture too, filled as libjpeg fills it.
// Arithmetic coding, lossless and hierarchical pictures, 12-bit samples and
// four components are refused.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ss::codec {

class JpegDecoder {
 public:
  JpegDecoder() = default;
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // Reads the picture's headers from `data` (which must stay valid until
  // Decode returns) up to its first scan. A picture of more than maxPixels
  // pixels is refused here, before anything is allocated for it.
  // Returns 0, kErrCorruptPicture or kErrOutOfMemory.
  int32_t ReadHeader(const uint8_t* data, size_t size, uint64_t maxPixels);
  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }

  // Decodes the whole picture into `out`: Height() rows `stride` bytes
  // apart, 3 bytes a pixel in the order R, G, B (B, G, R when bgr). Once,
  // after a successful ReadHeader; `out` may hold garbage on failure.
  // Returns 0, kErrCorruptPicture or kErrOutOfMemory.
  int32_t Decode(uint8_t* out, size_t stride, bool bgr);

  struct State;

 private:
  State* state_ = nullptr;
  uint32_t width_ = 0, height_ = 0;
};

}  // namespace ss::codec
