// Writes the seed corpora of the package fuzzers from the generators: sound
// installers the package builder makes from fixture options, and the
// hostile cases derived from them. Usage: package_fuzz_seeds DIR
// (creates DIR/installer, DIR/header and DIR/datafile).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/hostile/HostileCases.h"
#include "tests/support/PackFixtures.h"
#include "tests/support/SeedCorpus.h"
#include "tools/read/InstallerReader.h"

namespace {

namespace fs = std::filesystem;
namespace pack = ss::pack;

using Corpus = sstest::SeedCorpus;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  fs::remove_all(root);
  Corpus installers(root / "installer");
  Corpus headers(root / "header");
  Corpus dataFiles(root / "datafile");

  // A small stub keeps the inputs short; the offsets work alike.
  const std::vector<uint8_t> stub = pack::MakeFakeStub(256);
  std::vector<std::vector<uint8_t>> images;
  std::vector<pack::FixtureOptions> options(8);
  options[1].flashSetup = true;
  options[1].contentKind = 3;
  options[2].displayMode = ss::dmBitmap;
  options[3].displayMode = ss::dmJpeg;
  options[4].displayMode = ss::dmSilent;
  options[4].license = false;
  options[4].document = false;
  options[5].compression = pack::Compression::kStore;
  options[5].entryCompression = pack::Compression::kStore;
  options[6].compression = pack::Compression::kCompress;
  options[6].entryCompression = pack::Compression::kCompress;
  options[6].flashVersionIndex = 1;
  options[7].entryNames = {"a.txt"};
  for (const pack::FixtureOptions& o : options) {
    std::vector<uint8_t> image;
    std::string error;
    if (!pack::BuildFixtureInstaller(stub, o, &image, &error)) {
      std::fprintf(stderr, "fixture refused: %s\n", error.c_str());
      return 1;
    }
    images.push_back(image);
    dataFiles.Add(pack::MakeFixtureInput(o).segments[ss::kSegDataFile]->data);
  }
  std::vector<hostile::HostileCase> cases;
  std::string error;
  const std::vector<uint8_t> library = pack::MakeStandInLibrary();
  if (!hostile::MakeHostileCases(stub, library, &cases, &error)) {
    std::fprintf(stderr, "hostile cases: %s\n", error.c_str());
    return 1;
  }
  for (const hostile::HostileCase& c : cases) images.push_back(c.image);

  for (const std::vector<uint8_t>& image : images) {
    installers.Add(image);
    pack::InstallerView view;
    if (!pack::ReadInstaller(image, &view).ok()) continue;
    std::vector<uint8_t> header(image.begin() + view.packageOffset,
                                image.begin() + view.packageOffset + static_cast<std::ptrdiff_t>(ss::kPackageHeaderSize));
    headers.Add(header);
    std::vector<uint8_t> data;
    if (pack::ReadSegment(image, view.header.segments[ss::kSegDataFile], &data).ok()) dataFiles.Add(data);
  }
  // Headers followed by entry names for the name rules.
  for (const char* name : {"media\\deep\\a.txt", "..\\evil.txt", "a\\CON\\b", "sub/x", "a\\\\b", "nul.txt"}) {
    std::vector<uint8_t> seed(images.front().begin() + 256, images.front().begin() + 256 + ss::kPackageHeaderSize);
    seed.insert(seed.end(), name, name + std::char_traits<char>::length(name));
    headers.Add(seed);
  }
  std::printf("seeds: %zu installers, %zu headers, %zu data files\n", installers.size(), headers.size(),
              dataFiles.size());
  return 0;
}
