#include "tools/read/Extract.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "package/PackageRoles.h"
#include "package/ReadingRules.h"
#include "tools/common/FileIo.h"
#include "tools/common/PackNames.h"
#include "tools/read/Listing.h"
#include "tools/read/OutputMeter.h"

namespace ss::pack {
namespace {

namespace fs = std::filesystem;

// A new or empty folder to extract into, created when it does not exist.
ToolResult OpenFolder(const std::string& dir) {
  std::error_code ec;
  const fs::path root = fs::u8path(dir);
  if (fs::exists(fs::symlink_status(root, ec))) {
    if (!fs::is_directory(fs::symlink_status(root, ec)) || !fs::is_empty(root, ec)) {
      return ToolResult::WriteFault(dir + ": exists and is not an empty folder; extraction writes only into a new "
                                          "or empty folder, so that nothing there is overwritten");
    }
  }
  return MakeFolders(dir, "");
}

// Where segment i is written: "segments/NN-name". A name with folder parts
// would scatter the segments: each is kept flat.
std::string SegmentFileName(int i, const TSegmentEntry& s) {
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%02d-", i);
  std::string safe = SafeRelativePath(s.name);
  std::replace(safe.begin(), safe.end(), '/', '_');
  return std::string("segments/") + prefix + safe;
}

// One extraction into a usable folder. Every item is read whole, within what
// is left of the limit, before it is written: the one that would pass the
// limit ends the extraction, and no file is left half written. The steps
// that can meet the limit return false when they did.
class Extractor {
 public:
  Extractor(const std::vector<uint8_t>& file, const InstallerView& view, const std::string& dir, uint64_t maxOutput)
      : file_(file), view_(view), dir_(dir), root_(fs::u8path(dir)), meter_(maxOutput) {}

  void Run() {
    if (ExtractSegments() && haveDataFile_) ExtractDataFile();
  }

  std::vector<std::string> written;
  std::vector<std::string> problems;

 private:
  // Writes one item below the root; a clash with an earlier item of the same
  // name (names can differ only in letter case or in characters made safe)
  // gets a numbered name instead.
  void Put(const std::string& relative, const std::vector<uint8_t>& bytes) {
    const fs::path rel = fs::u8path(relative);
    const std::string parent = rel.parent_path().u8string();
    ToolResult result;
    if (!parent.empty() && !(result = MakeFolders(dir_, parent)).ok()) {
      problems.push_back(result.message());
      return;
    }
    for (int n = 1; n < 1000; ++n) {
      fs::path name = rel;
      if (n > 1) {
        name = rel.parent_path() /
               fs::u8path(rel.stem().u8string() + "~" + std::to_string(n) + rel.extension().u8string());
      }
      bool existed = false;
      result = WriteNewFile((root_ / name).u8string(), bytes, &existed);
      if (result.ok()) {
        written.push_back(name.generic_u8string());
        return;
      }
      if (!existed) break;
    }
    problems.push_back(result.message());
  }

  void StopAt(const std::string& item) { problems.push_back(meter_.Stop(item, "not written")); }

  bool Fits(uint64_t size, const std::string& item) {
    if (size <= meter_.left()) return true;
    StopAt(item);
    return false;
  }

  bool ExtractSegments() {
    for (int i = 0; i < kSegmentCount; ++i) {
      const TSegmentEntry& s = view_.header.segments[i];
      if (!s.present()) continue;
      const std::string item = SegmentLabel(i) + " " + QuotedName(s.name);
      std::vector<uint8_t> bytes;
      if (i == kSegInstaller) {
        if (!Fits(static_cast<uint64_t>(view_.packageOffset), item)) return false;
        bytes.assign(file_.begin(), file_.begin() + view_.packageOffset);
      } else if (const ItemRead read = ReadSegment(file_, s, &bytes, meter_.left()); !read.ok()) {
        if (read.overLimit) {
          StopAt(item);
          return false;
        }
        problems.push_back(item + ": " + read.result.message());
        continue;
      }
      meter_.Add(bytes.size());
      Put(SegmentFileName(i, s), bytes);
      if (i == kSegPresentation) movie_ = bytes;
      if (i == kSegDataFile) {
        dataFile_ = std::move(bytes);
        haveDataFile_ = true;
      }
    }
    return true;
  }

  // The data file's header as saver.dat, then its entries below data/.
  void ExtractDataFile() {
    DataFileView data;
    if (ToolResult parsed = ParseDataFile(dataFile_, &data); !parsed.ok()) {
      for (const std::string& message : parsed.messages()) problems.push_back(message);
      return;
    }
    if (!Fits(kSaverDataHeaderSize, "saver.dat")) return;
    meter_.Add(kSaverDataHeaderSize);
    Put("saver.dat", std::vector<uint8_t>(dataFile_.begin(), dataFile_.begin() + kSaverDataHeaderSize));
    for (const DataEntryView& e : data.entries) {
      if (!e.entry.fileName.empty() && !ExtractEntry(e)) return;
    }
  }

  bool ExtractEntry(const DataEntryView& e) {
    const std::string label = "data-file entry " + std::to_string(e.number) + " " + QuotedName(e.entry.fileName);
    std::vector<uint8_t> bytes;
    if (e.copy) {
      // As the installer does: entry 1 is the presentation movie, later
      // copies repeat entry 1's file.
      const std::vector<uint8_t>& repeated = e.number == 1 ? movie_ : first_;
      if (!Fits(repeated.size(), label)) return false;
      bytes = repeated;
    } else if (e.recordRead && e.record.originalSize == 0) {
      return true;  // the installer writes no file for it either
    } else {
      if (e.recordRead) {
        // Bytes an earlier entry was written from: the installer refuses
        // the package here, and extract writes them only once.
        const EntryVerdict v = PlainEntryVerdict(e, static_cast<int64_t>(dataFile_.size()));
        int earlier = 0;
        if (v.code == kOk && EntryOverlapRule(e.number, e.entry.recordOffset, v, &taken_, &earlier) != kOk) {
          problems.push_back(label + ": " + EntryOverlapText(e, v, earlier));
          return true;
        }
      }
      if (const ItemRead read = ReadDataEntry(dataFile_, e, &bytes, meter_.left()); !read.ok()) {
        if (read.overLimit) {
          StopAt(label);
          return false;
        }
        problems.push_back(label + ": " + read.result.message());
        return true;
      }
    }
    meter_.Add(bytes.size());
    if (e.number == 1) first_ = bytes;
    Put("data/" + SafeRelativePath(e.entry.fileName), bytes);
    return true;
  }

  const std::vector<uint8_t>& file_;
  const InstallerView& view_;
  const std::string dir_;
  const fs::path root_;
  OutputMeter meter_;
  std::vector<uint8_t> movie_;     // the presentation, which a copied entry 1 repeats
  std::vector<uint8_t> first_;     // entry 1's file, which later copies repeat
  std::vector<uint8_t> dataFile_;
  bool haveDataFile_ = false;
  std::vector<EntrySpan> taken_;   // the bytes the entries written so far read
};

}  // namespace

Extraction ExtractInstaller(const std::vector<uint8_t>& file, const std::string& dir, uint64_t maxOutput) {
  Extraction out;
  InstallerView view;
  out.result = ReadInstaller(file, &view);
  if (out.result.ok()) out.result = OpenFolder(dir);
  if (!out.result.ok()) return out;
  Extractor extractor(file, view, dir, maxOutput);
  extractor.Run();
  out.written = std::move(extractor.written);
  out.skipped = ToolResult::Faults(std::move(extractor.problems));
  return out;
}

}  // namespace ss::pack
