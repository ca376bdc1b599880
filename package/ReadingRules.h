// The installer's reading rules: what makes a package and its data file
// acceptable, and which code refuses them. Portable. The reader and the
// staging steps apply them to what they read from disk; the host tests and
// the fuzz targets apply the same functions to packages held in memory, so
// that no second copy of the rules can drift from the installer's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ResultCodes.h"
#include "package/PackageRecords.h"

namespace ss {

// The package copy must hold a whole header at `packageOffset`: -31.
Result HeaderRule(int64_t packageSize, int32_t packageOffset);

// The title names the engine, the install directory and a registry key: a
// plain title (IsPlainTitle) or -603.
Result TitleRule(const std::string& title);

// No segment may write one of Windows' own libraries (IsWindowsLibrary) into
// the system directory: -608. The installer applies it to every present
// segment from 1 to 10 as soon as the header is read, before anything is
// written; `refused`, when given, receives the first segment refused.
Result SystemFileRule(const TSegmentEntry& segment);
Result SystemFilesRule(const TPackageHeader& header, int* refused = nullptr);

// Segment 6 is the engine: activation, its 64-bit copy and the clean-up name
// it by its entry, while the uninstall command and the install directory are
// built from the title. Its name must therefore be the title followed by
// ".scr", letters A-Z in either case as Windows compares file names (other
// bytes exactly): -610. An engine without a name is SegmentNameRule's to
// refuse (-531). The installer applies it as soon as the header is read,
// before anything is written; sspack build makes no other name.
Result EngineNameRule(const std::string& engineName, const std::string& title);

// A segment about to be written to `target` (SegmentTargetPath, "" for a
// type without a target): -531 without a name; -602 for a name that is no
// plain file name or a type without a target.
Result SegmentNameRule(const TSegmentEntry& segment, const std::string& target);

// Its stored bytes must lie inside a package of `packageSize` bytes, else
// -30; an empty range (end = start - 1) is a sound empty file. A stored
// segment is then copied whole, as its offsets give it, whatever its
// originalSize says; a compressed one is expanded and judged by ExpandedRule.
Result SegmentRangeRule(const TSegmentEntry& segment, int64_t packageSize);

// What an expansion left behind: -16 when no file appeared (`size` < 0),
// -13 when its size is not `originalSize`.
Result ExpandedRule(int64_t size, int32_t originalSize);

// The data file's entry count: 0 to 1010, else -604.
Result EntryCountRule(int32_t count);

// An entry produced by copying (type 3; entry `number` 1 copies the movie,
// later ones entry 1's file named `firstName`): both names must stay inside
// the install directory, else -602.
Result CopiedEntryRule(const std::string& name, int number, const std::string& firstName);

// Where the 44-byte chunk record of an entry lies: inside a data file of
// `dataSize` bytes, else the runtime's read error 100.
Result ChunkRecordPlaceRule(int32_t recordOffset, int64_t dataSize);

// An entry whose chunk record was read. `writes` tells whether a file is
// written (an originalSize of 0 writes nothing, whatever the rest says);
// when it is, the entry's name must stay inside the install directory
// (-602), originalSize must not be negative (-13), and the stored bytes after
// the record must lie inside the data file (100). A stored entry is copied as
// its stored length gives it; a compressed one is judged by ExpandedRule.
struct EntryVerdict {
  Result code = kOk;
  bool writes = false;
  int64_t dataStart = 0;  // the stored bytes: after the record
  int64_t stored = 0;
};
EntryVerdict EntryRule(const TSaverFileEntry& entry, const TChunkRecord& record, int64_t dataSize);

// The bytes of the data file that an entry which writes reads: its chunk
// record and the stored bytes after it. A builder lays each entry out after
// the one before, and a file wanted twice is a copy (type 3), which reads no
// record; so two entries that write never read the same bytes. Entries that
// do (a shared chunk record, a record inside another entry's stored bytes)
// serve only to make a small package write far more than it holds.
struct EntrySpan {
  int64_t start = 0;  // the chunk record
  int64_t end = 0;    // past the stored bytes
  int number = 0;     // the entry, 1-based
};

// Entry `number`, whose EntryRule verdict writes, read after the entries in
// *taken (those that wrote before it, in the table's order): -615 when its
// record or stored bytes overlap theirs (*earlier, when given, receives the
// first such entry's number); else kOk and its span joins *taken.
Result EntryOverlapRule(int number, int32_t recordOffset, const EntryVerdict& verdict,
                        std::vector<EntrySpan>* taken, int* earlier = nullptr);

}  // namespace ss
