// Reading the headers, imports and exports of a Windows program or library
// (the PE format), on any system. sspack uses it to check the decompression
// library it packs; peimports uses it to check that our Windows files import
// only what the oldest Windows we support exports.
//
// Layout read here:
//   "MZ" header, its field at 0x3C giving the offset of
//   "PE\0\0", the file header (machine, section count, optional-header size,
//   characteristics), the optional header (PE32 or PE32+: system versions,
//   subsystem, data directories), the section table, and through the
//   directories the export table (names), the import table (per library:
//   names and ordinals), whether a thread-local storage directory exists, and
//   where the certificate table of an Authenticode signature lies (its
//   directory gives a file offset, not an address).
// Every offset is checked against the file; a damaged file gives an error,
// never a read out of bounds. A caller reads only the tables it needs, and
// those under budgets (PeReadLimits): a hostile file can point every import
// descriptor at one table of thousands of entries, and every entry at one
// long name, so that a few hundred kilobytes would name gigabytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/ToolResult.h"

namespace ss::pack {

constexpr uint16_t kPeMachineI386 = 0x014C;
constexpr uint16_t kPeMachineAmd64 = 0x8664;
constexpr uint16_t kPeFileDll = 0x2000;  // characteristics: a library

struct PeImport {
  std::string library;                // as written in the file
  std::vector<std::string> names;     // functions imported by name
  std::vector<uint16_t> ordinals;     // functions imported by ordinal
};

struct PeImage {
  uint16_t machine = 0;
  uint16_t characteristics = 0;
  bool pe32Plus = false;              // the 64-bit optional header
  uint16_t subsystem = 0;
  uint16_t osMajor = 0, osMinor = 0;
  uint16_t subsystemMajor = 0, subsystemMinor = 0;
  bool hasTls = false;                // a thread-local storage directory
  bool hasDelayImports = false;       // a delay-load import directory
  uint32_t certificateOffset = 0;     // the signature's certificate table: file offset
  uint32_t certificateSize = 0;       // and size; both 0 when unsigned
  std::vector<PeImport> imports;
  std::vector<std::string> exports;   // exported names

  bool isDll() const { return (characteristics & kPeFileDll) != 0; }
  bool exportsName(const std::string& name) const;
};

// What ReadPeImage reads. The headers, the section table and the
// directories' places are always read; the export and import tables on
// request, each within its budget. A file past a budget is refused with a
// message naming it. Every entry and name read counts against one of them
// (and a name is at most 512 bytes), so the time spent is bounded as well.
// Our own Windows files import a few hundred functions from a dozen
// libraries and export a handful; the 754 programs and libraries of Wine's
// 32-bit build read whole too (ntdll's 1389 exports the most).
constexpr uint32_t kPeMaxLibraries = 256;     // imported libraries
constexpr uint32_t kPeMaxFunctions = 16384;   // imported functions (names and ordinals), all libraries
constexpr uint32_t kPeMaxExports = 65536;     // exported names
constexpr uint64_t kPeMaxNameBytes = 1 << 20; // every import and export name together

struct PeReadLimits {
  bool exports = true;
  bool imports = true;
  uint32_t maxLibraries = kPeMaxLibraries;
  uint32_t maxFunctions = kPeMaxFunctions;
  uint32_t maxExports = kPeMaxExports;
  uint64_t maxNameBytes = kPeMaxNameBytes;
};

// Only the headers and the directories' places: the machine, the versions,
// whether TLS or delay-load directories exist, the certificate table.
inline PeReadLimits PeHeadersOnly() {
  PeReadLimits limits;
  limits.exports = false;
  limits.imports = false;
  return limits;
}

// Reads the image from the file's bytes. A fault with a message when the bytes
// are not a PE file, a table lies outside the file, or a table read is past
// its budget.
ToolResult ReadPeImage(const std::vector<uint8_t>& bytes, PeImage* image,
                       const PeReadLimits& limits = PeReadLimits());

// What makes a file fit to be the package's decompression library: a 32-bit
// x86 library exporting _explode, _implode and _crc32, with no thread-local
// storage directory (a library loaded at run time on Windows before Vista
// gets no thread-local storage set up), whose import table can be read (the
// loader resolves it) within the default budgets. Empty when it fits;
// otherwise why not.
std::string DecompressionLibraryFault(const std::vector<uint8_t>& bytes);

}  // namespace ss::pack
