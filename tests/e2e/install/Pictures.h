// Presentation pictures for the tests, made from a colour pattern: a 24-bit
// Windows bitmap file and a baseline JPEG file (libjpeg).
#pragma once

#include <cstdint>
#include <vector>

namespace e2e {

std::vector<uint8_t> MakeBitmapFile(int width, int height);
std::vector<uint8_t> MakeJpegFile(int width, int height);

}  // namespace e2e
