// Reading a finished installer back: its package header and segments, the
// screen saver data file inside it, the checks the installer relies on, a
// readable listing, and extraction into a folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ResultCodes.h"
#include "package/PackageRecords.h"
#include "package/SegmentTargets.h"

namespace ss::pack {

struct Finding {
  bool fault = true;   // false: worth knowing, but the installer accepts it
  std::string text;
  // A fault of sspack's own, not the installer's: the output limit stopped
  // the check there (what follows is unchecked), whatever the installer
  // would make of the package.
  bool overLimit = false;
};

// What verify may expand and extract may write for one installer, unless the
// caller gives another limit (sspack's --max-output). A package names what it
// writes in sizes of up to 2 GiB each, and it may name many: copies of
// entry 1 (type 3) repeat its file without storing it again, and a
// compressed data file holds compressed entries. So a file of a few hundred
// kilobytes can name tens of gigabytes. The screen savers this is made for
// write tens of megabytes; 1 GiB leaves them room many times over and keeps
// verify's memory and extract's disk use within what any machine that runs
// sspack has. Both stop at the first item that would pass the limit: an
// expansion is stopped there, a stored item is not copied.
constexpr uint64_t kDefaultMaxOutput = uint64_t{1} << 30;
constexpr uint64_t kNoOutputLimit = UINT64_MAX;

struct InstallerView {
  int32_t packageOffset = 0;
  uint64_t fileSize = 0;
  TPackageHeader header;
  // An Authenticode signature: the certificate table that the program's
  // headers name (appended after the package by a signing tool); both 0 when
  // the installer is not signed. It is no part of the package.
  uint64_t signatureOffset = 0;
  uint64_t signatureSize = 0;
};

// Locates and parses the package header, and finds the signature's
// certificate table when there is one. False with a message when the file
// is no installer or ends before its header.
bool ReadInstaller(const std::vector<uint8_t>& file, InstallerView* view, std::string* error);

// The bytes of one segment as the installer would write them: stored bytes
// copied, imploded bytes expanded as it expands them. False with a message
// for an absent segment, offsets outside the file, or a stream that does not
// expand to its promised size, each as the installer's reading rules decide;
// *code (when given) receives the code the installer stops with there. Bytes
// past maxOutput are neither expanded nor copied: false, *overLimit (when
// given) true and *code kOk, since the installer would go on.
bool ReadSegment(const std::vector<uint8_t>& file, const TSegmentEntry& segment,
                 std::vector<uint8_t>* out, std::string* error, Result* code = nullptr,
                 uint64_t maxOutput = kNoOutputLimit, bool* overLimit = nullptr);

struct DataEntryView {
  int number = 0;            // 1-based, as the installer counts
  TSaverFileEntry entry;
  bool copy = false;         // produced by copying (type 3, or entry 1 with content kind 3)
  bool recordRead = false;   // the chunk record lies inside the file
  TChunkRecord record;
};

struct DataFileView {
  TSaverDataHeader header;
  std::vector<DataEntryView> entries;
};

// Parses a data file's header, table and chunk records. Every fault found is
// added to *findings; false when the header or table cannot be read at all.
bool ParseDataFile(const std::vector<uint8_t>& data, DataFileView* view,
                   std::vector<Finding>* findings);

// The bytes of one entry that carries bytes (not a copy), read and checked
// like ReadSegment (nothing for an entry of size 0, which writes no file),
// maxOutput too. Its name is not judged here.
bool ReadDataEntry(const std::vector<uint8_t>& data, const DataEntryView& entry,
                   std::vector<uint8_t>* out, std::string* error, Result* code = nullptr,
                   uint64_t maxOutput = kNoOutputLimit, bool* overLimit = nullptr);

// Every check on a data file, including the expansion of each entry.
// movieStaged: the installer stages a Flash movie "installer.swf", which a
// copied entry 1 needs. installDirLength: the length of the install
// directory's path at its shortest, to which entry names are added (0: not
// checked). maxOutput: what the entries may expand to, copies counted as
// the file they repeat; past it, a fault (overLimit) and no more checks.
std::vector<Finding> VerifyDataFile(const std::vector<uint8_t>& data, bool movieStaged,
                                    size_t installDirLength = 0, uint64_t maxOutput = kDefaultMaxOutput);

// Every structural rule the installer relies on, and every compressed item
// expanded with its size checked. A fault is what makes the installer refuse
// the file; what it accepts is at most a note (a segment no run reads, a
// presentation that does not play, a stored segment's originalSize). What the
// installer's reading rules (package/ReadingRules.h) decide, they decide here
// too, and such a fault ends with the code the installer stops with: "(the
// installer stops with code -30)"; so do the faults whose code is the
// installer's own for certain (a Flash version index, a movie copy without a
// movie, a library it cannot load, a data file cut inside its table).
// maxOutput: what the segments and entries together may expand to (copies
// counted as the file they repeat); the first item past it is a fault
// (overLimit), and nothing after it is expanded.
std::vector<Finding> VerifyInstaller(const std::vector<uint8_t>& file, uint64_t maxOutput = kDefaultMaxOutput);

// A readable table of the header and the segment table; with a data file,
// its entries too.
std::string FormatInstaller(const InstallerView& view);
std::string FormatDataFile(const DataFileView& view);

// The installer's directories at their shortest (system "C:\", work
// "C:\LMF1\", install "C:\" + title + " dir\"): a target path longer than
// Windows takes there is refused on every machine.
TargetDirectories ShortestDirectories(const std::string& title);

// Where the installer writes a segment: "work\name", "system\name",
// "install\name" (the name as the type rule makes it), or "none".
std::string TargetText(const TSegmentEntry& segment);

// Writes every segment to dir/segments/NN-name and the data file's header and
// entries to dir/saver.dat and dir/data/..., never outside dir whatever names
// the package holds. dir must be new or empty. Items that cannot be read are
// reported in *problems and skipped; the others are still written. The
// files written together stay within maxOutput: the item that would pass it
// is reported in *problems and extraction stops there, before expanding or
// writing it (what was written before stays, each file whole). False when
// nothing could be done (dir unusable, no installer) with *error set.
bool ExtractInstaller(const std::vector<uint8_t>& file, const std::string& dir,
                      std::vector<std::string>* written, std::vector<std::string>* problems,
                      std::string* error, uint64_t maxOutput = kDefaultMaxOutput);

}  // namespace ss::pack
