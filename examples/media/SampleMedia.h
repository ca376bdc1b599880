// Pictures of the sample screen saver, painted by program: a few aquarium
// scenes (gradients, shapes) and the installer's presentation picture, and
// the 24-bit BMP files they are stored in. Portable; the build host runs it,
// so the sample carries no hand-made or downloaded media.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ss::sample {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// A picture in memory, top row first.
class Picture {
 public:
  Picture(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  Rgb at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  // Points outside the picture are ignored, so shapes may be cut by the edge.
  void set(int x, int y, Rgb colour);
  // Blends `colour` over the pixel with weight alpha (0 to 255).
  void blend(int x, int y, Rgb colour, int alpha);
  // A filled ellipse around (cx, cy), blended with weight alpha.
  void ellipse(int cx, int cy, int rx, int ry, Rgb colour, int alpha = 255);
  // A ring of thickness 1 to 2 pixels (bubbles).
  void ring(int cx, int cy, int radius, Rgb colour, int alpha);
  // Fills every row with the colour between top and bottom.
  void verticalGradient(Rgb top, Rgb bottom);

 private:
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

// The file bytes of a bottom-up 24-bit BMP: a 14-byte file header, a
// 40-byte information header, rows padded to four bytes.
std::vector<uint8_t> EncodeBmp24(const Picture& picture);

// The sample's scenes. `index` 0 to kSceneCount-1 picks the scene; each has a
// stable file name.
constexpr int kSceneCount = 4;
Picture PaintScene(int index, int width, int height);
std::string SceneFileName(int index);

// The picture shown by the installer while it installs.
Picture PaintPresentation(int width, int height);

}  // namespace ss::sample
