#include "tools/check/Verify.h"

#include <algorithm>
#include <set>
#include <utility>

#include "package/PackageRoles.h"
#include "package/ReadingRules.h"
#include "tools/common/PackNames.h"
#include "tools/pe/PeImage.h"
#include "tools/read/Listing.h"
#include "tools/read/OutputMeter.h"
#include "winsys/LMT_StringUtils.h"

namespace ss::pack {
namespace {

void Fault(std::vector<Finding>* f, const std::string& text) { f->push_back({true, text}); }
void Note(std::vector<Finding>* f, const std::string& text) { f->push_back({false, text}); }

// sspack's own fault: the output limit stopped the check ("" after the first).
void OverLimit(std::vector<Finding>* f, const std::string& text) {
  if (!text.empty()) f->push_back({true, text, true});
}

// Windows takes paths of at most 259 characters.
constexpr size_t kMaxPathLength = 259;

std::string PathTooLong(size_t length) {
  return "its target path has at least " + std::to_string(length) + " characters, more than Windows allows (" +
         std::to_string(kMaxPathLength) + ")";
}

// Every check on a data file (VerifyDataFile), entry by entry in the
// installer's order, counting what the entries expand to on `meter`; copies
// count as the file they repeat: the movie (movieSize bytes) for entry 1,
// entry 1's file for the others.
class DataFileCheck {
 public:
  DataFileCheck(const std::vector<uint8_t>& data, bool movieStaged, size_t installDirLength, uint64_t movieSize,
                OutputMeter* meter)
      : data_(data), movieStaged_(movieStaged), installDirLength_(installDirLength), movieSize_(movieSize),
        meter_(meter) {}

  std::vector<Finding> Run() {
    DataFileView view;
    if (ToolResult parsed = ParseDataFile(data_, &view); !parsed.ok()) {
      Fault(&findings_, parsed.message());
      return std::move(findings_);
    }
    firstName_ = view.entries.empty() ? "" : view.entries[0].entry.fileName;
    firstSize_ = !view.entries.empty() && view.entries[0].copy ? movieSize_ : 0;
    for (const DataEntryView& e : view.entries) {
      const std::string& name = e.entry.fileName;
      if (name.empty()) {
        Note(&findings_, "data-file entry " + std::to_string(e.number) +
                             " has no name and is skipped by the installer");
        continue;
      }
      const std::string label = "data-file entry " + std::to_string(e.number) + " " + QuotedName(name);
      if (!CheckNameAndPlace(e, label)) continue;
      if (!names_.insert(AsciiLower(name)).second) {
        Note(&findings_, label + ": the name occurs more than once; the later entry overwrites");
      }
      if (!(e.copy ? CountCopy(e, label) : CheckEntryBytes(e, label))) break;
    }
    return std::move(findings_);
  }

 private:
  // The installer's order: a copy's names; for the others the chunk
  // record's place, then the entry rule (name, size, stored bytes). Only
  // then is the target created and the bytes written. False when the entry
  // is done with: refused, or one that writes no file.
  bool CheckNameAndPlace(const DataEntryView& e, const std::string& label) {
    const std::string& name = e.entry.fileName;
    Result named = kOk;
    bool created = e.copy;
    std::string why;
    if (e.copy) {
      named = CopiedEntryRule(name, e.number, firstName_);
      if (named != kOk && IsSafeEntryName(name)) {
        why = firstName_.empty() ? "it is a copy of entry 1, which has no name"
                                 : "it is a copy of entry 1, whose name " + QuotedName(firstName_) +
                                       " the installer refuses";
      }
    } else if (e.recordRead) {
      const EntryVerdict v = EntryRule(e.entry, e.record, static_cast<int64_t>(data_.size()));
      if (!v.writes) {
        Note(&findings_, label + ": its original size is 0; the installer creates no file");
        return false;
      }
      if (v.code == kErrBadEntryName) named = v.code;
      created = v.code == kOk;
      int earlier = 0;
      if (v.code == kOk && EntryOverlapRule(e.number, e.entry.recordOffset, v, &taken_, &earlier) != kOk) {
        Fault(&findings_, label + ": " + EntryOverlapText(e, v, earlier));
        return false;
      }
    }
    if (named != kOk) {
      Fault(&findings_, label + ": " + (why.empty() ? RelativePathFault(name) : why) + InstallerStops(named));
      return false;
    }
    if (created && installDirLength_ > 0 && installDirLength_ + name.size() > kMaxPathLength) {
      Fault(&findings_, label + ": " + PathTooLong(installDirLength_ + name.size()));
      return false;
    }
    return true;
  }

  // A copy needs the file it repeats; it costs verify nothing, but it is
  // written all the same. False when it passes the output limit.
  bool CountCopy(const DataEntryView& e, const std::string& label) {
    if (e.number == 1 && !movieStaged_) {
      Fault(&findings_, label + ": it is a copy of the installer's movie, but the package "
                                "stages no Flash movie \"installer.swf\"" + InstallerStops(kErrCopyEntry));
      return true;
    }
    const uint64_t size = e.number == 1 ? movieSize_ : firstSize_;
    std::string stop;
    if (!meter_->Fits(size, label, "not counted", &stop)) {
      OverLimit(&findings_, stop);
      return false;
    }
    meter_->Add(size);
    return true;
  }

  // The entry's own bytes, expanded and judged. False when they pass the
  // output limit.
  bool CheckEntryBytes(const DataEntryView& e, const std::string& label) {
    std::vector<uint8_t> bytes;
    const ItemRead read = ReadDataEntry(data_, e, &bytes, meter_->left());
    if (read.overLimit) {
      OverLimit(&findings_, meter_->Stop(label, "not expanded"));
      return false;
    }
    meter_->Add(bytes.size());
    if (!read.ok()) {
      Fault(&findings_, label + ": " + read.result.message() + InstallerStops(read.code));
    } else if (e.number == 1) {
      firstSize_ = bytes.size();
    }
    return true;
  }

  const std::vector<uint8_t>& data_;
  const bool movieStaged_;
  const size_t installDirLength_;
  const uint64_t movieSize_;
  OutputMeter* meter_;
  std::vector<Finding> findings_;
  std::set<std::string> names_;  // lower-cased, as Windows compares them
  std::string firstName_;
  uint64_t firstSize_ = 0;         // what a later copy repeats: entry 1's file
  std::vector<EntrySpan> taken_;   // the bytes the entries written so far read
};

// Every check on an installer (VerifyInstaller), group by group in the order
// the installer meets them: the header, the segments it asks for, each
// segment's target and bytes, the roles' rules, then the layout of the file.
class InstallerCheck {
 public:
  InstallerCheck(const std::vector<uint8_t>& file, uint64_t maxOutput) : file_(file), meter_(maxOutput) {}

  std::vector<Finding> Run() {
    if (ToolResult read = ReadInstaller(file_, &view_); !read.ok()) {
      Fault(&findings_, read.message());
      return std::move(findings_);
    }
    CheckHeader();
    FindNeededSegments();
    // The directories at their shortest: a longer path than Windows takes is
    // refused wherever the installer runs.
    shortest_ = ShortestDirectories(view_.header.title);
    NoteInstallerSegment();
    for (int i = 1; i < kSegmentCount; ++i) CheckSegment(i);
    CheckRoles();
    NoteSystemFiles();
    NoteLayout();
    return std::move(findings_);
  }

 private:
  // What the installer refuses as soon as it has read the header.
  void CheckHeader() {
    const TPackageHeader& h = view_.header;
    if (!IsKnownDisplayMode(h.displayMode)) {
      Note(&findings_, "presentation kind " + std::to_string(h.displayMode) +
                           " is none of 1, 2, 3, 4, 8; the installer stages segment 3 and shows nothing");
    }
    if (h.flashVersionIndex > 1) {
      Fault(&findings_, "Flash version index " + std::to_string(h.flashVersionIndex) + " is neither 0 nor 1" +
                            InstallerStops(kErrBadFlashIndex));
    }
    if (Result rc = TitleRule(h.title); rc != kOk) {
      Fault(&findings_, "title " + QuotedName(h.title) + ": " + TitleFault(h.title) + InstallerStops(rc));
    }
    // The engine is activated by its entry's name, removed from the list of
    // programs by the title's: the installer refuses the two disagreeing.
    if (Result rc = EngineNameRule(h.segments[kSegEngine].name, h.title); rc != kOk) {
      Fault(&findings_, SegmentLabel(kSegEngine) + " " + QuotedName(h.segments[kSegEngine].name) +
                            " must be named " + QuotedName(h.title + ".scr") + ", after the title" +
                            InstallerStops(rc));
    }
    // Windows' own libraries, whichever segment names one.
    for (int i = kSegLibrary; i < kSegmentCount; ++i) {
      if (Result rc = SystemFileRule(h.segments[i]); rc != kOk) {
        Fault(&findings_, SegmentLabel(i) + " " + QuotedName(h.segments[i].name) + ": it would replace " +
                              QuotedName(SegmentTargetOf(h.segments[i]).name) + ", a library of Windows itself" +
                              InstallerStops(rc));
      }
    }
  }

  // Which segments the installer will ask for; an absent one stops it.
  void FindNeededSegments() {
    const TPackageHeader& h = view_.header;
    needed_ = {kSegLibrary};
    if (h.carriesFlashSetup) needed_.push_back(kSegFlashSetup);
    if (h.displayMode != dmSilent) needed_.push_back(kSegPresentation);
    if (h.showLicense) needed_.push_back(kSegLicense);
    if (h.hasCompanionFile) needed_.push_back(kSegCompanion);
    for (int i = kSegEngine; i <= kSegSupportLib2; ++i) needed_.push_back(i);
    for (int i : needed_) {
      if (Result rc = SegmentNameRule(h.segments[i], std::string()); rc == kErrSegmentNoName) {
        Fault(&findings_, SegmentLabel(i) + " is absent, but the installer needs it" + InstallerStops(rc));
      }
      // The installer loads segment 1 at the first compressed segment it reads.
      expands_ = expands_ || (i != kSegLibrary && h.segments[i].present() && h.segments[i].compressed);
    }
  }

  // A fault of segment i, when a run reads it; a segment no run reads cannot
  // stop the installer, so its faults are notes.
  void SegmentFault(int i, const std::string& text, Result code = kOk) {
    if (std::find(needed_.begin(), needed_.end(), i) != needed_.end()) {
      Fault(&findings_, text + InstallerStops(code));
    } else {
      Note(&findings_, text + " (the installer never reads it)");
    }
  }

  void NoteInstallerSegment() {
    const TSegmentEntry& self = view_.header.segments[kSegInstaller];
    if (self.startOffset != 0 || self.endOffset != view_.packageOffset - 1 ||
        self.originalSize != view_.packageOffset) {
      Note(&findings_, SegmentLabel(kSegInstaller) + " does not describe the stub's " +
                           std::to_string(view_.packageOffset) + " bytes");
    }
  }

  void CheckSegment(int i) {
    const TSegmentEntry& s = view_.header.segments[i];
    if (!s.present()) return;
    const std::string label = SegmentLabel(i) + " " + QuotedName(s.name);
    if (!CheckTarget(i, label)) return;
    std::vector<uint8_t> bytes;
    const ItemRead read = ReadSegment(file_, s, &bytes, meter_.left());
    if (read.overLimit) {
      OverLimit(&findings_, meter_.Stop(label, "not expanded"));
      return;
    }
    meter_.Add(bytes.size());
    if (read.code == kErrShortSegment) {
      SegmentFault(i, label + ": " + read.result.message(), read.code);
      return;
    }
    NotePlace(s, label);
    if (!read.ok()) {
      SegmentFault(i, label + ": " + read.result.message(), read.code);
      return;
    }
    if (i == kSegLibrary) CheckLibraryBytes(label, bytes);
    if (i == kSegPresentation) CheckPresentationBytes(label, bytes);
    if (i == kSegDataFile) CheckDataFile(bytes);
  }

  // Where segment i is written: a name and type the installer can write, a
  // path Windows takes. False when it cannot be written.
  bool CheckTarget(int i, const std::string& label) {
    const TSegmentEntry& s = view_.header.segments[i];
    const std::string target = SegmentTargetPath(s, shortest_);
    if (Result named = SegmentNameRule(s, target); named != kOk) {
      SegmentFault(i, label + ": " + (!IsSafeSegmentName(s.name) ? FileNameFault(s.name)
                                      : "segment type " + std::to_string(s.segmentType) +
                                            " has no target, so the installer cannot write it"),
                   named);
      return false;
    }
    if (target.size() > kMaxPathLength) {
      SegmentFault(i, label + ": " + PathTooLong(target.size()));
      return false;
    }
    if (s.segmentType != SegmentTypeFor(i)) {
      Note(&findings_, label + ": segment type " + std::to_string(s.segmentType) + " instead of the usual " +
                           std::to_string(SegmentTypeFor(i)) + " (target: " + TargetText(s) + ")");
    }
    return true;
  }

  // Where a segment's bytes lie, for the layout's notes.
  void NotePlace(const TSegmentEntry& s, const std::string& label) {
    const int64_t dataStart = static_cast<int64_t>(view_.packageOffset) + kPackageHeaderSize;
    const int64_t length = s.storedLength();
    if (length > 0 && s.startOffset < dataStart) {
      Note(&findings_, label + ": its bytes begin at " + std::to_string(s.startOffset) +
                           ", inside the program or the package header");
    }
    if (length > 0) ranges_.push_back({s.startOffset, s.startOffset + length});
    if (!s.compressed && s.originalSize != length) {
      Note(&findings_, label + ": stored; the installer copies its " + std::to_string(length) +
                           " bytes whole, whatever its original size " + std::to_string(s.originalSize) + " says");
    }
  }

  // The installer loads the library to expand every compressed item.
  void CheckLibraryBytes(const std::string& label, const std::vector<uint8_t>& bytes) {
    const std::string libraryFault = DecompressionLibraryFault(bytes);
    if (!libraryFault.empty()) {
      Fault(&findings_, label + ": " + libraryFault + InstallerStops(expands_ ? kErrNoDecompressor : kOk));
    }
  }

  // A movie that does not play makes the installer install directly; a
  // picture that does not load, a box and an empty panel.
  void CheckPresentationBytes(const std::string& label, const std::vector<uint8_t>& bytes) {
    movieSize_ = bytes.size();
    const std::string presentationFault = PresentationFault(view_.header.displayMode, bytes);
    if (!presentationFault.empty()) {
      Note(&findings_, label + ": " + presentationFault + "; the installer shows nothing and installs");
    }
  }

  // Entry 1 of a movie data file copies the movie the start-up staged as
  // "installer.swf" (a picture is staged under ".BMP" or ".jpg").
  void CheckDataFile(const std::vector<uint8_t>& bytes) {
    const TPackageHeader& h = view_.header;
    const TSegmentEntry& p = h.segments[kSegPresentation];
    const bool movieStaged = h.displayMode != dmSilent && h.displayMode != dmBitmap && h.displayMode != dmJpeg &&
                             p.present() && p.name == kMovieName && TargetText(p) == std::string("work\\") + kMovieName;
    DataFileCheck check(bytes, movieStaged, shortest_.installDir.size(), movieStaged ? movieSize_ : 0, &meter_);
    for (Finding& f : check.Run()) findings_.push_back(std::move(f));
  }

  // Role rules the installer's later steps depend on.
  void CheckRoles() {
    const TPackageHeader& h = view_.header;
    const TSegmentEntry& lib = h.segments[kSegLibrary];
    if (lib.present() && (lib.name != kLibrarySegmentName || lib.segmentType != SegmentTypeFor(kSegLibrary))) {
      Fault(&findings_, SegmentLabel(kSegLibrary) + " must be \"" + kLibrarySegmentName + "\" of type " +
                            std::to_string(SegmentTypeFor(kSegLibrary)) + " to become \"" + kLibraryFileName +
                            "\" in the work directory");
    }
    if (lib.present() && lib.compressed) {
      Fault(&findings_, SegmentLabel(kSegLibrary) + " is compressed, but it is the decompressor itself" +
                            InstallerStops(kErrNoDecompressor));
    }
    const TSegmentEntry& setup = h.segments[kSegFlashSetup];
    if (h.carriesFlashSetup && setup.present() &&
        (setup.segmentType != SegmentTypeFor(kSegFlashSetup) || !IsFlashSetupName(setup.name))) {
      Fault(&findings_, SegmentLabel(kSegFlashSetup) + " must be of type " +
                            std::to_string(SegmentTypeFor(kSegFlashSetup)) + " and named " + FlashSetupNamesText() +
                            " to be staged for running");
    }
    const TSegmentEntry& engine = h.segments[kSegEngine];
    if (engine.present() && engine.segmentType != SegmentTypeFor(kSegEngine)) {
      Fault(&findings_, SegmentLabel(kSegEngine) + " must be of type " + std::to_string(SegmentTypeFor(kSegEngine)) +
                            ", the system directory, where the screen saver is activated from");
    }
    const TSegmentEntry& presentation = h.segments[kSegPresentation];
    if (IsFlashMode(h.displayMode) && presentation.present() && presentation.name != kMovieName) {
      Note(&findings_, SegmentLabel(kSegPresentation) + ": a Flash movie is usually named \"" + kMovieName + "\"");
    }
  }

  // Other files of the system directory (the engine aside) are shared with
  // every other program there: the installer replaces each only by a newer
  // version, and the clean-up after a failure puts the old one back.
  void NoteSystemFiles() {
    std::string systemFiles;
    for (int i : needed_) {
      const TSegmentEntry& s = view_.header.segments[i];
      if (i == kSegEngine || !s.present() || !IsSafeSegmentName(s.name) || SystemFileRule(s) != kOk) continue;
      const SegmentTarget target = SegmentTargetOf(s);
      if (target.place != TargetPlace::kSystem) continue;
      systemFiles += (systemFiles.empty() ? "" : ", ") + DisplayName(target.name);
    }
    if (!systemFiles.empty()) {
      Note(&findings_, "writes into the system directory: " + systemFiles + " (replaced only by a newer version)");
    }
  }

  // Segments that share bytes, the signature, and bytes nothing reads.
  void NoteLayout() {
    std::sort(ranges_.begin(), ranges_.end());
    for (size_t i = 1; i < ranges_.size(); ++i) {
      if (ranges_[i].first < ranges_[i - 1].second) {
        Note(&findings_, "two segments share bytes from offset " + std::to_string(ranges_[i].first));
      }
    }
    int64_t last = static_cast<int64_t>(view_.packageOffset) + kPackageHeaderSize;
    for (const auto& r : ranges_) last = std::max(last, r.second);
    const uint64_t packageEnd = static_cast<uint64_t>(last);
    const uint64_t unusedEnd = NoteSignature(packageEnd);
    if (packageEnd < unusedEnd) {
      Note(&findings_, std::to_string(unusedEnd - packageEnd) + " bytes after the last segment are not used");
    }
  }

  // A signing tool appends the certificate table after the package (after
  // up to 7 bytes that align it to 8) and names it in the program's headers;
  // the installer reads only its segments and never looks there. Gives where
  // the bytes nothing reads end: the table's start when it closes the file
  // (its alignment bytes are its own), else the file's end.
  uint64_t NoteSignature(uint64_t packageEnd) {
    if (view_.signatureSize == 0) return file_.size();
    const uint64_t at = view_.signatureOffset;
    const uint64_t end = at + view_.signatureSize;
    if (end > file_.size()) {
      Note(&findings_, "the signature's certificate table (" + std::to_string(view_.signatureSize) +
                           " bytes at " + std::to_string(at) + ") runs past the end of the file");
      return file_.size();
    }
    if (at < packageEnd) {
      Note(&findings_, "the signature's certificate table at " + std::to_string(at) +
                           " lies inside the package, whose bytes there the signature does not cover");
      return file_.size();
    }
    Note(&findings_, "signed: the certificate table (" + std::to_string(view_.signatureSize) + " bytes at " +
                         std::to_string(at) + ") follows the package");
    if (end != file_.size()) return file_.size();
    return at - packageEnd < 8 ? packageEnd : at;
  }

  const std::vector<uint8_t>& file_;
  OutputMeter meter_;
  InstallerView view_;
  std::vector<Finding> findings_;
  std::vector<int> needed_;  // the segments a run reads
  bool expands_ = false;     // a segment the installer reads is compressed
  TargetDirectories shortest_;
  uint64_t movieSize_ = 0;   // what a copy of the movie writes
  std::vector<std::pair<int64_t, int64_t>> ranges_;  // start, end (exclusive) of present segments
};

}  // namespace

TargetDirectories ShortestDirectories(const std::string& title) {
  TargetDirectories dirs;
  dirs.workDir = "C:\\LMF1\\";
  dirs.systemDir = "C:\\";
  dirs.installDir = "C:\\" + title + " dir\\";
  return dirs;
}

std::vector<Finding> VerifyDataFile(const std::vector<uint8_t>& data, bool movieStaged, size_t installDirLength,
                                    uint64_t maxOutput) {
  OutputMeter meter(maxOutput);
  return DataFileCheck(data, movieStaged, installDirLength, 0, &meter).Run();
}

std::vector<Finding> VerifyInstaller(const std::vector<uint8_t>& file, uint64_t maxOutput) {
  return InstallerCheck(file, maxOutput).Run();
}

}  // namespace ss::pack
