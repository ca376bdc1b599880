#include "tools/read/PackageCheck.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "codec/Codec.h"
#include "package/PackageRoles.h"
#include "package/ReadingRules.h"
#include "package/SegmentTargets.h"
#include "tools/common/FileIo.h"
#include "tools/common/PackCodec.h"
#include "tools/common/PackNames.h"
#include "tools/pe/PeImage.h"
#include "tools/read/StubImage.h"

namespace ss::pack {
namespace {

std::string Quoted(const std::string& ansi) { return "\"" + DisplayName(ansi) + "\""; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void Fault(std::vector<Finding>* f, const std::string& text) { f->push_back({true, text}); }
void Note(std::vector<Finding>* f, const std::string& text) { f->push_back({false, text}); }

// Windows takes paths of at most 259 characters.
constexpr size_t kMaxPathLength = 259;

std::string PathTooLong(size_t length) {
  return "its target path has at least " + std::to_string(length) + " characters, more than Windows allows (" +
         std::to_string(kMaxPathLength) + ")";
}

std::string Padded(std::string s, size_t width, bool right = false) {
  if (s.size() >= width) return s;
  return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

// The code a fault makes the installer stop with, after verify's own words
// ("" for kOk: a fault whose code verify does not know).
std::string Stops(Result code) {
  return code == kOk ? std::string() : " (the installer stops with code " + std::to_string(code) + ")";
}

// Expands `length` imploded bytes as the installer does: its output stops
// once it passes originalSize, so an overrun leaves one byte more. The
// installer's ExpandedRule judges what came out; *error explains a refusal,
// naming the size as sizeWords + originalSize. Past `maxOutput` bytes (below
// originalSize) the expansion stops unjudged: *overLimit.
Result ExpandAsInstaller(const uint8_t* data, int64_t length, int32_t originalSize, const char* sizeWords,
                         std::vector<uint8_t>* out, std::string* error, uint64_t maxOutput, bool* overLimit) {
  const size_t limit = static_cast<size_t>(std::max<int32_t>(originalSize, 0));
  if (maxOutput < limit) {
    // A stream that ends within maxOutput is judged as the installer judges
    // it; one that goes on is stopped there, whatever it would come to.
    const unsigned rc = codec::ExplodeBuffer(data, static_cast<size_t>(length), out, maxOutput);
    if (rc == codec::kCmpAbort) {
      out->clear();
      *overLimit = true;
      *error = "it expands to more than " + std::to_string(maxOutput) + " bytes";
      return kOk;
    }
  }
  const unsigned rc = codec::ExplodeBuffer(data, static_cast<size_t>(length), out, limit);
  const Result code = ExpandedRule(rc == codec::kCmpAbort ? static_cast<int64_t>(limit) + 1
                                                          : static_cast<int64_t>(out->size()),
                                   originalSize);
  if (code == kOk) return kOk;
  if (originalSize < 0) {
    *error = "its original size is negative";
  } else if (rc != codec::kCmpNoError) {
    std::vector<uint8_t> scratch;
    // the codec's words for it
    *error = "its imploded bytes " + Explode(data, static_cast<size_t>(length), limit, &scratch).message();
  } else {
    *error = "it expands to " + std::to_string(out->size()) + " bytes instead of " + sizeWords +
             std::to_string(originalSize);
  }
  return code;
}

// Counts what a command expands or writes against its output limit. Each
// item is read with what is left() as its own limit, so nothing is expanded
// or held past the limit.
class OutputMeter {
 public:
  explicit OutputMeter(uint64_t limit) : limit_(limit) {}

  uint64_t left() const { return over_ ? 0 : limit_ - used_; }
  void Add(uint64_t size) { used_ += std::min(size, left()); }

  // `item` would pass the limit: the text of sspack's own fault, saying
  // what `undone` (e.g. "not expanded"); "" for every item after the first.
  std::string Stop(const std::string& item, const char* undone) {
    if (over_) return std::string();
    over_ = true;
    return item + ": " + undone + ", nor anything after it: it would take the output past sspack's limit of " +
           std::to_string(limit_) + " bytes (" + std::to_string(used_) +
           " before it); --max-output raises the limit";
  }

  // Whether `size` more bytes fit; if not, *stop as Stop gives it.
  bool Fits(uint64_t size, const std::string& item, const char* undone, std::string* stop) {
    stop->clear();
    if (size <= left()) return true;
    *stop = Stop(item, undone);
    return false;
  }

 private:
  uint64_t limit_;
  uint64_t used_ = 0;
  bool over_ = false;
};

void OverLimit(std::vector<Finding>* f, const std::string& text) {
  if (!text.empty()) f->push_back({true, text, true});
}

// The installer's entry rule on an entry whose record was read, its name
// aside (extract makes every name safe; verify judges names itself).
EntryVerdict PlainEntryVerdict(const DataEntryView& e, int64_t dataSize) {
  TSaverFileEntry plain = e.entry;
  plain.fileName = "x";
  return EntryRule(plain, e.record, dataSize);
}

// Why an entry whose bytes overlap an earlier entry's is refused.
std::string OverlapText(const DataEntryView& e, const EntryVerdict& v, int earlier) {
  return "its chunk record and stored bytes (offsets " + std::to_string(e.entry.recordOffset) + " to " +
         std::to_string(v.dataStart + v.stored - 1) + ") overlap those of entry " + std::to_string(earlier) +
         ", which the installer has written by then; a file wanted twice is a copy (type 3), which reads "
         "no record" + Stops(kErrSharedEntryBytes);
}

// Every check on a data file (VerifyDataFile), counting what the entries
// expand to on `meter`; copies count as the file they repeat: the movie
// (movieSize bytes) for entry 1, entry 1's file for the others.
std::vector<Finding> VerifyData(const std::vector<uint8_t>& data, bool movieStaged, size_t installDirLength,
                                uint64_t movieSize, OutputMeter* meter);

}  // namespace

bool ReadInstaller(const std::vector<uint8_t>& file, InstallerView* view, std::string* error) {
  int32_t offset = 0;
  if (!LocatePackage(file, &offset, error)) {
    // A sound stamp in a file too short for the header it names: the
    // installer's header rule gives the code it stops with.
    StubSlot slot;
    std::string ignored;
    if (FindStubSlot(file, file.size(), &slot, &ignored)) {
      *error += Stops(HeaderRule(static_cast<int64_t>(file.size()), slot.value));
    }
    return false;
  }
  view->packageOffset = offset;
  view->fileSize = file.size();
  view->header = TPackageHeader::Parse(file.data() + offset);
  // Only the headers: the program's import and export tables are no part of
  // the package, and a hostile program could make them costly to read.
  PeImage image;
  std::string peError;
  if (ReadPeImage(file, &image, &peError, PeHeadersOnly()) && image.certificateSize != 0) {
    view->signatureOffset = image.certificateOffset;
    view->signatureSize = image.certificateSize;
  }
  return true;
}

bool ReadSegment(const std::vector<uint8_t>& file, const TSegmentEntry& segment,
                 std::vector<uint8_t>* out, std::string* error, Result* code, uint64_t maxOutput,
                 bool* overLimit) {
  bool over = false;
  Result rc = segment.present() ? SegmentRangeRule(segment, static_cast<int64_t>(file.size()))
                                 : SegmentNameRule(segment, std::string());
  if (!segment.present()) {
    *error = "the segment is absent (empty name)";
  } else if (rc != kOk) {
    *error = "its bytes " + std::to_string(segment.startOffset) + " to " +
             std::to_string(segment.endOffset) + " do not lie inside the file of " +
             std::to_string(file.size()) + " bytes";
  } else if (!segment.compressed && static_cast<uint64_t>(segment.storedLength()) > maxOutput) {
    over = true;
    *error = "its " + std::to_string(segment.storedLength()) + " stored bytes are more than " +
             std::to_string(maxOutput);
  } else if (!segment.compressed) {
    out->assign(file.data() + segment.startOffset, file.data() + segment.startOffset + segment.storedLength());
  } else {
    rc = ExpandAsInstaller(file.data() + segment.startOffset, segment.storedLength(), segment.originalSize,
                           "its original size ", out, error, maxOutput, &over);
  }
  if (code != nullptr) *code = rc;
  if (overLimit != nullptr) *overLimit = over;
  return rc == kOk && !over;
}

bool ParseDataFile(const std::vector<uint8_t>& data, DataFileView* view,
                   std::vector<Finding>* findings) {
  // The installer reads the header and the table whole: a short read is the
  // runtime's error 100.
  if (data.size() < kSaverDataHeaderSize) {
    Fault(findings, "the data file has " + std::to_string(data.size()) + " bytes, fewer than its " +
                        std::to_string(kSaverDataHeaderSize) + "-byte header" + Stops(kIoReadPastEnd));
    return false;
  }
  view->header = TSaverDataHeader::Parse(data.data());
  const int32_t count = view->header.entryCount();
  if (Result rc = EntryCountRule(count); rc != kOk) {
    Fault(findings, "the data file's entry count " + std::to_string(count) + " lies outside 0 to " +
                        std::to_string(kMaxSaverEntries) + Stops(rc));
    return false;
  }
  const uint64_t tableEnd = kSaverDataHeaderSize + static_cast<uint64_t>(count) * kSaverFileEntrySize;
  if (tableEnd > data.size()) {
    Fault(findings, "the data file's table of " + std::to_string(count) + " entries runs past its end" +
                        Stops(kIoReadPastEnd));
    return false;
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
  return true;
}

bool ReadDataEntry(const std::vector<uint8_t>& data, const DataEntryView& e,
                   std::vector<uint8_t>* out, std::string* error, Result* code, uint64_t maxOutput,
                   bool* overLimit) {
  const int64_t size = static_cast<int64_t>(data.size());
  bool over = false;
  EntryVerdict v;
  out->clear();
  if (!e.recordRead) {
    v.code = ChunkRecordPlaceRule(e.entry.recordOffset, size);
    if (v.code != kOk) {
      *error = "its chunk record at " + std::to_string(e.entry.recordOffset) + " does not lie inside the data file";
    }
  } else {
    // The name is the caller's to judge (extract makes every name safe); the
    // installer's rule judges the rest as it would for a plain name.
    v = PlainEntryVerdict(e, size);
    if (v.code == kErrWrongSize) *error = "its original size is negative";
    if (v.code == kIoReadPastEnd) {
      *error = "its " + std::to_string(e.record.storedLength()) + " stored bytes run past the end of the data file";
    }
  }
  if (v.code == kOk && v.writes) {
    const uint8_t* bytes = data.data() + v.dataStart;
    if (e.record.compressed) {
      v.code = ExpandAsInstaller(bytes, v.stored, e.record.originalSize, "", out, error, maxOutput, &over);
    } else if (static_cast<uint64_t>(v.stored) > maxOutput) {
      over = true;
      *error = "its " + std::to_string(v.stored) + " stored bytes are more than " + std::to_string(maxOutput);
    } else {
      out->assign(bytes, bytes + v.stored);
    }
  }
  if (code != nullptr) *code = v.code;
  if (overLimit != nullptr) *overLimit = over;
  return v.code == kOk && !over;
}

std::vector<Finding> VerifyDataFile(const std::vector<uint8_t>& data, bool movieStaged,
                                    size_t installDirLength, uint64_t maxOutput) {
  OutputMeter meter(maxOutput);
  return VerifyData(data, movieStaged, installDirLength, 0, &meter);
}

namespace {

std::vector<Finding> VerifyData(const std::vector<uint8_t>& data, bool movieStaged, size_t installDirLength,
                                uint64_t movieSize, OutputMeter* meter) {
  std::vector<Finding> findings;
  DataFileView view;
  if (!ParseDataFile(data, &view, &findings)) return findings;
  std::set<std::string> names;
  const std::string firstName = view.entries.empty() ? "" : view.entries[0].entry.fileName;
  // What a later copy repeats: entry 1's file.
  uint64_t firstSize = !view.entries.empty() && view.entries[0].copy ? movieSize : 0;
  std::vector<EntrySpan> taken;  // the bytes the entries written so far read
  std::string stop;
  for (const DataEntryView& e : view.entries) {
    const std::string& name = e.entry.fileName;
    const std::string label = "data-file entry " + std::to_string(e.number) + " " + Quoted(name);
    if (name.empty()) {
      Note(&findings, "data-file entry " + std::to_string(e.number) +
                          " has no name and is skipped by the installer");
      continue;
    }
    // The installer's order: a copy's names; for the others the chunk
    // record's place, then the entry rule (name, size, stored bytes). Only
    // then is the target created and the bytes written.
    Result named = kOk;
    bool created = e.copy;
    std::string why;
    if (e.copy) {
      named = CopiedEntryRule(name, e.number, firstName);
      if (named != kOk && IsSafeEntryName(name)) {
        why = firstName.empty() ? "it is a copy of entry 1, which has no name"
                                : "it is a copy of entry 1, whose name " + Quoted(firstName) + " the installer refuses";
      }
    } else if (e.recordRead) {
      const EntryVerdict v = EntryRule(e.entry, e.record, static_cast<int64_t>(data.size()));
      if (!v.writes) {
        Note(&findings, label + ": its original size is 0; the installer creates no file");
        continue;
      }
      if (v.code == kErrBadEntryName) named = v.code;
      created = v.code == kOk;
      int earlier = 0;
      if (v.code == kOk && EntryOverlapRule(e.number, e.entry.recordOffset, v, &taken, &earlier) != kOk) {
        Fault(&findings, label + ": " + OverlapText(e, v, earlier));
        continue;
      }
    }
    if (named != kOk) {
      Fault(&findings, label + ": " + (why.empty() ? RelativePathFault(name) : why) + Stops(named));
      continue;
    }
    if (created && installDirLength > 0 && installDirLength + name.size() > kMaxPathLength) {
      Fault(&findings, label + ": " + PathTooLong(installDirLength + name.size()));
      continue;
    }
    if (!names.insert(Lower(name)).second) {
      Note(&findings, label + ": the name occurs more than once; the later entry overwrites");
    }
    if (e.copy) {
      if (e.number == 1 && !movieStaged) {
        Fault(&findings, label + ": it is a copy of the installer's movie, but the package "
                                 "stages no Flash movie \"installer.swf\"" + Stops(kErrCopyEntry));
      } else {
        // Copies cost verify nothing, but they are written all the same.
        const uint64_t size = e.number == 1 ? movieSize : firstSize;
        if (!meter->Fits(size, label, "not counted", &stop)) {
          OverLimit(&findings, stop);
          break;
        }
        meter->Add(size);
      }
      continue;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    Result code = kOk;
    bool over = false;
    const bool read = ReadDataEntry(data, e, &bytes, &error, &code, meter->left(), &over);
    if (over) {
      OverLimit(&findings, meter->Stop(label, "not expanded"));
      break;
    }
    meter->Add(bytes.size());
    if (!read) {
      Fault(&findings, label + ": " + error + Stops(code));
    } else if (e.number == 1) {
      firstSize = bytes.size();
    }
  }
  return findings;
}

}  // namespace

std::vector<Finding> VerifyInstaller(const std::vector<uint8_t>& file, uint64_t maxOutput) {
  std::vector<Finding> findings;
  OutputMeter meter(maxOutput);
  uint64_t movieSize = 0;  // what a copy of the movie writes
  InstallerView view;
  std::string error;
  if (!ReadInstaller(file, &view, &error)) {
    Fault(&findings, error);
    return findings;
  }
  const TPackageHeader& h = view.header;
  const int64_t dataStart = static_cast<int64_t>(view.packageOffset) + kPackageHeaderSize;

  if (!IsKnownDisplayMode(h.displayMode)) {
    Note(&findings, "presentation kind " + std::to_string(h.displayMode) +
                        " is none of 1, 2, 3, 4, 8; the installer stages segment 3 and shows nothing");
  }
  if (h.flashVersionIndex > 1) {
    Fault(&findings, "Flash version index " + std::to_string(h.flashVersionIndex) +
                         " is neither 0 nor 1" + Stops(kErrBadFlashIndex));
  }
  if (Result rc = TitleRule(h.title); rc != kOk) {
    Fault(&findings, "title " + Quoted(h.title) + ": " + TitleFault(h.title) + Stops(rc));
  }

  // The engine is activated by its entry's name, removed from the list of
  // programs by the title's: the installer refuses the two disagreeing as
  // soon as it has read the header.
  if (Result rc = EngineNameRule(h.segments[kSegEngine].name, h.title); rc != kOk) {
    Fault(&findings, "segment 6 (engine) " + Quoted(h.segments[kSegEngine].name) + " must be named " +
                         Quoted(h.title + ".scr") + ", after the title" + Stops(rc));
  }

  // Windows' own libraries: the installer refuses the package as soon as it
  // has read the header, whichever segment names one.
  for (int i = kSegLibrary; i < kSegmentCount; ++i) {
    if (Result rc = SystemFileRule(h.segments[i]); rc != kOk) {
      Fault(&findings, SegmentLabel(i) + " " + Quoted(h.segments[i].name) + ": it would replace " +
                           Quoted(SegmentTargetOf(h.segments[i]).name) + ", a library of Windows itself" + Stops(rc));
    }
  }

  // Which segments the installer will ask for.
  std::vector<int> needed = {kSegLibrary};
  if (h.carriesFlashSetup) needed.push_back(kSegFlashSetup);
  if (h.displayMode != dmSilent) needed.push_back(kSegPresentation);
  if (h.showLicense) needed.push_back(kSegLicense);
  if (h.hasCompanionFile) needed.push_back(kSegCompanion);
  for (int i = kSegEngine; i <= kSegSupportLib2; ++i) needed.push_back(i);
  // The installer loads segment 1 at the first compressed segment it reads.
  bool expands = false;
  for (int i : needed) {
    if (Result rc = SegmentNameRule(h.segments[i], std::string()); rc == kErrSegmentNoName) {
      Fault(&findings, SegmentLabel(i) + " is absent, but the installer needs it" + Stops(rc));
    }
    expands = expands || (i != kSegLibrary && h.segments[i].present() && h.segments[i].compressed);
  }
  // A segment no run reads cannot stop the installer: its faults are notes.
  auto fault = [&](int i, const std::string& text, Result code = kOk) {
    if (std::find(needed.begin(), needed.end(), i) != needed.end()) {
      Fault(&findings, text + Stops(code));
    } else {
      Note(&findings, text + " (the installer never reads it)");
    }
  };
  // The directories at their shortest: a longer path than Windows takes is
  // refused wherever the installer runs.
  const TargetDirectories shortest = ShortestDirectories(h.title);
  const size_t installDirLength = shortest.installDir.size();

  const TSegmentEntry& self = h.segments[kSegInstaller];
  if (self.startOffset != 0 || self.endOffset != view.packageOffset - 1 ||
      self.originalSize != view.packageOffset) {
    Note(&findings, "segment 0 (installer) does not describe the stub's " +
                        std::to_string(view.packageOffset) + " bytes");
  }

  std::vector<std::pair<int64_t, int64_t>> ranges;  // start, end (exclusive) of present segments
  for (int i = 1; i < kSegmentCount; ++i) {
    const TSegmentEntry& s = h.segments[i];
    if (!s.present()) continue;
    const std::string label = SegmentLabel(i) + " " + Quoted(s.name);
    const std::string target = SegmentTargetPath(s, shortest);
    if (Result named = SegmentNameRule(s, target); named != kOk) {
      fault(i, label + ": " + (!IsSafeSegmentName(s.name) ? FileNameFault(s.name)
                               : "segment type " + std::to_string(s.segmentType) +
                                     " has no target, so the installer cannot write it"),
            named);
      continue;
    }
    if (target.size() > kMaxPathLength) {
      fault(i, label + ": " + PathTooLong(target.size()));
      continue;
    }
    if (s.segmentType != SegmentTypeFor(i)) {
      Note(&findings, label + ": segment type " + std::to_string(s.segmentType) +
                          " instead of the usual " + std::to_string(SegmentTypeFor(i)) +
                          " (target: " + TargetText(s) + ")");
    }
    std::vector<uint8_t> bytes;
    Result code = kOk;
    bool over = false;
    const bool read = ReadSegment(file, s, &bytes, &error, &code, meter.left(), &over);
    if (over) {
      OverLimit(&findings, meter.Stop(label, "not expanded"));
      continue;
    }
    meter.Add(bytes.size());
    if (code == kErrShortSegment) {
      fault(i, label + ": " + error, code);
      continue;
    }
    const int64_t length = s.storedLength();
    if (length > 0 && s.startOffset < dataStart) {
      Note(&findings, label + ": its bytes begin at " + std::to_string(s.startOffset) +
                          ", inside the program or the package header");
    }
    if (length > 0) ranges.push_back({s.startOffset, s.startOffset + length});
    if (!s.compressed && s.originalSize != length) {
      Note(&findings, label + ": stored; the installer copies its " + std::to_string(length) +
                          " bytes whole, whatever its original size " +
                          std::to_string(s.originalSize) + " says");
    }
    if (!read) {
      fault(i, label + ": " + error, code);
      continue;
    }
    if (i == kSegLibrary) {
      // The installer loads it to expand every compressed item.
      const std::string libraryFault = DecompressionLibraryFault(bytes);
      if (!libraryFault.empty()) {
        Fault(&findings, label + ": " + libraryFault + Stops(expands ? kErrNoDecompressor : kOk));
      }
    }
    if (i == kSegPresentation) {
      movieSize = bytes.size();
      // A movie that does not play makes the installer install directly; a
      // picture that does not load, a box and an empty panel.
      const std::string presentationFault = PresentationFault(h.displayMode, bytes);
      if (!presentationFault.empty()) {
        Note(&findings, label + ": " + presentationFault + "; the installer shows nothing and installs");
      }
    }
    if (i == kSegDataFile) {
      // Entry 1 of a movie data file copies the movie the start-up staged
      // as "installer.swf" (a picture is staged under ".BMP" or ".jpg").
      const TSegmentEntry& p = h.segments[kSegPresentation];
      const bool movieStaged = h.displayMode != dmSilent && h.displayMode != dmBitmap &&
                               h.displayMode != dmJpeg && p.present() && p.name == "installer.swf" &&
                               TargetText(p) == "work\\installer.swf";
      for (const Finding& f : VerifyData(bytes, movieStaged, installDirLength, movieStaged ? movieSize : 0, &meter)) {
        findings.push_back(f);
      }
    }
  }

  // Role rules the installer's later steps depend on.
  const TSegmentEntry& lib = h.segments[kSegLibrary];
  if (lib.present()) {
    if (lib.name != "impborl.dat" || lib.segmentType != SegmentTypeFor(kSegLibrary)) {
      Fault(&findings, "segment 1 (library) must be \"impborl.dat\" of type 4 to become "
                       "\"impborl.dll\" in the work directory");
    }
    if (lib.compressed) {
      Fault(&findings, "segment 1 (library) is compressed, but it is the decompressor itself" +
                           Stops(kErrNoDecompressor));
    }
  }
  const TSegmentEntry& setup = h.segments[kSegFlashSetup];
  if (h.carriesFlashSetup && setup.present() &&
      (setup.segmentType != SegmentTypeFor(kSegFlashSetup) || !IsFlashSetupName(setup.name))) {
    Fault(&findings, "segment 2 (Flash setup) must be of type 3 and named " + FlashSetupNamesText() +
                         " to be staged for running");
  }
  const TSegmentEntry& engine = h.segments[kSegEngine];
  if (engine.present() && engine.segmentType != SegmentTypeFor(kSegEngine)) {
    Fault(&findings, "segment 6 (engine) must be of type 2, the system directory, where the screen saver "
                     "is activated from");
  }
  if (IsFlashMode(h.displayMode) && h.segments[kSegPresentation].present() &&
      h.segments[kSegPresentation].name != "installer.swf") {
    Note(&findings, "segment 3 (presentation): a Flash movie is usually named \"installer.swf\"");
  }

  // Other files of the system directory (the engine aside) are shared with
  // every other program there: the installer replaces each only by a newer
  // version, and the clean-up after a failure puts the old one back.
  std::string systemFiles;
  for (int i : needed) {
    const TSegmentEntry& s = h.segments[i];
    if (i == kSegEngine || !s.present() || !IsSafeSegmentName(s.name) || SystemFileRule(s) != kOk) continue;
    const SegmentTarget target = SegmentTargetOf(s);
    if (target.place != TargetPlace::kSystem) continue;
    systemFiles += (systemFiles.empty() ? "" : ", ") + DisplayName(target.name);
  }
  if (!systemFiles.empty()) {
    Note(&findings, "writes into the system directory: " + systemFiles + " (replaced only by a newer version)");
  }

  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].first < ranges[i - 1].second) {
      Note(&findings, "two segments share bytes from offset " + std::to_string(ranges[i].first));
    }
  }
  int64_t last = dataStart;
  for (const auto& r : ranges) last = std::max(last, r.second);
  uint64_t unusedEnd = file.size();
  if (view.signatureSize != 0) {
    // A signing tool appends the certificate table after the package (after
    // up to 7 bytes that align it to 8) and names it in the program's
    // headers; the installer reads only its segments and never looks there.
    const uint64_t at = view.signatureOffset;
    const uint64_t end = at + view.signatureSize;
    if (end > file.size()) {
      Note(&findings, "the signature's certificate table (" + std::to_string(view.signatureSize) +
                          " bytes at " + std::to_string(at) + ") runs past the end of the file");
    } else if (at < static_cast<uint64_t>(last)) {
      Note(&findings, "the signature's certificate table at " + std::to_string(at) +
                          " lies inside the package, whose bytes there the signature does not cover");
    } else {
      Note(&findings, "signed: the certificate table (" + std::to_string(view.signatureSize) +
                          " bytes at " + std::to_string(at) + ") follows the package");
      // The alignment bytes are the table's; anything more is counted below.
      if (end == file.size()) unusedEnd = at - static_cast<uint64_t>(last) < 8 ? static_cast<uint64_t>(last) : at;
    }
  }
  if (static_cast<uint64_t>(last) < unusedEnd) {
    Note(&findings, std::to_string(unusedEnd - static_cast<uint64_t>(last)) +
                        " bytes after the last segment are not used");
  }
  return findings;
}

TargetDirectories ShortestDirectories(const std::string& title) {
  TargetDirectories dirs;
  dirs.workDir = "C:\\LMF1\\";
  dirs.systemDir = "C:\\";
  dirs.installDir = "C:\\" + title + " dir\\";
  return dirs;
}

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
  out += "Title:                " + Quoted(h.title) + "\n";
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

bool ExtractInstaller(const std::vector<uint8_t>& file, const std::string& dir,
                      std::vector<std::string>* written, std::vector<std::string>* problems,
                      std::string* error, uint64_t maxOutput) {
  namespace fs = std::filesystem;
  InstallerView view;
  if (!ReadInstaller(file, &view, error)) return false;
  std::error_code ec;
  const fs::path root = fs::u8path(dir);
  if (fs::exists(fs::symlink_status(root, ec))) {
    if (!fs::is_directory(fs::symlink_status(root, ec)) || !fs::is_empty(root, ec)) {
      *error = dir + ": exists and is not an empty folder; extraction writes only into a new "
                     "or empty folder, so that nothing there is overwritten";
      return false;
    }
  }
  if (ToolResult made = MakeFolders(dir, ""); !made.ok()) {
    *error = made.message();
    return false;
  }

  // Writes one item below the root; a clash with an earlier item of the same
  // name (names can differ only in letter case or in characters made safe)
  // gets a numbered name instead.
  std::set<std::string> folders;
  auto put = [&](const std::string& relative, const std::vector<uint8_t>& bytes) {
    const fs::path rel = fs::u8path(relative);
    const std::string parent = rel.parent_path().u8string();
    ToolResult result;
    if (!parent.empty() && !(result = MakeFolders(dir, parent)).ok()) {
      problems->push_back(result.message());
      return;
    }
    for (int n = 1; n < 1000; ++n) {
      fs::path name = rel;
      if (n > 1) {
        name = rel.parent_path() /
               fs::u8path(rel.stem().u8string() + "~" + std::to_string(n) + rel.extension().u8string());
      }
      bool existed = false;
      result = WriteNewFile((root / name).u8string(), bytes, &existed);
      if (result.ok()) {
        written->push_back(name.generic_u8string());
        return;
      }
      if (!existed) break;
    }
    problems->push_back(result.message());
  };

  // Every item is read whole, within what is left of the limit, before it
  // is written: the one that would pass the limit ends the extraction, and
  // no file is left half written.
  OutputMeter meter(maxOutput);
  auto stopAt = [&](const std::string& item) { problems->push_back(meter.Stop(item, "not written")); };
  auto fits = [&](uint64_t size, const std::string& item) {
    if (size <= meter.left()) return true;
    stopAt(item);
    return false;
  };

  std::vector<uint8_t> movie;
  std::vector<uint8_t> dataFile;
  bool haveDataFile = false;
  for (int i = 0; i < kSegmentCount; ++i) {
    const TSegmentEntry& s = view.header.segments[i];
    if (!s.present()) continue;
    const std::string item = SegmentLabel(i) + " " + Quoted(s.name);
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%02d-", i);
    // A name with folder parts would scatter the segments: keep each flat.
    std::string safe = SafeRelativePath(s.name);
    std::replace(safe.begin(), safe.end(), '/', '_');
    const std::string name = std::string("segments/") + prefix + safe;
    std::vector<uint8_t> bytes;
    std::string err;
    bool over = false;
    if (i == kSegInstaller) {
      if (!fits(static_cast<uint64_t>(view.packageOffset), item)) return true;
      bytes.assign(file.begin(), file.begin() + view.packageOffset);
    } else if (!ReadSegment(file, s, &bytes, &err, nullptr, meter.left(), &over)) {
      if (over) {
        stopAt(item);
        return true;
      }
      problems->push_back(item + ": " + err);
      continue;
    }
    meter.Add(bytes.size());
    put(name, bytes);
    if (i == kSegPresentation) movie = bytes;
    if (i == kSegDataFile) {
      dataFile = std::move(bytes);
      haveDataFile = true;
    }
  }
  if (!haveDataFile) return true;

  DataFileView data;
  std::vector<Finding> findings;
  if (!ParseDataFile(dataFile, &data, &findings)) {
    for (const Finding& f : findings) problems->push_back(f.text);
    return true;
  }
  if (!fits(kSaverDataHeaderSize, "saver.dat")) return true;
  meter.Add(kSaverDataHeaderSize);
  put("saver.dat", std::vector<uint8_t>(dataFile.begin(), dataFile.begin() + kSaverDataHeaderSize));
  std::vector<uint8_t> first;
  std::vector<EntrySpan> taken;  // the bytes the entries written so far read
  const int64_t dataSize = static_cast<int64_t>(dataFile.size());
  for (const DataEntryView& e : data.entries) {
    if (e.entry.fileName.empty()) continue;
    const std::string label =
        "data-file entry " + std::to_string(e.number) + " " + Quoted(e.entry.fileName);
    std::vector<uint8_t> bytes;
    std::string err;
    if (e.copy) {
      // As the installer does: entry 1 is the presentation movie, later
      // copies repeat entry 1's file.
      if (!fits((e.number == 1 ? movie : first).size(), label)) return true;
      bytes = e.number == 1 ? movie : first;
    } else if (e.recordRead && e.record.originalSize == 0) {
      continue;  // the installer writes no file for it either
    } else {
      if (e.recordRead) {
        // Bytes an earlier entry was written from: the installer refuses
        // the package here, and extract writes them only once.
        const EntryVerdict v = PlainEntryVerdict(e, dataSize);
        int earlier = 0;
        if (v.code == kOk && EntryOverlapRule(e.number, e.entry.recordOffset, v, &taken, &earlier) != kOk) {
          problems->push_back(label + ": " + OverlapText(e, v, earlier));
          continue;
        }
      }
      bool over = false;
      if (!ReadDataEntry(dataFile, e, &bytes, &err, nullptr, meter.left(), &over)) {
        if (over) {
          stopAt(label);
          return true;
        }
        problems->push_back(label + ": " + err);
        continue;
      }
    }
    meter.Add(bytes.size());
    if (e.number == 1) first = bytes;
    put("data/" + SafeRelativePath(e.entry.fileName), bytes);
  }
  return true;
}

}  // namespace ss::pack
