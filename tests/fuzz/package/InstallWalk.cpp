#include "tests/fuzz/package/InstallWalk.h"

#include <algorithm>
#include <cctype>

#include "package/SegmentTargets.h"
#include "tools/PackCodec.h"

namespace walk {
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

// Expands `count` imploded bytes as the reader does: the output is cut once
// it passes `originalSize`, and only an exact size counts.
bool ExpandsExactly(const uint8_t* bytes, size_t count, int32_t originalSize, std::vector<uint8_t>* out) {
  if (originalSize < 0) return false;
  std::string error;
  if (!ss::pack::Explode(bytes, count, static_cast<size_t>(originalSize), out, &error)) return false;
  return out->size() == static_cast<size_t>(originalSize);
}

// One segment written as ExtractSegment writes it; *bytes receives the file.
Result Extract(const std::vector<uint8_t>& file, const TSegmentEntry& s, Walk* w, std::vector<uint8_t>* bytes) {
  if (!s.present()) return ss::kErrSegmentNoName;
  const ss::TargetDirectories dirs{w->workDir, w->systemDir, w->installDir};
  const std::string target = ss::SegmentTargetPath(s, dirs);
  if (!ss::IsSafeSegmentName(s.name) || target.empty()) return ss::kErrBadEntryName;
  const int64_t n = s.storedLength();
  if (s.startOffset < 0 || n < 0 || s.startOffset + n > static_cast<int64_t>(file.size())) {
    return ss::kErrShortSegment;
  }
  const uint8_t* data = file.data() + s.startOffset;
  if (s.compressed) {
    if (!w->Exists(w->workDir + "impborl.dll")) return ss::kErrNoDecompressor;
    if (!ExpandsExactly(data, static_cast<size_t>(n), s.originalSize, bytes)) return ss::kErrWrongSize;
  } else {
    bytes->assign(data, data + n);
  }
  const std::string dir = target.substr(0, target.rfind('\\') + 1);
  w->Write(target, dir, false);
  return ss::kOk;
}

}  // namespace

bool Walk::Exists(const std::string& path) const { return files.count(Lower(path)) != 0; }

void Walk::Write(const std::string& path, const std::string& dir, bool nested) {
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

Result WalkDataFile(const std::vector<uint8_t>& data, bool movieStaged, Walk* w) {
  if (movieStaged) w->files.insert(Lower(w->workDir + "installer.swf"));
  // ReadSaverDataHeader, then OpenSaverDataFile.
  if (data.size() < ss::kSaverDataHeaderSize) return ss::kIoReadPastEnd;
  const ss::TSaverDataHeader header = ss::TSaverDataHeader::Parse(data.data());
  const int32_t count = header.entryCount();
  if (count < 0 || count > ss::kMaxSaverEntries) return ss::kErrBadEntryCount;
  if (ss::kSaverDataHeaderSize + static_cast<uint64_t>(count) * ss::kSaverFileEntrySize > data.size()) {
    return ss::kIoReadPastEnd;
  }
  std::vector<ss::TSaverFileEntry> entries(static_cast<size_t>(count) + 1);
  for (int32_t i = 1; i <= count; ++i) {
    entries[static_cast<size_t>(i)] = ss::TSaverFileEntry::Parse(
        data.data() + ss::kSaverDataHeaderSize + static_cast<size_t>(i - 1) * ss::kSaverFileEntrySize);
  }
  // ExpandSaverDataFile.
  if (count >= 1 && header.contentKind() == ss::TSaverDataHeader::kContentKindMovie) {
    entries[1].entryType = ss::TSaverFileEntry::kTypeCopy;
  }
  const std::string firstName = count >= 1 ? entries[1].fileName : std::string();
  for (int32_t i = 1; i <= count; ++i) {
    const ss::TSaverFileEntry& e = entries[static_cast<size_t>(i)];
    if (e.fileName.empty()) continue;
    if (e.entryType == ss::TSaverFileEntry::kTypeCopy) {
      if (!ss::IsSafeEntryName(e.fileName) || (i > 1 && !ss::IsSafeEntryName(firstName))) {
        return ss::kErrBadEntryName;
      }
      const std::string source = i == 1 ? w->workDir + "installer.swf" : w->installDir + firstName;
      const std::string destination = w->installDir + e.fileName;
      if (!w->Exists(source) && source != destination) return ss::kErrCopyEntry;
      w->Write(destination, w->installDir, true);
      continue;
    }
    // ExtractSaverEntry.
    if (e.recordOffset < 0 ||
        static_cast<uint64_t>(e.recordOffset) + ss::kChunkRecordSize > data.size()) {
      return ss::kIoReadPastEnd;
    }
    const ss::TChunkRecord r = ss::TChunkRecord::Parse(data.data() + e.recordOffset);
    if (r.originalSize == 0) continue;
    if (!ss::IsSafeEntryName(e.fileName)) return ss::kErrBadEntryName;
    if (r.originalSize < 0) return ss::kErrWrongSize;
    const int64_t start = static_cast<int64_t>(e.recordOffset) + ss::kChunkRecordSize;
    const int64_t stored = r.storedLength();
    if (stored < 0 || start + stored > static_cast<int64_t>(data.size())) return ss::kIoReadPastEnd;
    if (r.compressed) {
      std::vector<uint8_t> out;
      if (!ExpandsExactly(data.data() + start, static_cast<size_t>(stored), r.originalSize, &out)) {
        return ss::kErrWrongSize;
      }
    }
    w->Write(w->installDir + e.fileName, w->installDir, true);
  }
  // WriteSaverSettings.
  w->Write(w->installDir + "saver.dat", w->installDir, false);
  return ss::kOk;
}

Result WalkInstaller(const std::vector<uint8_t>& file, size_t packageOffset, Walk* w) {
  if (packageOffset > file.size() || file.size() - packageOffset < ss::kPackageHeaderSize) {
    return ss::kErrShortHeader;
  }
  TPackageHeader h = TPackageHeader::Parse(file.data() + packageOffset);
  if (!ss::IsSafeSegmentName(h.title)) return ss::kErrBadTitle;
  w->installDir = w->systemDir + h.title + " dir\\";
  std::vector<uint8_t> bytes;
  if (Result rc = Extract(file, h.segments[ss::kSegLibrary], w, &bytes); rc != ss::kOk) return rc;

  // Start-up of a quiet run.
  if (h.hasCompanionFile) {
    if (Result rc = Extract(file, h.segments[ss::kSegCompanion], w, &bytes); rc != ss::kOk) return rc;
  }
  if (h.flashVersionIndex > 1) return ss::kErrBadFlashIndex;
  if (h.carriesFlashSetup) {
    if (Result rc = Extract(file, h.segments[ss::kSegFlashSetup], w, &bytes); rc != ss::kOk) return rc;
  }
  if (h.displayMode != ss::dmSilent) {
    TSegmentEntry& p = h.segments[ss::kSegPresentation];
    if (!p.present()) return ss::kErrSegmentNoName;
    if (h.displayMode == ss::dmBitmap) p.name = ss::ReplaceExtension(p.name, ".BMP");
    if (h.displayMode == ss::dmJpeg) p.name = ss::ReplaceExtension(p.name, ".jpg");
    if (p.name.size() > ss::kMaxNameLength) p.name.resize(ss::kMaxNameLength);
    if (Result rc = Extract(file, p, w, &bytes); rc != ss::kOk) return rc;
  }

  // The install: segments 5 or 6 to 10, then the data file.
  std::vector<uint8_t> dataFile;
  for (int i = h.hasCompanionFile ? ss::kSegCompanion : ss::kSegEngine; i <= ss::kSegSupportLib2; ++i) {
    if (Result rc = Extract(file, h.segments[i], w, &bytes); rc != ss::kOk) return rc;
    if (i == ss::kSegDataFile) dataFile = bytes;
  }
  // The data file is read from where segment 8 was written.
  const std::string dataPath = ss::SegmentTargetPath(
      h.segments[ss::kSegDataFile], ss::TargetDirectories{w->workDir, w->systemDir, w->installDir});
  // Elsewhere (another segment type) the work directory has no such file:
  // the system's "file not found".
  if (dataPath != w->workDir + h.segments[ss::kSegDataFile].name) return 2;
  return WalkDataFile(dataFile, w->Exists(w->workDir + "installer.swf"), w);
}

}  // namespace walk
