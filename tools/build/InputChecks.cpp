#include "tools/build/InputChecks.h"

#include <set>
#include <utility>
#include <vector>

#include "package/PackageRoles.h"
#include "package/ReadingRules.h"
#include "tools/common/PackNames.h"
#include "winsys/LMT_StringUtils.h"

namespace ss::pack {
namespace {

using Faults = std::vector<std::string>;

bool TooLarge(const std::vector<uint8_t>& data) {
  return data.size() > static_cast<size_t>(kMaxPackageOffset);
}

// The title, the installer's own name and the header's flags.
void CheckTitleAndFlags(const PackageInput& input, Faults* faults) {
  const std::string titleFault = TitleFault(input.title);
  if (!titleFault.empty()) faults->push_back("title " + QuotedUtf8(input.title) + ": " + titleFault);
  const std::string installerFault = FileNameFault(input.installerName);
  if (!installerFault.empty()) {
    faults->push_back("installer file name " + QuotedUtf8(input.installerName) + ": " +
                      installerFault);
  }
  if (!IsKnownDisplayMode(input.displayMode)) {
    faults->push_back("presentation kind " + std::to_string(input.displayMode) +
                      " is none of 1 (bitmap), 2 or 3 (Flash), 4 (none), 8 (JPEG)");
  }
  if (input.flashVersionIndex > 1) {
    faults->push_back("Flash version index " + std::to_string(input.flashVersionIndex) +
                      " is neither 0 (Flash 7) nor 1 (Flash 8)");
  }
}

// Every segment's name and size.
void CheckSegmentNames(const PackageInput& input, Faults* faults) {
  const auto& seg = input.segments;
  if (seg[kSegInstaller]) faults->push_back("segment 0 describes the stub and takes no file");
  for (int i = 1; i < kSegmentCount; ++i) {
    if (!seg[i]) continue;
    const std::string fault = FileNameFault(seg[i]->name);
    if (!fault.empty()) {
      faults->push_back(SegmentLabel(i) + " name " + QuotedUtf8(seg[i]->name) + ": " + fault);
    }
    if (TooLarge(seg[i]->data)) faults->push_back(SegmentLabel(i) + ": the file is larger than 2 GiB");
  }
}

void CheckLibrary(const PackageInput& input, Faults* faults) {
  const std::optional<SegmentInput>& library = input.segments[kSegLibrary];
  if (!library) {
    faults->push_back("segment 1 (library): the decompression library is missing");
    return;
  }
  if (library->name != "impborl.dat") {
    faults->push_back("segment 1 (library) must be named \"impborl.dat\"");
  }
  // The library expands every other item, so it cannot be imploded itself.
  if (library->compression == Compression::kCompress) {
    faults->push_back("segment 1 (library) cannot be compressed: it is the decompressor");
  }
}

void CheckFlashSetup(const PackageInput& input, Faults* faults) {
  const std::optional<SegmentInput>& setup = input.segments[kSegFlashSetup];
  // Any other name sends the file to the system directory as a ".dll".
  if (setup && !IsFlashSetupName(setup->name)) {
    faults->push_back("segment 2 (Flash setup) must be named " + FlashSetupNamesText() + ", not " +
                      QuotedUtf8(setup->name));
  }
}

// The presentation the display mode asks for, and nothing without one.
void CheckPresentation(const PackageInput& input, Faults* faults) {
  const uint8_t mode = input.displayMode;
  const std::optional<SegmentInput>& shown = input.segments[kSegPresentation];
  if (mode == dmSilent) {
    if (shown) faults->push_back("segment 3 (presentation): a package without presentation carries none");
    return;
  }
  if (!shown) {
    faults->push_back("segment 3 (presentation) is missing");
    return;
  }
  if (IsFlashMode(mode) && shown->name != "installer.swf") {
    faults->push_back("segment 3 (presentation): a Flash movie must be named \"installer.swf\"");
  }
  const std::string fault = PresentationFault(mode, shown->data);
  if (!fault.empty()) {
    faults->push_back("segment 3 (presentation)" +
                      (shown->source.empty() ? std::string() : " " + shown->source) + ": " + fault);
  }
}

// The install writes segments 6 to 10 in turn and stops at the first one
// without a name, so all of them must be there; the engine bears the title.
void CheckInstalledSegments(const PackageInput& input, Faults* faults) {
  const auto& seg = input.segments;
  for (int i = kSegEngine; i <= kSegSupportLib2; ++i) {
    if (!seg[i]) faults->push_back(SegmentLabel(i) + " is missing; the install needs it");
  }
  if (seg[kSegEngine] && EngineNameRule(seg[kSegEngine]->name, input.title) != kOk) {
    faults->push_back("segment 6 (engine) must be named after the title: " +
                      QuotedUtf8(input.title + ".scr"));
  }
}

// Segments that land in the same folder must not overwrite each other or
// the installer's own files there. The licence and companion file are
// staged in the work directory and later copied into the install directory.
void CheckFolderClashes(const PackageInput& input, Faults* faults) {
  const std::pair<std::vector<int>, std::vector<std::string>> folders[] = {
      {{kSegFlashSetup, kSegPresentation, kSegLicense, kSegCompanion, kSegDataFile},
       {"temp.dat", "impborl.dll"}},
      {{kSegLicense, kSegCompanion, kSegSupportFile, kSegSupportLib1, kSegSupportLib2},
       {"saver.dat"}}};
  const auto& seg = input.segments;
  for (const auto& folder : folders) {
    std::set<std::string> taken(folder.second.begin(), folder.second.end());
    for (int i : folder.first) {
      if (seg[i] && !taken.insert(AsciiLower(seg[i]->name)).second) {
        faults->push_back(SegmentLabel(i) + " name " + QuotedUtf8(seg[i]->name) +
                          " is already taken in the folder it is written to");
      }
    }
  }
}

void CheckDataFileSegment(const PackageInput& input, Faults* faults) {
  const std::optional<SegmentInput>& data = input.segments[kSegDataFile];
  if (!data) return;
  if (data->data.size() < kSaverDataHeaderSize) {
    faults->push_back("segment 8 (data file) is shorter than its " +
                      std::to_string(kSaverDataHeaderSize) + "-byte header");
  }
  if (AsciiLower(data->name) != AsciiLower(input.title + ".ssd")) {
    faults->push_back("segment 8 (data file) must be named after the title: " +
                      QuotedUtf8(input.title + ".ssd"));
  }
}

// One data-file entry; `seen` holds the names of the entries before it.
void CheckDataEntry(const DataEntryInput& e, size_t index, std::set<std::string>* seen,
                    Faults* faults) {
  const std::string label = "data-file entry " + std::to_string(index + 1) + " " + QuotedUtf8(e.name);
  const std::string fault = RelativePathFault(e.name);
  if (!fault.empty()) faults->push_back(label + ": " + fault);
  // Windows names ignore case: a second entry of the same name would
  // overwrite the first.
  if (!seen->insert(AsciiLower(e.name)).second) {
    faults->push_back(label + ": the name occurs twice (letter case does not count on Windows)");
  }
  if (e.copy && !e.data.empty()) {
    faults->push_back(label + ": an entry made by copying carries no bytes of its own");
  }
  if (!e.copy && e.data.empty()) {
    faults->push_back(label + (e.source.empty() ? "" : " (" + e.source + ")") +
                      ": the file is empty, and the installer creates no file for an empty "
                      "entry; remove it or give it content");
  }
  if (TooLarge(e.data)) faults->push_back(label + ": the file is larger than 2 GiB");
}

}  // namespace

std::string QuotedUtf8(const std::string& ansiName) { return "\"" + AnsiToUtf8(ansiName) + "\""; }

ToolResult CheckPackageInput(const PackageInput& input) {
  Faults faults;
  CheckTitleAndFlags(input, &faults);
  CheckSegmentNames(input, &faults);
  CheckLibrary(input, &faults);
  CheckFlashSetup(input, &faults);
  CheckPresentation(input, &faults);
  CheckInstalledSegments(input, &faults);
  CheckFolderClashes(input, &faults);
  CheckDataFileSegment(input, &faults);
  return ToolResult::Faults(std::move(faults));
}

ToolResult CheckDataFileInput(const DataFileInput& input) {
  Faults faults;
  if (input.entries.size() > static_cast<size_t>(kMaxSaverEntries)) {
    faults.push_back("the data file has " + std::to_string(input.entries.size()) +
                     " files; the installer takes at most " + std::to_string(kMaxSaverEntries));
  }
  if (input.contentKind == TSaverDataHeader::kContentKindMovie &&
      (input.entries.empty() || !input.entries[0].copy)) {
    faults.push_back("with content kind 3 the first data-file entry must stand for the movie");
  }
  std::set<std::string> seen;
  for (size_t i = 0; i < input.entries.size(); ++i) CheckDataEntry(input.entries[i], i, &seen, &faults);
  return ToolResult::Faults(std::move(faults));
}

}  // namespace ss::pack
