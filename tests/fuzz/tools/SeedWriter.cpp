// Writes the seed corpora of sspack's reader fuzzers from real parts: Windows
// images (the stand-in library and program, a library with imports and
// exports as a linker lays them out, and the cross build's stub and library
// when their paths are given and exist), installers the builder makes with
// a stand-in stub and with the program stub, manifests as authors write
// them, and folders for "sspack init".
// Usage: sspack_fuzz_seeds DIR [WINDOWS-FILE...]
// (creates DIR/pe, DIR/extract and DIR/manifest).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/fuzz/tools/ManifestFuzzInput.h"
#include "tests/support/PackFixtures.h"
#include "tests/support/SeedCorpus.h"
#include "tools/common/FileIo.h"

namespace {

namespace fs = std::filesystem;
namespace pack = ss::pack;

using Corpus = sstest::SeedCorpus;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [WINDOWS-FILE...]\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  fs::remove_all(root);
  Corpus images(root / "pe");
  Corpus installers(root / "extract");
  Corpus manifests(root / "manifest");

  pack::StandInLibrary linked;
  linked.imports = {{"KERNEL32.dll", {"GetProcAddress", "LoadLibraryA", "CreateFileA", "ReadFile"}},
                    {"USER32.dll", {"MessageBoxA"}},
                    {"msvcrt.dll", {"memcpy", "malloc", "free"}}};
  pack::StandInLibrary tls;
  tls.tls = true;
  pack::StandInLibrary wide;
  wide.pe32Plus = true;
  wide.machine = 0x8664;
  wide.imports = {{"KERNEL32.dll", {"ExitProcess"}}};
  std::vector<std::vector<uint8_t>> stubs = {pack::MakeFakeStub(256), pack::MakePeStub()};
  for (const pack::StandInLibrary& o : {pack::StandInLibrary(), linked, tls, wide}) {
    images.Add(pack::MakeStandInLibrary(o));
  }
  images.Add(pack::MakePeStub());
  // The cross build's files, when there is one: real programs and libraries.
  std::vector<uint8_t> realStub, realLibrary;
  for (int i = 2; i < argc; ++i) {
    std::vector<uint8_t> bytes;
    if (!pack::ReadWholeFile(argv[i], &bytes, 8 << 20).ok()) continue;
    images.Add(bytes);
    const std::string name = fs::path(argv[i]).filename().string();
    if (name == "ssinstall.exe") realStub = bytes;
    if (name == "impborl.dll") realLibrary = bytes;
  }

  // Installers from the builder: every presentation and form of storage,
  // a movie's copies, and a signed-style program stub.
  std::vector<pack::FixtureOptions> options(6);
  options[1].flashSetup = true;
  options[1].contentKind = 3;
  options[2].displayMode = ss::dmBitmap;
  options[2].compression = pack::Compression::kStore;
  options[2].entryCompression = pack::Compression::kStore;
  options[3].displayMode = ss::dmSilent;
  options[3].license = false;
  options[3].document = false;
  options[3].entryNames = {"a.txt"};
  options[4].entryNames = {"deep\\deeper\\deepest\\x.bin", "b.txt", "deep\\c.txt"};
  options[5].compression = pack::Compression::kCompress;
  options[5].entryCompression = pack::Compression::kCompress;
  if (!realStub.empty()) stubs.push_back(realStub);
  for (const std::vector<uint8_t>& stub : stubs) {
    for (pack::FixtureOptions o : options) {
      if (&stub == &stubs.back() && !realLibrary.empty()) o.library = realLibrary;
      std::vector<uint8_t> image;
      std::string error;
      if (!pack::BuildFixtureInstaller(stub, o, &image, &error)) {
        std::fprintf(stderr, "fixture refused: %s\n", error.c_str());
        return 1;
      }
      installers.Add(image);
    }
  }

  for (const std::string& text : fuzz::ManifestSeeds()) manifests.Add(text);
  std::printf("seeds: %zu images, %zu installers, %zu manifests and folders\n", images.size(), installers.size(),
              manifests.size());
  return images.size() > 0 && installers.size() > 0 ? 0 : 1;
}
