#include "app/PictureLoader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace ss {
namespace {

// Pictures larger than this many pixels are refused before anything is
// allocated for them: a presentation is a few hundred pixels wide.
constexpr unsigned long long kMaxPixels = 16ull * 1024 * 1024;

std::string LowerExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return ext;
}

Result ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<Result>(GetLastError());
  LARGE_INTEGER size{};
  Result rc = kOk;
  if (!GetFileSizeEx(h, &size)) {
    rc = static_cast<Result>(GetLastError());
  } else if (size.QuadPart > 64 * 1024 * 1024) {
    rc = kErrCorruptPicture;
  } else {
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes->empty() && (!ReadFile(h, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) ||
                            got != bytes->size())) {
      rc = kIoReadPastEnd;
    }
  }
  CloseHandle(h);
  return rc;
}

struct JpegError {
  jpeg_error_mgr base;
  jmp_buf jump;
};

void JpegFail(j_common_ptr info) { longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr, int) {}

// Decodes a JPEG held in memory into a top-down 24-bit DIB section. Plain C
// style on purpose: libjpeg reports errors by longjmp, which must not jump
// over C++ objects with destructors.
HBITMAP DecodeJpeg(const unsigned char* data, unsigned long size) {
  jpeg_decompress_struct info;
  JpegError error;
  HBITMAP bitmap = nullptr;
  unsigned char* volatile row = nullptr;
  info.err = jpeg_std_error(&error.base);
  error.base.error_exit = JpegFail;
  error.base.emit_message = JpegQuiet;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    std::free(row);
    if (bitmap != nullptr) DeleteObject(bitmap);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const unsigned width = info.output_width, height = info.output_height;
  if (width == 0 || height == 0 || static_cast<unsigned long long>(width) * height > kMaxPixels ||
      info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = static_cast<LONG>(width);
  bmi.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  row = static_cast<unsigned char*>(std::malloc(width * 3));
  if (bitmap == nullptr || row == nullptr) {
    jpeg_destroy_decompress(&info);
    std::free(row);
    if (bitmap != nullptr) DeleteObject(bitmap);
    return nullptr;
  }
  const size_t stride = (width * 3 + 3) & ~3u;
  while (info.output_scanline < height) {
    JSAMPROW rows[1] = {row};
    const unsigned y = info.output_scanline;
    jpeg_read_scanlines(&info, rows, 1);
    unsigned char* out = static_cast<unsigned char*>(bits) + y * stride;
    for (unsigned x = 0; x < width; ++x) {  // RGB to the DIB's BGR
      out[x * 3 + 0] = row[x * 3 + 2];
      out[x * 3 + 1] = row[x * 3 + 1];
      out[x * 3 + 2] = row[x * 3 + 0];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::free(row);
  return bitmap;
}

}  // namespace

Result LoadPicture(const std::string& path, HBITMAP* bitmap) {
  *bitmap = nullptr;
  const std::string ext = LowerExtension(path);
  if (ext == ".bmp") {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return static_cast<Result>(GetLastError());
    *bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                              LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    return *bitmap != nullptr ? kOk : kErrCorruptPicture;
  }
  if (ext == ".jpg" || ext == ".jpeg") {
    std::vector<unsigned char> bytes;
    if (Result rc = ReadWholeFile(path, &bytes); rc != kOk) return rc;
    if (bytes.empty()) return kErrCorruptPicture;
    *bitmap = DecodeJpeg(bytes.data(), static_cast<unsigned long>(bytes.size()));
    return *bitmap != nullptr ? kOk : kErrCorruptPicture;
  }
  return kErrCorruptPicture;
}

}  // namespace ss
