// sample_media: writes the sample screen saver's generated media into a
// folder: media/<scene>.bmp (the data file's pictures), presentation.bmp
// (shown by the installer), settings.bin (the data file's settings) and
// saver.dat (the header the installer writes from them, for running the
// engine without an install).
// Usage: sample_media OUT_DIR [--size WIDTHxHEIGHT]
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "examples/media/SampleMedia.h"
#include "examples/saver/SampleSettings.h"

namespace fs = std::filesystem;

namespace {

bool WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "sample_media: cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: sample_media OUT_DIR [--size WIDTHxHEIGHT]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) return Usage();
  int width = 320, height = 240;
  if (argc == 4) {
    if (std::strcmp(argv[2], "--size") != 0 || std::sscanf(argv[3], "%dx%d", &width, &height) != 2 ||
        width < 16 || height < 16 || width > 4096 || height > 4096) {
      return Usage();
    }
  }
  const fs::path out = argv[1];
  std::error_code ec;
  fs::create_directories(out / "media", ec);
  if (ec) {
    std::fprintf(stderr, "sample_media: cannot create %s: %s\n", (out / "media").string().c_str(),
                 ec.message().c_str());
    return 3;
  }
  for (int i = 0; i < ss::sample::kSceneCount; ++i) {
    const auto bmp = ss::sample::EncodeBmp24(ss::sample::PaintScene(i, width, height));
    if (!WriteAll(out / "media" / ss::sample::SceneFileName(i), bmp)) return 3;
  }
  if (!WriteAll(out / "presentation.bmp",
                ss::sample::EncodeBmp24(ss::sample::PaintPresentation(352, 240)))) {
    return 3;
  }
  std::vector<uint8_t> blob;
  std::string error;
  if (!ss::sample::EncodeSettingsBlob(ss::sample::SampleSettings{}, &blob, &error)) {
    std::fprintf(stderr, "sample_media: %s\n", error.c_str());
    return 1;
  }
  if (!WriteAll(out / "settings.bin", blob)) return 3;
  if (!WriteAll(out / "saver.dat", ss::sample::SaverDatFromBlob(blob, ss::sample::kSceneCount, 0))) {
    return 3;
  }
  std::printf("sample_media: wrote %d pictures, presentation.bmp, settings.bin and saver.dat in %s\n",
              ss::sample::kSceneCount, out.string().c_str());
  return 0;
}
