#include "examples/media/SampleMedia.h"

#include <cmath>

#include "package/ByteOrder.h"

namespace ss::sample {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

uint8_t Mix(uint8_t a, uint8_t b, int alpha) {
  return static_cast<uint8_t>((a * (255 - alpha) + b * alpha + 127) / 255);
}

// A small deterministic generator, so that every build paints the same
// pictures (and the installer's byte comparisons stay meaningful).
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  int next(int limit) {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<int>((state_ >> 8) % static_cast<uint32_t>(limit));
  }

 private:
  uint32_t state_;
};

void Fish(Picture& p, int x, int y, int size, Rgb body, bool facingLeft) {
  p.ellipse(x, y, size, size / 2, body);
  const int dir = facingLeft ? 1 : -1;
  // Tail: a triangle behind the body.
  for (int i = 0; i < size / 2; ++i) {
    for (int j = -i / 2 - 1; j <= i / 2 + 1; ++j) {
      p.set(x + dir * (size + size / 2 - i), y + j, body);
    }
  }
  p.ellipse(x - dir * (size / 2), y - size / 6, size / 8 + 1, size / 8 + 1, Rgb{250, 250, 250});
  p.ellipse(x - dir * (size / 2), y - size / 6, size / 16 + 1, size / 16 + 1, Rgb{10, 10, 10});
}

void Bubbles(Picture& p, uint32_t seed, int count) {
  Lcg rnd(seed);
  for (int i = 0; i < count; ++i) {
    const int r = 2 + rnd.next(6);
    p.ring(rnd.next(p.width()), rnd.next(p.height()), r, Rgb{220, 240, 255}, 150);
  }
}

void Sand(Picture& p, Rgb sand) {
  const int h = p.height();
  for (int x = 0; x < p.width(); ++x) {
    const int top = h - h / 8 - static_cast<int>(6 * std::sin(x / 23.0) + 4 * std::sin(x / 7.0));
    for (int y = top; y < h; ++y) p.blend(x, y, sand, 230);
  }
}

void Kelp(Picture& p, int x0, int height, Rgb colour) {
  const int bottom = p.height() - p.height() / 10;
  for (int i = 0; i < height; ++i) {
    const int x = x0 + static_cast<int>(8 * std::sin(i / 14.0));
    for (int w = -3; w <= 3; ++w) p.blend(x + w, bottom - i, colour, 220);
  }
}

}  // namespace

Picture::Picture(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height) {}

void Picture::set(int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<size_t>(y) * width_ + x] = colour;
}

void Picture::blend(int x, int y, Rgb colour, int alpha) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Rgb& px = pixels_[static_cast<size_t>(y) * width_ + x];
  px = Rgb{Mix(px.r, colour.r, alpha), Mix(px.g, colour.g, alpha), Mix(px.b, colour.b, alpha)};
}

void Picture::ellipse(int cx, int cy, int rx, int ry, Rgb colour, int alpha) {
  if (rx <= 0 || ry <= 0) return;
  for (int y = -ry; y <= ry; ++y) {
    for (int x = -rx; x <= rx; ++x) {
      const double d = static_cast<double>(x) * x / (static_cast<double>(rx) * rx) +
                       static_cast<double>(y) * y / (static_cast<double>(ry) * ry);
      if (d <= 1.0) blend(cx + x, cy + y, colour, alpha);
    }
  }
}

void Picture::ring(int cx, int cy, int radius, Rgb colour, int alpha) {
  for (int y = -radius - 1; y <= radius + 1; ++y) {
    for (int x = -radius - 1; x <= radius + 1; ++x) {
      const double d = std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y);
      if (std::fabs(d - radius) <= 0.75) blend(cx + x, cy + y, colour, alpha);
    }
  }
}

void Picture::verticalGradient(Rgb top, Rgb bottom) {
  for (int y = 0; y < height_; ++y) {
    const int a = height_ > 1 ? y * 255 / (height_ - 1) : 0;
    const Rgb c{Mix(top.r, bottom.r, a), Mix(top.g, bottom.g, a), Mix(top.b, bottom.b, a)};
    for (int x = 0; x < width_; ++x) pixels_[static_cast<size_t>(y) * width_ + x] = c;
  }
}

std::vector<uint8_t> EncodeBmp24(const Picture& picture) {
  const size_t rowSize = (static_cast<size_t>(picture.width()) * 3 + 3) & ~static_cast<size_t>(3);
  const size_t imageSize = rowSize * picture.height();
  const size_t fileSize = kFileHeaderSize + kInfoHeaderSize + imageSize;
  std::vector<uint8_t> out(fileSize, 0);
  uint8_t* f = out.data();
  f[0] = 'B';
  f[1] = 'M';
  PutLE32(f + 2, static_cast<int32_t>(fileSize));
  PutLE32(f + 10, static_cast<int32_t>(kFileHeaderSize + kInfoHeaderSize));  // pixel data offset
  uint8_t* info = f + kFileHeaderSize;
  PutLE32(info + 0, static_cast<int32_t>(kInfoHeaderSize));
  PutLE32(info + 4, picture.width());
  PutLE32(info + 8, picture.height());  // positive: bottom row first
  PutLE16(info + 12, 1);                // planes
  PutLE16(info + 14, 24);               // bits per pixel
  PutLE32(info + 16, 0);                // BI_RGB
  PutLE32(info + 20, static_cast<int32_t>(imageSize));
  PutLE32(info + 24, 2835);             // 72 dpi
  PutLE32(info + 28, 2835);
  uint8_t* pixels = info + kInfoHeaderSize;
  for (int y = 0; y < picture.height(); ++y) {
    uint8_t* row = pixels + rowSize * (picture.height() - 1 - y);
    for (int x = 0; x < picture.width(); ++x) {
      const Rgb c = picture.at(x, y);
      row[3 * x + 0] = c.b;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.r;
    }
  }
  return out;
}

std::string SceneFileName(int index) {
  static const char* const kNames[kSceneCount] = {"01-reef.bmp", "02-kelp.bmp", "03-jellies.bmp",
                                                  "04-shoal.bmp"};
  return (index >= 0 && index < kSceneCount) ? kNames[index] : "";
}

Picture PaintScene(int index, int width, int height) {
  Picture p(width, height);
  const int s = height / 10 > 4 ? height / 10 : 4;  // fish size follows the picture
  switch (index) {
    case 0:  // reef: warm fish over sand
      p.verticalGradient(Rgb{20, 110, 170}, Rgb{5, 30, 70});
      Sand(p, Rgb{200, 180, 120});
      p.ellipse(width / 5, height - height / 6, width / 8, height / 7, Rgb{220, 90, 110});
      p.ellipse(width * 4 / 5, height - height / 7, width / 10, height / 9, Rgb{240, 160, 60});
      Fish(p, width / 3, height / 3, s, Rgb{255, 140, 0}, true);
      Fish(p, width * 2 / 3, height / 2, s * 3 / 4, Rgb{250, 220, 40}, false);
      Bubbles(p, 11, 24);
      break;
    case 1:  // kelp forest
      p.verticalGradient(Rgb{60, 150, 120}, Rgb{5, 40, 35});
      Sand(p, Rgb{150, 140, 100});
      for (int k = 0; k < 6; ++k) Kelp(p, width * (2 * k + 1) / 12, height * (5 + k % 3) / 9,
                                       Rgb{30, static_cast<uint8_t>(110 + 15 * k), 40});
      Fish(p, width / 2, height / 4, s, Rgb{200, 200, 220}, true);
      Bubbles(p, 23, 16);
      break;
    case 2:  // jellies in deep water
      p.verticalGradient(Rgb{30, 20, 90}, Rgb{2, 2, 20});
      for (int j = 0; j < 5; ++j) {
        const int cx = width * (j + 1) / 6;
        const int cy = height * (2 + (j * 3) % 5) / 8;
        p.ellipse(cx, cy, s, s * 2 / 3, Rgb{230, 120, 230}, 170);
        for (int t = -2; t <= 2; ++t) {
          for (int i = 0; i < 2 * s; ++i) {
            p.blend(cx + t * s / 3 + static_cast<int>(2 * std::sin(i / 4.0)), cy + s / 2 + i,
                    Rgb{240, 170, 240}, 140);
          }
        }
      }
      Bubbles(p, 37, 10);
      break;
    default: {  // a shoal of small fish
      p.verticalGradient(Rgb{90, 180, 220}, Rgb{10, 60, 110});
      Lcg rnd(41);
      for (int f = 0; f < 14; ++f) {
        Fish(p, width / 6 + rnd.next(width * 2 / 3), height / 6 + rnd.next(height * 2 / 3),
             s / 2 + 2, Rgb{190, 200, 210}, true);
      }
      Bubbles(p, 53, 20);
      break;
    }
  }
  return p;
}

Picture PaintPresentation(int width, int height) {
  Picture p(width, height);
  p.verticalGradient(Rgb{30, 140, 200}, Rgb{5, 25, 70});
  Sand(p, Rgb{210, 190, 130});
  const int s = height / 8 > 4 ? height / 8 : 4;
  Fish(p, width / 3, height / 2, s, Rgb{255, 130, 0}, true);
  Fish(p, width * 2 / 3, height / 3, s * 2 / 3, Rgb{250, 230, 60}, false);
  Bubbles(p, 7, 30);
  return p;
}

}  // namespace ss::sample
