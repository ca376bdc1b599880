#include "tests/e2e/install/Pictures.h"

#include <cstddef>

#include "tests/support/JpegOracle.h"

namespace e2e {
namespace {

// Diagonal colour bands, so that a screenshot shows at a glance whether the
// picture is there and the right way up.
void PatternPixel(int x, int y, int width, int height, uint8_t* r, uint8_t* g, uint8_t* b) {
  *r = static_cast<uint8_t>(255 * x / (width > 1 ? width - 1 : 1));
  *g = static_cast<uint8_t>(255 * y / (height > 1 ? height - 1 : 1));
  *b = static_cast<uint8_t>(((x + y) / 16) % 2 ? 200 : 40);
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> MakeBitmapFile(int width, int height) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t pixels = stride * static_cast<uint32_t>(height);
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 54 + pixels);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, 24);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  // Rows bottom-up, pixels blue-green-red.
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      uint8_t r, g, b;
      PatternPixel(x, y, width, height, &r, &g, &b);
      out.push_back(b);
      out.push_back(g);
      out.push_back(r);
    }
    for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < stride; ++pad) out.push_back(0);
  }
  return out;
}

std::vector<uint8_t> MakeJpegFile(int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      PatternPixel(x, y, width, height, &p[0], &p[1], &p[2]);
    }
  }
  ss::test::JpegParams params;
  params.width = static_cast<unsigned>(width);
  params.height = static_cast<unsigned>(height);
  params.quality = 85;
  return ss::test::EncodeJpeg(params, pixels);
}

}  // namespace e2e
