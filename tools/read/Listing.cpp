#include "tools/read/Listing.h"

#include <cstdio>

#include "package/PackageRoles.h"
#include "package/SegmentTargets.h"
#include "tools/common/PackNames.h"

namespace ss::pack {
namespace {

std::string Padded(std::string s, size_t width, bool right = false) {
  if (s.size() >= width) return s;
  return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

}  // namespace

std::string QuotedName(const std::string& ansi) { return "\"" + DisplayName(ansi) + "\""; }

std::string TargetText(const TSegmentEntry& s) {
  TargetDirectories dirs;
  dirs.workDir = "work\\";
  dirs.systemDir = "system\\";
  dirs.installDir = "install\\";
  const std::string target = SegmentTargetPath(s, dirs);
  return target.empty() ? "none" : DisplayName(target);
}

std::string FormatInstaller(const InstallerView& view) {
  const TPackageHeader& h = view.header;
  auto yesNo = [](uint8_t v) { return v ? std::string("yes") : std::string("no"); };
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(view.packageOffset));
  std::string out;
  out += "File size:            " + std::to_string(view.fileSize) + " bytes\n";
  out += "Package offset:       " + std::to_string(view.packageOffset) + " (" + hex + ")\n";
  out += "Title:                " + QuotedName(h.title) + "\n";
  out += "Presentation:         " + std::to_string(h.displayMode) + " (" + DisplayModeText(h.displayMode) +
         ")\n";
  out += "Licence shown:        " + yesNo(h.showLicense) + "\n";
  out += "Companion file:       " + yesNo(h.hasCompanionFile) + "\n";
  out += "Flash setup carried:  " + yesNo(h.carriesFlashSetup) + "\n";
  out += "Flash version index:  " + std::to_string(h.flashVersionIndex) +
         (h.flashVersionIndex == 0   ? " (Flash 7 r19)"
          : h.flashVersionIndex == 1 ? " (Flash 8 r22)"
                                     : " (invalid)") +
         "\n";
  out += "Display Properties:   " + std::string(h.showDisplayProperties ? "offered" : "not offered") +
         "\n";
  out += "Signed:               " +
         (view.signatureSize == 0 ? std::string("no")
                                  : "yes (certificate table of " + std::to_string(view.signatureSize) +
                                        " bytes at " + std::to_string(view.signatureOffset) + ")") +
         "\n\n";
  out += "idx role           name                         type target                       "
         "storage         start        end     stored   original\n";
  for (int i = 0; i < kSegmentCount; ++i) {
    const TSegmentEntry& s = h.segments[i];
    std::string line = Padded(std::to_string(i), 3, true) + " " + Padded(SegmentRole(i), 14) + " ";
    if (!s.present()) {
      out += line + "(absent)\n";
      continue;
    }
    const int64_t stored = s.storedLength();
    line += Padded(DisplayName(s.name), 28) + " " + Padded(std::to_string(s.segmentType), 4, true) +
            " " + Padded(i == 0 ? std::string("-") : TargetText(s), 28) + " " +
            Padded(i == 0 ? "program" : s.compressed ? "compressed" : "stored", 10) + " " +
            Padded(std::to_string(s.startOffset), 10, true) + " " +
            Padded(std::to_string(s.endOffset), 10, true) + " " +
            Padded(std::to_string(stored), 10, true) + " " +
            Padded(std::to_string(s.originalSize), 10, true);
    out += line + "\n";
  }
  return out;
}

std::string FormatDataFile(const DataFileView& view) {
  std::string out;
  out += "Data file: " + std::to_string(view.header.entryCount()) + " entries, content kind " +
         std::to_string(view.header.contentKind()) + "\n";
  out += "  no type storage      packed   original name\n";
  for (const DataEntryView& e : view.entries) {
    std::string storage = "-";
    std::string packed = "-";
    std::string original = "-";
    if (e.copy) {
      storage = "copy";
    } else if (e.recordRead) {
      storage = e.record.compressed ? "compressed" : "stored";
      packed = std::to_string(e.record.storedLength());
      original = std::to_string(e.record.originalSize);
    } else if (!e.entry.fileName.empty()) {
      storage = "bad record";
    }
    out += Padded(std::to_string(e.number), 4, true) + " " +
           Padded(std::to_string(e.entry.entryType), 4, true) + " " + Padded(storage, 10) + " " +
           Padded(packed, 10, true) + " " + Padded(original, 10, true) + " " +
           (e.entry.fileName.empty() ? std::string("(no name: skipped)")
                                     : DisplayName(e.entry.fileName)) +
           "\n";
  }
  return out;
}

}  // namespace ss::pack
