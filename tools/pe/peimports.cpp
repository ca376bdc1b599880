// peimports: prints what Windows files import, and with --floor checks it
// against what older systems export.
//
//   peimports FILE...
//   peimports --floor tests/fixtures/floor/win95.txt --floor ... FILE...
//
// Exit code: 0 when every file loads on every listed system, 1 when one does
// not (each finding printed), 2 for a file or list that cannot be read.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/FileIo.h"
#include "tools/pe/ImportFloor.h"
#include "tools/pe/PeImage.h"

namespace {

void Print(const ss::pack::FloorFile& file) {
  const ss::pack::PeImage& im = file.image;
  std::printf("%s: %s %s, system %u.%u, subsystem %u (%u.%u)%s\n", file.name.c_str(),
              im.pe32Plus ? "PE32+" : "PE32", im.isDll() ? "library" : "program", im.osMajor, im.osMinor,
              im.subsystem, im.subsystemMajor, im.subsystemMinor,
              im.hasTls ? ", thread-local storage directory" : "");
  for (const ss::pack::PeImport& lib : im.imports) {
    std::printf("  %s (%zu):", lib.library.c_str(), lib.names.size() + lib.ordinals.size());
    for (const std::string& name : lib.names) std::printf(" %s", name.c_str());
    for (unsigned ordinal : lib.ordinals) std::printf(" #%u", ordinal);
    std::printf("\n");
  }
  if (!im.exports.empty()) {
    std::printf("  exports (%zu):", im.exports.size());
    for (const std::string& name : im.exports) std::printf(" %s", name.c_str());
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<ss::pack::SystemExports> systems;
  std::vector<ss::pack::FloorFile> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--floor" && i + 1 < argc) {
      systems.emplace_back();
      if (const ss::pack::ToolResult read = ss::pack::ReadSystemExports(argv[++i], &systems.back()); !read.ok()) {
        std::fprintf(stderr, "peimports: %s\n", read.message().c_str());
        return 2;
      }
      continue;
    }
    std::vector<uint8_t> bytes;
    ss::pack::FloorFile file;
    file.name = arg.substr(arg.find_last_of("/\\") + 1);
    ss::pack::ToolResult read = ss::pack::ReadWholeFile(arg, &bytes);
    if (read.ok()) read = ss::pack::ReadPeImage(bytes, &file.image);
    if (!read.ok()) {
      std::fprintf(stderr, "peimports: %s: %s\n", arg.c_str(), read.message().c_str());
      return 2;
    }
    files.push_back(std::move(file));
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: peimports [--floor LIST]... FILE...\n");
    return 2;
  }
  int findings = 0;
  for (const ss::pack::FloorFile& file : files) {
    Print(file);
    for (const ss::pack::SystemExports& system : systems) {
      for (const std::string& line : ss::pack::FloorFindings(file, system, files)) {
        std::printf("REFUSED %s\n", line.c_str());
        ++findings;
      }
    }
  }
  if (!systems.empty()) {
    std::printf("%d file(s) on %zu system(s): %d finding(s)\n", static_cast<int>(files.size()), systems.size(),
                findings);
  }
  return findings == 0 ? 0 : 1;
}
