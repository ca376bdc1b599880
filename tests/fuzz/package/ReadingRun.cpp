#include "tests/fuzz/package/ReadingRun.h"

#include <algorithm>
#include <cctype>

#include "codec/Codec.h"
#include "package/ReadingRules.h"
#include "package/SegmentTargets.h"
#include "tools/pe/PeImage.h"

namespace reading {
namespace {

using ss::Result;
using ss::TPackageHeader;
using ss::TSegmentEntry;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsDevice(std::string part) {
  part = part.substr(0, part.find('.'));
  while (!part.empty() && part.back() == ' ') part.pop_back();
  part = Lower(part);
  for (const char* d : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (part == d) return true;
  }
  return part.size() == 4 && (part.rfind("com", 0) == 0 || part.rfind("lpt", 0) == 0) && part[3] >= '1' &&
         part[3] <= '9';
}

// Expands `count` imploded bytes as impborl.dll does for the reader (the
// same codec): the output stops once it passes `originalSize`. Returns the
// size of the file the expansion leaves: what came out before the stream
// ended or broke, and past `originalSize` when it overran.
int64_t Expand(const uint8_t* bytes, size_t count, int32_t originalSize, std::vector<uint8_t>* out) {
  const size_t limit = static_cast<size_t>(std::max(originalSize, 0));
  if (ss::codec::ExplodeBuffer(bytes, count, out, limit) == ss::codec::kCmpAbort) {
    return static_cast<int64_t>(limit) + 1;
  }
  return static_cast<int64_t>(out->size());
}

// Windows takes paths of at most 259 characters; a longer one gives the
// system's ERROR_FILENAME_EXCED_RANGE.
constexpr size_t kMaxPath = 259;
constexpr Result kPathTooLong = 206;

// One segment as ExtractSegment writes it; *bytes receives the file.
Result Extract(const std::vector<uint8_t>& file, const TSegmentEntry& s, Run* r, std::vector<uint8_t>* bytes) {
  const ss::TargetDirectories dirs{r->workDir, r->systemDir, r->installDir};
  const std::string target = s.present() ? ss::SegmentTargetPath(s, dirs) : std::string();
  if (Result rc = ss::SegmentNameRule(s, target); rc != ss::kOk) return rc;
  if (Result rc = ss::SegmentRangeRule(s, static_cast<int64_t>(file.size())); rc != ss::kOk) return rc;
  const uint8_t* data = file.data() + s.startOffset;
  const size_t n = static_cast<size_t>(s.storedLength());
  if (s.compressed) {
    if (!r->libraryLoads) return ss::kErrNoDecompressor;
    if (Result rc = ss::ExpandedRule(Expand(data, n, s.originalSize, bytes), s.originalSize); rc != ss::kOk) {
      return rc;
    }
  } else {
    bytes->assign(data, data + n);
  }
  if (target.size() > kMaxPath) return kPathTooLong;
  r->Write(target, target.substr(0, target.rfind('\\') + 1), false);
  return ss::kOk;
}

}  // namespace

bool Run::Exists(const std::string& path) const { return files.count(Lower(path)) != 0; }

void Run::Write(const std::string& path, const std::string& dir, bool nested) {
  written.push_back({path, dir, nested});
  files.insert(Lower(path));
}

bool StaysInside(const std::string& path, const std::string& dir, bool nested) {
  if (path.size() <= dir.size() || path.compare(0, dir.size(), dir) != 0) return false;
  const std::string rest = path.substr(dir.size());
  size_t parts = 0;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find_first_of("\\/", start);
    if (end == std::string::npos) end = rest.size();
    const std::string part = rest.substr(start, end - start);
    ++parts;
    if (part.empty() || part == "." || part == "..") return false;
    for (char ch : part) {
      const unsigned char c = static_cast<unsigned char>(ch);
      if (c < 32 || std::string("<>:\"|?*").find(ch) != std::string::npos) return false;
    }
    // Windows drops trailing dots and blanks: the file would be another one.
    if (part.back() == '.' || part.back() == ' ') return false;
    if (IsDevice(part)) return false;
    start = end + 1;
  }
  return nested || parts == 1;
}

Result DataFileRun(const std::vector<uint8_t>& data, bool movieStaged, Run* r) {
  if (movieStaged) r->files.insert(Lower(r->workDir + "installer.swf"));
  // ReadSaverDataHeader, then OpenSaverDataFile.
  if (data.size() < ss::kSaverDataHeaderSize) return ss::kIoReadPastEnd;
  const ss::TSaverDataHeader header = ss::TSaverDataHeader::Parse(data.data());
  const int32_t count = header.entryCount();
  if (Result rc = ss::EntryCountRule(count); rc != ss::kOk) return rc;
  if (ss::kSaverDataHeaderSize + static_cast<uint64_t>(count) * ss::kSaverFileEntrySize > data.size()) {
    return ss::kIoReadPastEnd;
  }
  std::vector<ss::TSaverFileEntry> entries(static_cast<size_t>(count) + 2);
  for (int32_t i = 1; i <= count; ++i) {
    entries[static_cast<size_t>(i)] = ss::TSaverFileEntry::Parse(
        data.data() + ss::kSaverDataHeaderSize + static_cast<size_t>(i - 1) * ss::kSaverFileEntrySize);
  }
  // ExpandSaverDataFile.
  if (header.contentKind() == ss::TSaverDataHeader::kContentKindMovie) {
    entries[1].entryType = ss::TSaverFileEntry::kTypeCopy;
  }
  const std::string firstName = entries[1].fileName;
  const int64_t size = static_cast<int64_t>(data.size());
  std::vector<ss::EntrySpan> taken;
  for (int32_t i = 1; i <= count; ++i) {
    const ss::TSaverFileEntry& e = entries[static_cast<size_t>(i)];
    if (e.fileName.empty()) continue;
    if (e.entryType == ss::TSaverFileEntry::kTypeCopy) {
      if (Result rc = ss::CopiedEntryRule(e.fileName, i, firstName); rc != ss::kOk) return rc;
      const std::string source = i == 1 ? r->workDir + "installer.swf" : r->installDir + firstName;
      const std::string destination = r->installDir + e.fileName;
      if (!r->Exists(source) && source != destination) return ss::kErrCopyEntry;
      if (destination.size() > kMaxPath) return ss::kErrCopyEntry;
      r->Write(destination, r->installDir, true);
      continue;
    }
    // ExtractSaverEntry.
    if (Result rc = ss::ChunkRecordPlaceRule(e.recordOffset, size); rc != ss::kOk) return rc;
    const ss::TChunkRecord record = ss::TChunkRecord::Parse(data.data() + e.recordOffset);
    const ss::EntryVerdict v = ss::EntryRule(e, record, size);
    if (v.code != ss::kOk) return v.code;
    if (!v.writes) continue;
    if (Result rc = ss::EntryOverlapRule(i, e.recordOffset, v, &taken); rc != ss::kOk) return rc;
    if (record.compressed) {
      std::vector<uint8_t> out;
      const int64_t expanded =
          Expand(data.data() + v.dataStart, static_cast<size_t>(v.stored), record.originalSize, &out);
      if (Result rc = ss::ExpandedRule(expanded, record.originalSize); rc != ss::kOk) return rc;
    }
    if (r->installDir.size() + e.fileName.size() > kMaxPath) return kPathTooLong;
    r->Write(r->installDir + e.fileName, r->installDir, true);
  }
  // WriteSaverSettings.
  r->Write(r->installDir + "saver.dat", r->installDir, false);
  return ss::kOk;
}

Result QuietRun(const std::vector<uint8_t>& file, size_t packageOffset, Run* r) {
  if (packageOffset > file.size()) return ss::kErrShortHeader;
  if (Result rc = ss::HeaderRule(static_cast<int64_t>(file.size()), static_cast<int32_t>(packageOffset));
      rc != ss::kOk) {
    return rc;
  }
  TPackageHeader h = TPackageHeader::Parse(file.data() + packageOffset);
  if (Result rc = ss::TitleRule(h.title); rc != ss::kOk) return rc;
  if (Result rc = ss::SystemFilesRule(h); rc != ss::kOk) return rc;
  if (Result rc = ss::EngineNameRule(h.segments[ss::kSegEngine].name, h.title); rc != ss::kOk) return rc;
  r->installDir = r->systemDir + h.title + " dir\\";
  std::vector<uint8_t> bytes;
  if (Result rc = Extract(file, h.segments[ss::kSegLibrary], r, &bytes); rc != ss::kOk) return rc;
  r->libraryLoads = ss::pack::DecompressionLibraryFault(bytes).empty();

  // Start-up of a quiet run (Flash player checks aside).
  if (h.hasCompanionFile) {
    if (Result rc = Extract(file, h.segments[ss::kSegCompanion], r, &bytes); rc != ss::kOk) return rc;
  }
  if (h.flashVersionIndex > 1) return ss::kErrBadFlashIndex;
  if (h.carriesFlashSetup) {
    if (Result rc = Extract(file, h.segments[ss::kSegFlashSetup], r, &bytes); rc != ss::kOk) return rc;
  }
  if (h.displayMode != ss::dmSilent) {
    TSegmentEntry& p = h.segments[ss::kSegPresentation];
    if (!p.present()) return ss::kErrSegmentNoName;
    if (h.displayMode == ss::dmBitmap) p.name = ss::ReplaceExtension(p.name, ".BMP");
    if (h.displayMode == ss::dmJpeg) p.name = ss::ReplaceExtension(p.name, ".jpg");
    if (p.name.size() > ss::kMaxNameLength) p.name.resize(ss::kMaxNameLength);
    if (Result rc = Extract(file, p, r, &bytes); rc != ss::kOk) return rc;
  }

  // The install: segments 5 or 6 to 10, then the data file.
  std::vector<uint8_t> dataFile;
  for (int i = h.hasCompanionFile ? ss::kSegCompanion : ss::kSegEngine; i <= ss::kSegSupportLib2; ++i) {
    if (Result rc = Extract(file, h.segments[i], r, &bytes); rc != ss::kOk) return rc;
    if (i == ss::kSegDataFile) dataFile = bytes;
  }
  // The data file is read from where segment 8 was written. Elsewhere
  // (another segment type) the work directory has no such file: the
  // system's "file not found".
  const std::string dataPath = ss::SegmentTargetPath(
      h.segments[ss::kSegDataFile], ss::TargetDirectories{r->workDir, r->systemDir, r->installDir});
  if (dataPath != r->workDir + h.segments[ss::kSegDataFile].name) return 2;
  return DataFileRun(dataFile, r->Exists(r->workDir + "installer.swf"), r);
}

}  // namespace reading
