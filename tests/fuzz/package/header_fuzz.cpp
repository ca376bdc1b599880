// The package header and its segment table from any 3152 bytes: parsing
// never fails, a parsed header written out and read again is the same
// header, and every name the installer's rules accept leads to a target that
// stays inside the directory its segment type names. The same for the title
// (engine file and install directory) and for data-file entry names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/PackageRecords.h"
#include "package/SegmentTargets.h"
#include "tests/fuzz/package/ReadingRun.h"

namespace {

const ss::TargetDirectories kDirs{"C:\\TEMP\\LMF1\\", "C:\\WINDOWS\\SYSTEM32\\",
                                  "C:\\WINDOWS\\SYSTEM32\\Title dir\\"};

void Require(bool ok) {
  if (!ok) std::abort();
}

bool SameSegment(const ss::TSegmentEntry& a, const ss::TSegmentEntry& b) {
  return a.name == b.name && a.startOffset == b.startOffset && a.endOffset == b.endOffset &&
         a.segmentType == b.segmentType && a.compressed == b.compressed && a.packedSize == b.packedSize &&
         a.originalSize == b.originalSize;
}

// The directory a target path lies in: one of the three, by its prefix.
const std::string* DirectoryOf(const std::string& target) {
  for (const std::string* d : {&kDirs.installDir, &kDirs.workDir, &kDirs.systemDir}) {
    if (target.compare(0, d->size(), *d) == 0) return d;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + std::min(size, ss::kPackageHeaderSize));
  bytes.resize(ss::kPackageHeaderSize, 0);
  const ss::TPackageHeader h = ss::TPackageHeader::Parse(bytes.data());

  // A round trip keeps every field the installer reads.
  std::vector<uint8_t> written(ss::kPackageHeaderSize);
  h.Write(written.data());
  const ss::TPackageHeader again = ss::TPackageHeader::Parse(written.data());
  Require(again.displayMode == h.displayMode && again.showLicense == h.showLicense &&
          again.hasCompanionFile == h.hasCompanionFile && again.carriesFlashSetup == h.carriesFlashSetup &&
          again.flashVersionIndex == h.flashVersionIndex &&
          again.showDisplayProperties == h.showDisplayProperties && again.title == h.title);
  Require(h.title.size() <= ss::kTitleSize);
  for (int i = 0; i < ss::kSegmentCount; ++i) {
    Require(SameSegment(h.segments[i], again.segments[i]));
    Require(h.segments[i].name.size() <= ss::kMaxNameLength);
  }

  // Accepted names keep their targets inside.
  for (const ss::TSegmentEntry& s : h.segments) {
    if (!ss::IsSafeSegmentName(s.name)) continue;
    const std::string target = ss::SegmentTargetPath(s, kDirs);
    if (target.empty()) continue;
    const std::string* dir = DirectoryOf(target);
    Require(dir != nullptr);
    Require(reading::StaysInside(target, *dir, false));
    // Renamed for a picture presentation, the name stays acceptable.
    for (const char* ext : {".BMP", ".jpg"}) {
      std::string renamed = ss::ReplaceExtension(s.name, ext);
      if (renamed.size() > ss::kMaxNameLength) renamed.resize(ss::kMaxNameLength);
      Require(reading::StaysInside(kDirs.workDir + renamed, kDirs.workDir, false) ==
              ss::IsSafeSegmentName(renamed));
    }
  }
  if (ss::IsSafeSegmentName(h.title)) {
    Require(reading::StaysInside(kDirs.systemDir + h.title + ".scr", kDirs.systemDir, false));
    Require(reading::StaysInside(kDirs.systemDir + h.title + " dir\\saver.dat", kDirs.systemDir, true));
  }

  // The rest of the input as a data-file entry name.
  if (size > ss::kPackageHeaderSize) {
    const std::string name(reinterpret_cast<const char*>(data) + ss::kPackageHeaderSize,
                           std::min<size_t>(size - ss::kPackageHeaderSize, 300));
    if (ss::IsSafeEntryName(name)) Require(reading::StaysInside(kDirs.installDir + name, kDirs.installDir, true));
  }
  return 0;
}
