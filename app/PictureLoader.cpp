#include "app/PictureLoader.h"

#include <cstring>
#include <vector>

#include "codec/JpegDecoder.h"
#include "core/WinFile.h"

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

// A presentation picture is far smaller; anything larger is refused unread.
constexpr DWORD kMaxPictureFile = 64 * 1024 * 1024;

// Decodes a JPEG held in memory into a top-down 24-bit DIB section, through
// the decoder of codec/JpegDecoder.h, which writes the bitmap's rows itself.
HBITMAP DecodeJpeg(const unsigned char* data, size_t size) {
  codec::JpegDecoder decoder;
  if (decoder.ReadHeader(data, size, kMaxPixels) != kOk) return nullptr;
  const unsigned width = decoder.Width(), height = decoder.Height();
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = static_cast<LONG>(width);
  bmi.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  const size_t stride = (width * 3 + 3) & ~3u;
  if (decoder.Decode(static_cast<unsigned char*>(bits), stride, true) != kOk) {  // the DIB's order: B, G, R
    DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Checks that a bitmap file's headers fit the file before the system's
// loader sees it: a file cut inside its header or pixels must be refused
// here, not read past its end.
bool BitmapFits(const std::vector<unsigned char>& f) {
  constexpr size_t kFileHeader = 14;
  if (f.size() < kFileHeader + 12 || f[0] != 'B' || f[1] != 'M') return false;
  const uint32_t pixelsAt = Le32(&f[10]);
  const uint32_t infoSize = Le32(&f[14]);
  if (infoSize != 12 && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124) {
    return false;
  }
  if (kFileHeader + infoSize > f.size() || pixelsAt < kFileHeader + infoSize || pixelsAt >= f.size()) return false;
  int64_t width = 0, height = 0;
  uint32_t bits = 0, compression = 0;
  if (infoSize == 12) {
    width = static_cast<uint16_t>(f[18] | (f[19] << 8));
    height = static_cast<uint16_t>(f[20] | (f[21] << 8));
    bits = static_cast<uint16_t>(f[24] | (f[25] << 8));
  } else {
    width = static_cast<int32_t>(Le32(&f[18]));
    height = static_cast<int32_t>(Le32(&f[22]));
    bits = static_cast<uint16_t>(f[28] | (f[29] << 8));
    compression = Le32(&f[30]);
  }
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0 || static_cast<unsigned long long>(width) * height > kMaxPixels) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const int64_t available = static_cast<int64_t>(f.size() - pixelsAt);
  if (compression == BI_RGB || compression == BI_BITFIELDS) {
    const int64_t stride = ((width * bits + 31) / 32) * 4;
    return available >= stride * height;
  }
  if (compression == BI_RLE8 || compression == BI_RLE4) {
    // Run-length pixels: their stored size must be given and present.
    const uint32_t stored = Le32(&f[34]);
    return stored > 0 && stored <= available;
  }
  return false;  // pictures compressed some other way are not for us
}

}  // namespace

Result LoadPicture(const std::string& path, HBITMAP* bitmap) {
  *bitmap = nullptr;
  const std::string ext = LowerExtension(path);
  if (ext == ".bmp") {
    std::vector<unsigned char> bytes;
    if (Result rc = ReadWholeFile(path, kMaxPictureFile, &bytes, kErrCorruptPicture); rc != kOk) return rc;
    if (!BitmapFits(bytes)) return kErrCorruptPicture;
    *bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                              LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    return *bitmap != nullptr ? kOk : kErrCorruptPicture;
  }
  if (ext == ".jpg" || ext == ".jpeg") {
    std::vector<unsigned char> bytes;
    if (Result rc = ReadWholeFile(path, kMaxPictureFile, &bytes, kErrCorruptPicture); rc != kOk) return rc;
    if (bytes.empty()) return kErrCorruptPicture;
    *bitmap = DecodeJpeg(bytes.data(), bytes.size());
    return *bitmap != nullptr ? kOk : kErrCorruptPicture;
  }
  return kErrCorruptPicture;
}

}  // namespace ss
