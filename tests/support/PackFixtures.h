// Small installers for tests: built through the real builder from generated
// files, never from bytes written by hand. The package reader's tests and the
// end-to-end tests use them with the real stub and library; the builder's own
// tests use a stand-in stub.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/build/PackageBuilder.h"

namespace ss::pack {

// A stand-in stub of `size` bytes (at least 128): "MZ", a stamped
// PackageOffset slot equal to `size`, and a filler pattern.
std::vector<uint8_t> MakeFakeStub(size_t size = 4096);

// Deterministic bytes: text-like (compresses well) or noise (does not).
std::vector<uint8_t> MakeTextBytes(size_t size, uint32_t seed);
std::vector<uint8_t> MakeNoiseBytes(size_t size, uint32_t seed);

// A stand-in for the decompression library: a minimal PE image (headers and
// one section holding the export table) whose exports do nothing. The
// defaults make a library that sspack accepts; the fields make the kinds
// it must refuse.
struct StandInLibrary {
  uint16_t machine = 0x014C;  // i386
  bool pe32Plus = false;
  bool dll = true;
  bool tls = false;
  std::vector<std::string> exports = {"_crc32", "_explode", "_implode"};
  // Functions imported by name, per library; when there are any, a second
  // section holds the import table as a linker lays it out.
  std::vector<std::pair<std::string, std::vector<std::string>>> imports;
};
std::vector<uint8_t> MakeStandInLibrary(const StandInLibrary& options = StandInLibrary());

// A stand-in stub that is a well-formed Windows program: the stand-in
// library's image marked as a program, with a PackageOffset slot stamped
// with its size inside its section. For tools that read the stub as Windows
// does, such as a signing tool.
std::vector<uint8_t> MakePeStub();

// A data-file entry that holds `data`, and one that the installer makes by
// copying its movie.
inline DataEntryInput Entry(std::string name, std::vector<uint8_t> data, Compression c = Compression::kAuto,
                            std::string source = {}) {
  return {std::move(name), false, std::move(data), c, std::move(source)};
}
inline DataEntryInput CopyEntry(std::string name) { return {std::move(name), true, {}, Compression::kAuto, {}}; }

struct FixtureOptions {
  std::string title = "Fixture Saver";
  std::string installerName = "Setup.exe";
  uint8_t displayMode = dmFlash;      // dmBitmap, dmFlash, dmSilent, dmJpeg
  bool license = true;
  bool document = true;
  bool flashSetup = false;
  uint8_t flashVersionIndex = 0;
  bool showDisplayProperties = true;
  Compression compression = Compression::kAuto;  // for every segment but 1
  // The data file: these entries (names with backslashes for sub-folders),
  // or, with contentKind 3, a copied movie entry first.
  int32_t contentKind = 0;
  std::vector<std::string> entryNames = {"readme.txt", "media\\picture.bin", "media\\deep\\a.txt"};
  Compression entryCompression = Compression::kAuto;
  // The library stored as segment 1; empty: MakeStandInLibrary().
  std::vector<uint8_t> library;
};

// The input the options describe; every file's bytes are generated.
PackageInput MakeFixtureInput(const FixtureOptions& options);

// Builds the fixture installer with the given stub. False with the
// builder's messages (one a line) when it refuses.
bool BuildFixtureInstaller(const std::vector<uint8_t>& stub, const FixtureOptions& options,
                           std::vector<uint8_t>* out, std::string* error);

}  // namespace ss::pack
