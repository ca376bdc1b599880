#include "package/ReadingRules.h"

#include "package/SegmentTargets.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {

Result HeaderRule(int64_t packageSize, int32_t packageOffset) {
  if (packageOffset < 0 || packageSize - packageOffset < static_cast<int64_t>(kPackageHeaderSize)) {
    return kErrShortHeader;
  }
  return kOk;
}

Result TitleRule(const std::string& title) { return IsPlainTitle(title) ? kOk : kErrBadTitle; }

Result SystemFileRule(const TSegmentEntry& segment) {
  if (!segment.present()) return kOk;
  const SegmentTarget target = SegmentTargetOf(segment);
  return target.place == TargetPlace::kSystem && IsWindowsLibrary(target.name) ? kErrSystemLibrary : kOk;
}

Result SystemFilesRule(const TPackageHeader& header, int* refused) {
  // Segment 0 describes the installer program and is never written.
  for (int i = kSegLibrary; i < kSegmentCount; ++i) {
    if (Result rc = SystemFileRule(header.segments[i]); rc != kOk) {
      if (refused != nullptr) *refused = i;
      return rc;
    }
  }
  return kOk;
}

Result EngineNameRule(const std::string& engineName, const std::string& title) {
  if (engineName.empty()) return kOk;
  const std::string expected = title + ".scr";
  if (engineName.size() != expected.size()) return kErrEngineNameNotTitle;
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < expected.size(); ++i) {
    if (fold(engineName[i]) != fold(expected[i])) return kErrEngineNameNotTitle;
  }
  return kOk;
}

Result SegmentNameRule(const TSegmentEntry& segment, const std::string& target) {
  if (!segment.present()) return kErrSegmentNoName;
  if (!IsSafeSegmentName(segment.name) || target.empty()) return kErrBadEntryName;
  return kOk;
}

Result SegmentRangeRule(const TSegmentEntry& segment, int64_t packageSize) {
  const int64_t n = segment.storedLength();
  if (segment.startOffset < 0 || n < 0 || segment.startOffset + n > packageSize) return kErrShortSegment;
  return kOk;
}

Result ExpandedRule(int64_t size, int32_t originalSize) {
  if (size < 0) return kErrFileMissing;
  if (size != originalSize) return kErrWrongSize;
  return kOk;
}

Result EntryCountRule(int32_t count) {
  return count < 0 || count > kMaxSaverEntries ? kErrBadEntryCount : kOk;
}

Result CopiedEntryRule(const std::string& name, int number, const std::string& firstName) {
  if (!IsSafeEntryName(name) || (number > 1 && !IsSafeEntryName(firstName))) return kErrBadEntryName;
  return kOk;
}

Result ChunkRecordPlaceRule(int32_t recordOffset, int64_t dataSize) {
  if (recordOffset < 0 || recordOffset + static_cast<int64_t>(kChunkRecordSize) > dataSize) return kIoReadPastEnd;
  return kOk;
}

EntryVerdict EntryRule(const TSaverFileEntry& entry, const TChunkRecord& record, int64_t dataSize) {
  EntryVerdict v;
  if (record.originalSize == 0) return v;
  v.writes = true;
  if (!IsSafeEntryName(entry.fileName)) {
    v.code = kErrBadEntryName;
  } else if (record.originalSize < 0) {
    v.code = kErrWrongSize;
  } else {
    v.dataStart = static_cast<int64_t>(entry.recordOffset) + kChunkRecordSize;
    v.stored = record.storedLength();
    if (v.stored < 0 || v.dataStart + v.stored > dataSize) v.code = kIoReadPastEnd;
  }
  return v;
}

Result EntryOverlapRule(int number, int32_t recordOffset, const EntryVerdict& verdict,
                        std::vector<EntrySpan>* taken, int* earlier) {
  const EntrySpan span{recordOffset, verdict.dataStart + verdict.stored, number};
  for (const EntrySpan& t : *taken) {
    if (span.start < t.end && t.start < span.end) {
      if (earlier != nullptr) *earlier = t.number;
      return kErrSharedEntryBytes;
    }
  }
  taken->push_back(span);
  return kOk;
}

}  // namespace ss
