// Building an installer: the stub's bytes, then the package header at the
// stub's size, then the segments one after the other. Everything here works
// on bytes in memory; reading the author's files is the manifest's business
// (tools/manifest/Manifest.h). The same input always gives the same bytes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "package/PackageRecords.h"
#include "package/PackageRoles.h"

namespace ss::pack {

// How an item is stored: imploded when that saves space (the default), or
// always imploded, or always stored as it is.
enum class Compression { kAuto, kCompress, kStore };

// Reads "auto", "compress" or "store".
bool ParseCompression(const std::string& text, Compression* out);

struct SegmentInput {
  std::string name;            // as stored, in the ANSI code page
  std::vector<uint8_t> data;   // the file's bytes
  Compression compression = Compression::kAuto;
  std::string source;          // where the bytes came from, for messages
};

struct DataEntryInput {
  std::string name;            // relative, parts separated by backslashes, ANSI
  bool copy = false;           // entry type 3: produced by copying, carries no bytes
  std::vector<uint8_t> data;
  Compression compression = Compression::kAuto;
  std::string source;
};

// The 212 + 988 + 32 bytes of the data-file header that belong to the engine.
constexpr size_t kSaverSettingsSize = TSaverDataHeader::kSettingsSize;

struct DataFileInput {
  TSaverDataHeader::Settings settings{};
  int32_t contentKind = 0;
  // With content kind 3, entry 1 must be a copy entry: the installer makes
  // it by copying its presentation movie.
  std::vector<DataEntryInput> entries;
};

struct PackageInput {
  uint8_t displayMode = dmSilent;
  uint8_t flashVersionIndex = 0;
  bool showDisplayProperties = false;
  std::string title;             // ANSI, at most 64 characters
  std::string installerName;     // segment 0's name: the installer's file name
  // Segments 1 to 10; an empty optional is an absent segment. Segment 0
  // (the stub) is described by the builder.
  std::array<std::optional<SegmentInput>, kSegmentCount> segments;
};

// The faults that keep the installer from accepting a package built from
// `input`: the title, the names, the segments its flags require, and so on.
// Empty when the input is sound.
std::vector<std::string> CheckPackageInput(const PackageInput& input);
std::vector<std::string> CheckDataFileInput(const DataFileInput& input);

// Reports each item as it is packed: a text naming it, and its number and the
// count of items, so that a terminal can show progress.
using Progress = std::function<void(const std::string& item, size_t done, size_t total)>;

// Writes a screen saver data file. False with a message when an entry cannot
// be packed or the input has a fault. The entries are packed on `jobs`
// threads (0: DefaultJobs() of tools/common/ParallelJobs.h); the bytes are the same
// for every thread count. Progress then reports entries as they finish.
bool BuildSaverDataFile(const DataFileInput& input, std::vector<uint8_t>* out, std::string* error,
                        const Progress& progress = nullptr, unsigned jobs = 0);
// The same, freeing each entry's bytes as soon as they are laid out, so that
// the entries and the data file are not both held whole.
bool BuildSaverDataFile(DataFileInput&& input, std::vector<uint8_t>* out, std::string* error,
                        const Progress& progress = nullptr, unsigned jobs = 0);

// Writes stub + package into *out. The stub must pass CheckStub. False with a
// message on a fault of the input, the stub, or a size beyond 2 GiB. The
// segments are packed on `jobs` threads, as for BuildSaverDataFile.
bool BuildInstaller(const std::vector<uint8_t>& stub, const PackageInput& input,
                    std::vector<uint8_t>* out, std::string* error,
                    const Progress& progress = nullptr, unsigned jobs = 0);

// Packs bytes as `how` asks: *compressed tells which form *stored holds.
// Imploding uses the encoder that tools/common/PackCodec.h's ChooseEncoder picks.
bool PackBytes(const std::vector<uint8_t>& data, Compression how, std::vector<uint8_t>* stored,
               bool* compressed, std::string* error);

}  // namespace ss::pack
