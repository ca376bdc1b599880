// libjpeg as the oracle of the JPEG decoder's tests (host and cross build)
// and the maker of the end-to-end tests' pictures: pictures made by its
// compressor, and its decompressor's verdict and pixels with
// the installer's former settings (RGB output, everything else default).
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace ss::test {

struct JpegParams {
  unsigned width = 16, height = 16;
  unsigned components = 3;  // 1: grey, 4: CMYK
  int quality = 75;
  unsigned sampling[4][2] = {{2, 2}, {1, 1}, {1, 1}, {1, 1}};  // h, v of each component
  bool progressive = false;
  bool optimize = false;
  unsigned restartRows = 0;  // restart interval in MCU rows
  unsigned restartMcus = 0;  // restart interval in MCUs
  bool rgbColour = false;    // code R, G, B without conversion (Adobe marker)
};

namespace jpeg_oracle_detail {
struct Error {
  jpeg_error_mgr base;
  jmp_buf jump;
};
inline void Fail(j_common_ptr info) { longjmp(reinterpret_cast<Error*>(info->err)->jump, 1); }
inline void Quiet(j_common_ptr, int) {}
// The system's libjpeg runs its plain C code, as the installer's former
// libjpeg (built without SIMD code, scripts/setup-deps.sh) did: the SIMD
// code agrees with it on sound pictures but not on the out-of-range
// coefficients of damaged ones. The library reads this once, before its
// first picture. (The MinGW build has no SIMD code.)
inline void PlainCodeOnly() {
#ifndef _WIN32
  static const bool set = setenv("JSIMD_FORCENONE", "1", 1) == 0;
  (void)set;
#endif
}
}  // namespace jpeg_oracle_detail

// Compresses width * height pixels of `components` bytes each.
inline std::vector<uint8_t> EncodeJpeg(const JpegParams& p, const std::vector<uint8_t>& pixels) {
  jpeg_oracle_detail::PlainCodeOnly();
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = p.width;
  info.image_height = p.height;
  info.input_components = static_cast<int>(p.components);
  info.in_color_space = p.components == 1 ? JCS_GRAYSCALE : p.components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  if (p.rgbColour) jpeg_set_colorspace(&info, JCS_RGB);
  jpeg_set_quality(&info, p.quality, TRUE);
  for (unsigned c = 0; c < p.components; ++c) {
    info.comp_info[c].h_samp_factor = static_cast<int>(p.sampling[c][0]);
    info.comp_info[c].v_samp_factor = static_cast<int>(p.sampling[c][1]);
  }
  if (p.progressive) jpeg_simple_progression(&info);
  info.optimize_coding = p.optimize ? TRUE : FALSE;
  info.restart_in_rows = static_cast<int>(p.restartRows);
  info.restart_interval = p.restartMcus;
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(p.width) * p.components;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// libjpeg's verdict on `data` as the installer used it: true with its RGB
// pixels (rows packed), false where it stops with an error.
inline bool DecodeJpegWithLibjpeg(const std::vector<uint8_t>& data, std::vector<uint8_t>* rgb, unsigned* width,
                                  unsigned* height, bool smoothing = true) {
  using namespace jpeg_oracle_detail;
  PlainCodeOnly();
  jpeg_decompress_struct info;
  Error error;
  info.err = jpeg_std_error(&error.base);
  error.base.error_exit = Fail;
  error.base.emit_message = Quiet;
  rgb->clear();
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  if (data.empty()) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  info.do_block_smoothing = smoothing ? TRUE : FALSE;
  jpeg_start_decompress(&info);
  if (info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  *width = info.output_width;
  *height = info.output_height;
  rgb->resize(static_cast<size_t>(info.output_width) * info.output_height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rgb->data() + static_cast<size_t>(info.output_scanline) * info.output_width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace ss::test
