#include "package/PackageRecords.h"

#include <algorithm>
#include <cstring>

#include "package/ByteOrder.h"

namespace ss {
namespace {

// Field offsets. The record sizes they add up to are checked below.
constexpr size_t kSegName = 0, kSegStart = 256, kSegEnd = 260, kSegType = 264, kSegCompressed = 268,
                 kSegPacked = 272, kSegOriginal = 276;
constexpr size_t kHdrTitle = 6, kHdrSegments = 72;
constexpr size_t kEntType = 0, kEntFlags = 1, kEntName = 2, kEntNameSize = 256, kEntOffset = 260;
constexpr size_t kChkMagic = 0, kChkKind = 4, kChkOriginal = 8, kChkPacked = 12, kChkCompressed = 16;

static_assert(kSegOriginal + 4 == kSegmentEntrySize, "segment entry is 280 bytes");
static_assert(kHdrSegments + kSegmentCount * kSegmentEntrySize == kPackageHeaderSize,
              "package header is 3152 bytes");
static_assert(kHdrTitle + kTitleSize + 2 == kHdrSegments, "title and padding end at 72");
static_assert(kEntOffset + 4 == kSaverFileEntrySize, "file entry is 264 bytes");
static_assert(kEntName + kEntNameSize + 2 == kEntOffset, "name and padding end at 260");
static_assert(kChkCompressed + 4 + 24 == kChunkRecordSize, "chunk record is 44 bytes");
static_assert(TSaverDataHeader::kContentKindOffset + 4 + 32 == kSaverDataHeaderSize,
              "data-file header is 1240 bytes");

// A zero-terminated text in a fixed field: it ends at the first zero or at
// the end of the field.
std::string FixedText(const uint8_t* p, size_t size) {
  const uint8_t* end = std::find(p, p + size, uint8_t{0});
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
}

void PutFixedText(uint8_t* p, size_t size, const std::string& text) {
  std::memset(p, 0, size);
  std::memcpy(p, text.data(), std::min(size, text.size()));
}

}  // namespace

TSegmentEntry TSegmentEntry::Parse(const uint8_t* b) {
  TSegmentEntry e;
  // Length byte, then that many characters; the bytes after them are
  // leftovers of the build tool and mean nothing.
  const size_t length = b[kSegName];
  e.name.assign(reinterpret_cast<const char*>(b + kSegName + 1), length);
  e.startOffset = GetLE32(b + kSegStart);
  e.endOffset = GetLE32(b + kSegEnd);
  e.segmentType = GetLE32(b + kSegType);
  e.compressed = b[kSegCompressed];
  e.packedSize = GetLE32(b + kSegPacked);
  e.originalSize = GetLE32(b + kSegOriginal);
  return e;
}

void TSegmentEntry::Write(uint8_t* b) const {
  std::memset(b, 0, kSegmentEntrySize);
  const size_t length = std::min(name.size(), kMaxNameLength);
  b[kSegName] = static_cast<uint8_t>(length);
  std::memcpy(b + kSegName + 1, name.data(), length);
  PutLE32(b + kSegStart, startOffset);
  PutLE32(b + kSegEnd, endOffset);
  PutLE32(b + kSegType, segmentType);
  b[kSegCompressed] = compressed;
  PutLE32(b + kSegPacked, packedSize);
  PutLE32(b + kSegOriginal, originalSize);
}

TPackageHeader TPackageHeader::Parse(const uint8_t* b) {
  TPackageHeader h;
  h.displayMode = b[0];
  h.showLicense = b[1];
  h.hasCompanionFile = b[2];
  h.carriesFlashSetup = b[3];
  h.flashVersionIndex = b[4];
  h.showDisplayProperties = b[5];
  h.title = FixedText(b + kHdrTitle, kTitleSize);
  for (int i = 0; i < kSegmentCount; ++i) {
    h.segments[i] = TSegmentEntry::Parse(b + kHdrSegments + i * kSegmentEntrySize);
  }
  return h;
}

void TPackageHeader::Write(uint8_t* b) const {
  std::memset(b, 0, kPackageHeaderSize);
  b[0] = displayMode;
  b[1] = showLicense;
  b[2] = hasCompanionFile;
  b[3] = carriesFlashSetup;
  b[4] = flashVersionIndex;
  b[5] = showDisplayProperties;
  PutFixedText(b + kHdrTitle, kTitleSize, title);
  for (int i = 0; i < kSegmentCount; ++i) {
    segments[i].Write(b + kHdrSegments + i * kSegmentEntrySize);
  }
}

int32_t TSaverDataHeader::entryCount() const { return GetLE32(bytes.data() + kEntryCountOffset); }
void TSaverDataHeader::setEntryCount(int32_t count) { PutLE32(bytes.data() + kEntryCountOffset, count); }
int32_t TSaverDataHeader::contentKind() const { return GetLE32(bytes.data() + kContentKindOffset); }
void TSaverDataHeader::setContentKind(int32_t kind) { PutLE32(bytes.data() + kContentKindOffset, kind); }

TSaverDataHeader TSaverDataHeader::Parse(const uint8_t* b) {
  TSaverDataHeader h;
  std::memcpy(h.bytes.data(), b, kSaverDataHeaderSize);
  return h;
}

void TSaverDataHeader::Write(uint8_t* out) const { std::memcpy(out, bytes.data(), kSaverDataHeaderSize); }

TSaverFileEntry TSaverFileEntry::Parse(const uint8_t* b) {
  TSaverFileEntry e;
  e.entryType = b[kEntType];
  e.entryFlags = b[kEntFlags];
  e.fileName = FixedText(b + kEntName, kEntNameSize);
  e.recordOffset = GetLE32(b + kEntOffset);
  return e;
}

void TSaverFileEntry::Write(uint8_t* b) const {
  std::memset(b, 0, kSaverFileEntrySize);
  b[kEntType] = entryType;
  b[kEntFlags] = entryFlags;
  PutFixedText(b + kEntName, kEntNameSize - 1, fileName);
  PutLE32(b + kEntOffset, recordOffset);
}

TChunkRecord TChunkRecord::Parse(const uint8_t* b) {
  TChunkRecord c;
  std::memcpy(c.magic.data(), b + kChkMagic, 4);
  c.chunkKind = GetLE32(b + kChkKind);
  c.originalSize = GetLE32(b + kChkOriginal);
  c.packedSize = GetLE32(b + kChkPacked);
  c.compressed = GetLE32(b + kChkCompressed);
  return c;
}

void TChunkRecord::Write(uint8_t* b) const {
  std::memset(b, 0, kChunkRecordSize);
  std::memcpy(b + kChkMagic, magic.data(), 4);
  PutLE32(b + kChkKind, chunkKind);
  PutLE32(b + kChkOriginal, originalSize);
  PutLE32(b + kChkPacked, packedSize);
  PutLE32(b + kChkCompressed, compressed);
}

}  // namespace ss
