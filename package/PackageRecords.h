// The records of the appended package and of the screen saver data file it
// carries.
//
//   installer file
//   +--------------------------+ 0
//   | installer program        |
//   +--------------------------+ PackageOffset (the program's own size)
//   | TPackageHeader (3152)    |   presentation settings, title,
//   |   11 x TSegmentEntry     |   segment table (absolute file offsets)
//   +--------------------------+
//   | segment data ...         |   each segment stored or imploded
//   +--------------------------+
//
//   screen saver data file (segment 8)
//   +--------------------------+ 0
//   | TSaverDataHeader (1240)  |   engine settings, entryCount, contentKind
//   | entryCount x             |
//   |   TSaverFileEntry (264)  |   type, name, offset of its chunk record
//   +--------------------------+
//   | TChunkRecord (44) + data |   one per entry that carries bytes
//   | ...                      |
//   +--------------------------+
//
// All integers are little-endian; every record is parsed from and written to
// a byte buffer of exactly its size.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ss {

constexpr size_t kPackageHeaderSize = 3152;
constexpr size_t kSegmentEntrySize = 280;
constexpr size_t kSaverDataHeaderSize = 1240;
constexpr size_t kSaverFileEntrySize = 264;
constexpr size_t kChunkRecordSize = 44;

constexpr int kSegmentCount = 11;
constexpr size_t kTitleSize = 64;
constexpr size_t kMaxNameLength = 255;      // length-prefixed names
constexpr int32_t kMaxSaverEntries = 1010;  // file entries of a data file
constexpr int kSaverEntrySlots = 1011;      // slot 0 is never used

// Presentation kinds (the header's displayMode).
enum DisplayMode : uint8_t {
  dmBitmap = 1,
  dmFlash = 2,  // 3 is treated alike
  dmFlashAlt = 3,
  dmSilent = 4,
  dmJpeg = 8,
};

// The role of a segment is fixed by its index in the table.
enum SegmentIndex : int {
  kSegInstaller = 0,
  kSegLibrary = 1,       // "impborl.dat", the decompression library
  kSegFlashSetup = 2,
  kSegPresentation = 3,
  kSegLicense = 4,
  kSegCompanion = 5,
  kSegEngine = 6,
  kSegSupportFile = 7,
  kSegDataFile = 8,
  kSegSupportLib1 = 9,
  kSegSupportLib2 = 10,
};

struct TSegmentEntry {
  std::string name;           // empty: the segment is absent
  int32_t startOffset = 0;    // absolute offset of the first stored byte
  int32_t endOffset = 0;      // absolute offset of the last stored byte (inclusive)
  int32_t segmentType = 0;    // target rule
  uint8_t compressed = 0;     // nonzero: the stored bytes are imploded
  int32_t packedSize = 0;
  int32_t originalSize = 0;   // size of the file after expansion

  bool present() const { return !name.empty(); }
  // endOffset - startOffset + 1, computed without overflow; may be <= 0 in a
  // damaged table.
  int64_t storedLength() const {
    return static_cast<int64_t>(endOffset) - static_cast<int64_t>(startOffset) + 1;
  }

  static TSegmentEntry Parse(const uint8_t* bytes);  // kSegmentEntrySize bytes
  // Writes kSegmentEntrySize bytes; the name is cut at 255 characters and the
  // bytes after it are zero.
  void Write(uint8_t* bytes) const;
};

struct TPackageHeader {
  uint8_t displayMode = dmSilent;
  uint8_t showLicense = 0;
  uint8_t hasCompanionFile = 0;
  uint8_t carriesFlashSetup = 0;
  uint8_t flashVersionIndex = 0;  // 0: Flash 7 r19, 1: Flash 8 r22
  uint8_t showDisplayProperties = 0;
  std::string title;              // at most 64 characters
  std::array<TSegmentEntry, kSegmentCount> segments;

  static TPackageHeader Parse(const uint8_t* bytes);  // kPackageHeaderSize bytes
  // Writes kPackageHeaderSize bytes; the title is cut at 64 characters.
  void Write(uint8_t* bytes) const;
};

// The data-file header is kept whole: the engine's settings pass through the
// installer untouched and are written out again as "saver.dat".
struct TSaverDataHeader {
  static constexpr size_t kEntryCountOffset = 212;
  static constexpr size_t kContentKindOffset = 1204;
  static constexpr int32_t kContentKindMovie = 3;  // entry 1 is the installer's movie
  // The engine's settings: every byte but the entry count and the content
  // kind, that is 212 + 988 + 32 bytes around those two values.
  static constexpr size_t kSettingsSize = kSaverDataHeaderSize - 8;
  using Settings = std::array<uint8_t, kSettingsSize>;

  std::array<uint8_t, kSaverDataHeaderSize> bytes{};

  int32_t entryCount() const;
  void setEntryCount(int32_t count);
  int32_t contentKind() const;
  void setContentKind(int32_t kind);
  Settings settings() const {
    Settings out{};
    const auto at = bytes.begin();
    std::copy(at, at + kEntryCountOffset, out.begin());
    std::copy(at + kEntryCountOffset + 4, at + kContentKindOffset, out.begin() + kEntryCountOffset);
    std::copy(at + kContentKindOffset + 4, bytes.end(), out.begin() + kContentKindOffset - 4);
    return out;
  }
  void setSettings(const Settings& settings) {
    const auto from = settings.begin();
    std::copy(from, from + kEntryCountOffset, bytes.begin());
    std::copy(from + kEntryCountOffset, from + kContentKindOffset - 4, bytes.begin() + kEntryCountOffset + 4);
    std::copy(from + kContentKindOffset - 4, settings.end(), bytes.begin() + kContentKindOffset + 4);
  }

  static TSaverDataHeader Parse(const uint8_t* bytes);
  void Write(uint8_t* out) const;
};

struct TSaverFileEntry {
  static constexpr uint8_t kTypeCopy = 3;  // produced by copying another file

  uint8_t entryType = 0;
  uint8_t entryFlags = 0;
  std::string fileName;        // relative to the install directory; may hold sub-folders
  int32_t recordOffset = 0;    // absolute offset of the chunk record in the data file

  // The name ends at its first zero byte, or after all 256 bytes.
  static TSaverFileEntry Parse(const uint8_t* bytes);
  // The name is cut at 255 characters so that it always ends with a zero.
  void Write(uint8_t* bytes) const;
};

struct TChunkRecord {
  std::array<char, 4> magic{{'C', 'H', 'U', 'N'}};
  int32_t chunkKind = 0;
  int32_t originalSize = 0;   // 0: nothing to write
  int32_t packedSize = 0;
  int32_t compressed = 0;

  // Number of bytes that follow the record.
  int64_t storedLength() const { return compressed ? packedSize : originalSize; }

  static TChunkRecord Parse(const uint8_t* bytes);
  void Write(uint8_t* bytes) const;
};

}  // namespace ss
