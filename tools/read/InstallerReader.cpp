#include "tools/read/InstallerReader.h"

#include <algorithm>
#include <utility>

#include "codec/Codec.h"
#include "tools/common/PackCodec.h"
#include "tools/pe/PeImage.h"
#include "tools/read/StubImage.h"

namespace ss::pack {
namespace {

// An item the installer refuses with `code`.
ItemRead Refused(std::string message, Result code) {
  ItemRead read;
  read.result = ToolResult::Fault(std::move(message));
  read.code = code;
  return read;
}

// An item that would take the output past the limit: the installer goes on.
ItemRead PastLimit(std::string message) {
  ItemRead read;
  read.result = ToolResult::Fault(std::move(message));
  read.overLimit = true;
  return read;
}

// Expands `length` imploded bytes as the installer does: its output stops
// once it passes originalSize, so an overrun leaves one byte more. The
// installer's ExpandedRule judges what came out; a refusal names the size as
// sizeWords + originalSize. Past `maxOutput` bytes (below originalSize) the
// expansion stops unjudged: overLimit.
ItemRead ExpandAsInstaller(const uint8_t* data, int64_t length, int32_t originalSize, const char* sizeWords,
                           std::vector<uint8_t>* out, uint64_t maxOutput) {
  const size_t limit = static_cast<size_t>(std::max<int32_t>(originalSize, 0));
  if (maxOutput < limit) {
    // A stream that ends within maxOutput is judged as the installer judges
    // it; one that goes on is stopped there, whatever it would come to.
    const unsigned rc = codec::ExplodeBuffer(data, static_cast<size_t>(length), out, maxOutput);
    if (rc == codec::kCmpAbort) {
      out->clear();
      return PastLimit("it expands to more than " + std::to_string(maxOutput) + " bytes");
    }
  }
  const unsigned rc = codec::ExplodeBuffer(data, static_cast<size_t>(length), out, limit);
  const Result code = ExpandedRule(rc == codec::kCmpAbort ? static_cast<int64_t>(limit) + 1
                                                          : static_cast<int64_t>(out->size()),
                                   originalSize);
  if (code == kOk) return ItemRead();
  if (originalSize < 0) return Refused("its original size is negative", code);
  if (rc != codec::kCmpNoError) {
    std::vector<uint8_t> scratch;
    // the codec's words for it
    return Refused("its imploded bytes " + Explode(data, static_cast<size_t>(length), limit, &scratch).message(),
                   code);
  }
  return Refused("it expands to " + std::to_string(out->size()) + " bytes instead of " + sizeWords +
                     std::to_string(originalSize),
                 code);
}

// Stored bytes copied whole, unless they would pass maxOutput.
ItemRead CopyStored(const uint8_t* bytes, int64_t length, std::vector<uint8_t>* out, uint64_t maxOutput) {
  if (static_cast<uint64_t>(length) > maxOutput) {
    return PastLimit("its " + std::to_string(length) + " stored bytes are more than " + std::to_string(maxOutput));
  }
  out->assign(bytes, bytes + length);
  return ItemRead();
}

}  // namespace

std::string InstallerStops(Result code) {
  return code == kOk ? std::string() : " (the installer stops with code " + std::to_string(code) + ")";
}

ToolResult ReadInstaller(const std::vector<uint8_t>& file, InstallerView* view) {
  int32_t offset = 0;
  if (const ToolResult located = LocatePackage(file, &offset); !located.ok()) {
    // A sound stamp in a file too short for the header it names: the
    // installer's header rule gives the code it stops with.
    StubSlot slot;
    std::string stops;
    if (FindStubSlot(file, file.size(), &slot).ok()) {
      stops = InstallerStops(HeaderRule(static_cast<int64_t>(file.size()), slot.value));
    }
    return ToolResult::Fault(located.message() + stops);
  }
  view->packageOffset = offset;
  view->fileSize = file.size();
  view->header = TPackageHeader::Parse(file.data() + offset);
  // Only the headers: the program's import and export tables are no part of
  // the package, and a hostile program could make them costly to read.
  PeImage image;
  if (ReadPeImage(file, &image, PeHeadersOnly()).ok() && image.certificateSize != 0) {
    view->signatureOffset = image.certificateOffset;
    view->signatureSize = image.certificateSize;
  }
  return ToolResult();
}

ItemRead ReadSegment(const std::vector<uint8_t>& file, const TSegmentEntry& segment, std::vector<uint8_t>* out,
                     uint64_t maxOutput) {
  if (!segment.present()) {
    return Refused("the segment is absent (empty name)", SegmentNameRule(segment, std::string()));
  }
  if (Result rc = SegmentRangeRule(segment, static_cast<int64_t>(file.size())); rc != kOk) {
    return Refused("its bytes " + std::to_string(segment.startOffset) + " to " + std::to_string(segment.endOffset) +
                       " do not lie inside the file of " + std::to_string(file.size()) + " bytes",
                   rc);
  }
  const uint8_t* bytes = file.data() + segment.startOffset;
  if (!segment.compressed) return CopyStored(bytes, segment.storedLength(), out, maxOutput);
  return ExpandAsInstaller(bytes, segment.storedLength(), segment.originalSize, "its original size ", out,
                           maxOutput);
}

ToolResult ParseDataFile(const std::vector<uint8_t>& data, DataFileView* view) {
  // The installer reads the header and the table whole: a short read is the
  // runtime's error 100.
  if (data.size() < kSaverDataHeaderSize) {
    return ToolResult::Fault("the data file has " + std::to_string(data.size()) + " bytes, fewer than its " +
                             std::to_string(kSaverDataHeaderSize) + "-byte header" + InstallerStops(kIoReadPastEnd));
  }
  view->header = TSaverDataHeader::Parse(data.data());
  const int32_t count = view->header.entryCount();
  if (Result rc = EntryCountRule(count); rc != kOk) {
    return ToolResult::Fault("the data file's entry count " + std::to_string(count) + " lies outside 0 to " +
                             std::to_string(kMaxSaverEntries) + InstallerStops(rc));
  }
  const uint64_t tableEnd = kSaverDataHeaderSize + static_cast<uint64_t>(count) * kSaverFileEntrySize;
  if (tableEnd > data.size()) {
    return ToolResult::Fault("the data file's table of " + std::to_string(count) + " entries runs past its end" +
                             InstallerStops(kIoReadPastEnd));
  }
  view->entries.clear();
  for (int32_t i = 0; i < count; ++i) {
    DataEntryView e;
    e.number = i + 1;
    e.entry = TSaverFileEntry::Parse(data.data() + kSaverDataHeaderSize + kSaverFileEntrySize * i);
    e.copy = e.entry.entryType == TSaverFileEntry::kTypeCopy ||
             (i == 0 && view->header.contentKind() == TSaverDataHeader::kContentKindMovie);
    if (!e.copy && !e.entry.fileName.empty() &&
        ChunkRecordPlaceRule(e.entry.recordOffset, static_cast<int64_t>(data.size())) == kOk) {
      e.record = TChunkRecord::Parse(data.data() + e.entry.recordOffset);
      e.recordRead = true;
    }
    view->entries.push_back(e);
  }
  return ToolResult();
}

EntryVerdict PlainEntryVerdict(const DataEntryView& e, int64_t dataSize) {
  TSaverFileEntry plain = e.entry;
  plain.fileName = "x";
  return EntryRule(plain, e.record, dataSize);
}

std::string EntryOverlapText(const DataEntryView& e, const EntryVerdict& v, int earlier) {
  return "its chunk record and stored bytes (offsets " + std::to_string(e.entry.recordOffset) + " to " +
         std::to_string(v.dataStart + v.stored - 1) + ") overlap those of entry " + std::to_string(earlier) +
         ", which the installer has written by then; a file wanted twice is a copy (type 3), which reads "
         "no record" + InstallerStops(kErrSharedEntryBytes);
}

ItemRead ReadDataEntry(const std::vector<uint8_t>& data, const DataEntryView& e, std::vector<uint8_t>* out,
                       uint64_t maxOutput) {
  const int64_t size = static_cast<int64_t>(data.size());
  out->clear();
  if (!e.recordRead) {
    if (Result rc = ChunkRecordPlaceRule(e.entry.recordOffset, size); rc != kOk) {
      return Refused("its chunk record at " + std::to_string(e.entry.recordOffset) +
                         " does not lie inside the data file",
                     rc);
    }
    return ItemRead();  // a copy, or an entry without a name: no bytes of its own
  }
  // The name is the caller's to judge (extract makes every name safe); the
  // installer's rule judges the rest as it would for a plain name, which
  // leaves two refusals: a negative size and stored bytes past the end.
  const EntryVerdict v = PlainEntryVerdict(e, size);
  if (v.code == kErrWrongSize) return Refused("its original size is negative", v.code);
  if (v.code != kOk) {
    return Refused("its " + std::to_string(e.record.storedLength()) +
                       " stored bytes run past the end of the data file",
                   v.code);
  }
  if (!v.writes) return ItemRead();
  const uint8_t* bytes = data.data() + v.dataStart;
  if (!e.record.compressed) return CopyStored(bytes, v.stored, out, maxOutput);
  return ExpandAsInstaller(bytes, v.stored, e.record.originalSize, "", out, maxOutput);
}

}  // namespace ss::pack
