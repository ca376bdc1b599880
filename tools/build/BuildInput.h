// What an installer is built from: the package's flags, title and segments,
// and the entries of its screen saver data file, all as bytes in memory.
// Reading the author's files into them is the manifest's business
// (tools/manifest/ManifestReader.h); checking them is InputChecks.h's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/PackageRecords.h"
#include "package/PackageRoles.h"

namespace ss::pack {

// The largest offset or size the package's 32-bit fields hold.
constexpr int64_t kMaxPackageOffset = 0x7FFFFFFF;

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

}  // namespace ss::pack
