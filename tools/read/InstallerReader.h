// Reading a finished installer back: its package header and segments, and the
// screen saver data file inside it, each item read as the installer reads it
// (package/ReadingRules.h decides what it accepts), with the code it stops
// with when it refuses one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ResultCodes.h"
#include "package/PackageRecords.h"
#include "package/ReadingRules.h"
#include "tools/common/ToolResult.h"

namespace ss::pack {

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
// certificate table when there is one. A fault when the file is no installer
// or ends before its header.
ToolResult ReadInstaller(const std::vector<uint8_t>& file, InstallerView* view);

// What reading one segment or data-file entry gives besides its bytes.
struct ItemRead {
  ToolResult result;      // why the item could not be read (one message)
  Result code = kOk;      // the code the installer stops with there (kOk: it goes on)
  bool overLimit = false; // the output limit stopped the reading (code kOk)
  bool ok() const { return result.ok(); }
};

// The bytes of one segment as the installer would write them: stored bytes
// copied, imploded bytes expanded as it expands them. A fault for an absent
// segment, offsets outside the file, or a stream that does not expand to its
// promised size, each as the installer's reading rules decide, with the code
// the installer stops with there. Bytes past maxOutput are neither expanded
// nor copied: a fault with overLimit and code kOk, since the installer would
// go on.
ItemRead ReadSegment(const std::vector<uint8_t>& file, const TSegmentEntry& segment,
                     std::vector<uint8_t>* out, uint64_t maxOutput = kNoOutputLimit);

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

// Parses a data file's header, table and chunk records. A fault (with the
// code the installer stops with) when the header or table cannot be read at
// all; a chunk record outside the file leaves its entry's recordRead false.
ToolResult ParseDataFile(const std::vector<uint8_t>& data, DataFileView* view);

// The bytes of one entry that carries bytes (not a copy), read and checked
// like ReadSegment (nothing for an entry of size 0, which writes no file),
// maxOutput too. Its name is not judged here.
ItemRead ReadDataEntry(const std::vector<uint8_t>& data, const DataEntryView& entry,
                       std::vector<uint8_t>* out, uint64_t maxOutput = kNoOutputLimit);

// The installer's entry rule on an entry whose record was read, its name
// aside (extract makes every name safe; verify judges names itself).
EntryVerdict PlainEntryVerdict(const DataEntryView& entry, int64_t dataSize);

// Why an entry whose bytes overlap those of entry `earlier` is refused.
std::string EntryOverlapText(const DataEntryView& entry, const EntryVerdict& verdict, int earlier);

// The code a fault makes the installer stop with, as words to follow the
// fault's own: " (the installer stops with code -30)"; "" for kOk.
std::string InstallerStops(Result code);

}  // namespace ss::pack
