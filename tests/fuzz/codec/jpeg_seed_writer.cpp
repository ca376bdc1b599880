// Writes the JPEG decoder's fuzzing seeds into the folder given: small
// pictures made by libjpeg in each kind the decoder reads (grey, 4:4:4,
// 4:2:0, odd factors, progressive, optimised tables, restart intervals).
#include <cstdio>

#include "tests/support/JpegOracle.h"
#include "tests/support/SeedCorpus.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  sstest::SeedCorpus seeds(argv[1]);
  const unsigned factors[][6] = {
      {1, 1, 1, 1, 1, 1}, {2, 2, 1, 1, 1, 1}, {2, 1, 1, 2, 1, 2}, {1, 2, 1, 1, 1, 1}, {4, 1, 1, 1, 1, 1}};
  unsigned n = 0;
  for (unsigned comps : {1u, 3u}) {
    for (const auto& f : factors) {
      for (unsigned variant = 0; variant < 4; ++variant, ++n) {
        ss::test::JpegParams p;
        p.width = 5 + n % 23;
        p.height = 3 + n % 17;
        p.components = comps;
        p.quality = 20 + static_cast<int>(n * 7 % 80);
        for (unsigned c = 0; c < 3; ++c) {
          p.sampling[c][0] = f[c * 2];
          p.sampling[c][1] = f[c * 2 + 1];
        }
        p.progressive = variant & 1;
        p.optimize = variant == 2;
        p.restartMcus = variant >= 2 ? 2 : 0;
        std::vector<uint8_t> px(static_cast<size_t>(p.width) * p.height * comps);
        for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 29 + (i / 7) * 13 + n);
        seeds.Add(ss::test::EncodeJpeg(p, px));
      }
      if (comps == 1) break;
    }
  }
  std::printf("%zu seeds\n", seeds.size());
  return 0;
}
