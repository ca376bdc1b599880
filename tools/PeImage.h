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
// never a read out of bounds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Reads the image from the file's bytes. False with a message when the bytes
// are not a PE file or a table lies outside the file.
bool ReadPeImage(const std::vector<uint8_t>& bytes, PeImage* image, std::string* error);

// What makes a file fit to be the package's decompression library: a 32-bit
// x86 library exporting _explode, _implode and _crc32, with no thread-local
// storage directory (a library loaded at run time on Windows before Vista
// gets no thread-local storage set up). Empty when it fits; otherwise why not.
std::string DecompressionLibraryFault(const std::vector<uint8_t>& bytes);

}  // namespace ss::pack
