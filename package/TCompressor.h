// The binding to the implode/explode library. TCompressor loads
// "impborl.dll" from a directory at run time, resolves the classic cdecl
// entry points _implode, _explode and _crc32, and expands one stream of
// imploded bytes into one file through _explode: from memory
// (ExpandToFile) or straight from a range of an open file (ExpandFromFile).
// Output reaches the target in blocks of kOutputBlock bytes, input is read
// from a file in blocks of kInputBlock bytes: what an expansion holds in
// memory does not grow with the item. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/WinHandles.h"

namespace ss {

// The stream layer's error: the target file cannot be created ("Cannot
// create file <path>") or written ("Cannot write file <path>"), or there is
// no memory for the output block ("Out of memory while expanding memory
// stream", code 0). ExpandToFile hands it to its caller, which decides what
// it means. It carries the system's error number of the failed call (0 for
// the out-of-memory case), taken when it happened, before the thread's
// last-error value could change.
struct EStreamError {
  std::string message;
  unsigned long code = 0;
};

class TCompressor {
 public:
  // Size of the work area the library's explode needs.
  static constexpr size_t kWorkSize = 12596;
  // The library hands its output over in pieces of about 6 KB; they are
  // gathered into blocks of this size before a write, and a file source is
  // read in blocks of kInputBlock (the library asks for 2 KB at a time).
  static constexpr size_t kOutputBlock = 256 * 1024;
  static constexpr size_t kInputBlock = 64 * 1024;

  // libraryPath: the directory holding "impborl.dll", ending with a
  // backslash, or empty for the bare name (the system's library search).
  // Never fails; `loaded()` tells whether the library can be used. The
  // reason of a failure goes to the debug log only: 5 when the file is
  // missing, the system's error when it cannot be loaded, 6 when an entry
  // point is missing (the library is then released again).
  explicit TCompressor(const std::string& libraryPath);
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  bool loaded() const { return library_.valid(); }

  // Expands `count` imploded bytes into the file `target` (replaced when it
  // exists). The bytes are read where they are, for the length of the call.
  // Damaged data or a failure inside the library is not reported: the file
  // then holds whatever the library delivered. Returns 0, or -1 when the
  // target cannot be created or written, or without memory for the output
  // block; `error` (when given) then holds the stream layer's error.
  //
  // `maxOutput` (when not negative) guards against a stream that expands far
  // beyond what its item declares: once the output passes that many bytes,
  // nothing more is written and the input is ended, so the file holds at
  // most `maxOutput` bytes plus one piece of the library's output, and the
  // caller's size check fails.
  int32_t ExpandToFile(const std::string& target, const void* bytes, int32_t count, int64_t maxOutput = -1,
                       EStreamError* error = nullptr);

  // What ExpandFromFile did: `result` is 0, the system's error number of a
  // failed create, read or write, `shortInput` when the source ended before
  // `count` bytes, or -1 when the library is not loaded or there is no
  // memory for the blocks; `readFailed` says that the source was at fault.
  // `created` tells whether the target now exists; `size` is its size (the
  // bytes written) when it does.
  struct Outcome {
    int32_t result = 0;
    bool readFailed = false;
    bool created = false;
    int64_t size = 0;
  };

  // Expands the `count` imploded bytes that follow the current position of
  // `source` into the file `target` (replaced when it exists), reading them
  // in blocks as the library asks. Damaged data is not reported, as with
  // ExpandToFile: the target then holds what the library delivered and the
  // caller judges its size. `maxOutput` as for ExpandToFile.
  Outcome ExpandFromFile(HANDLE source, int64_t count, const std::string& target, int64_t maxOutput,
                         int32_t shortInput);

 private:
  using ImplodeProc = unsigned(__cdecl*)(unsigned(__cdecl*)(char*, unsigned*, void*),
                                         void(__cdecl*)(char*, unsigned*, void*), char*, void*,
                                         unsigned*, unsigned*);
  using ExplodeProc = unsigned(__cdecl*)(unsigned(__cdecl*)(char*, unsigned*, void*),
                                         void(__cdecl*)(char*, unsigned*, void*), char*, void*);
  using Crc32Proc = unsigned long(__cdecl*)(char*, unsigned*, unsigned long*);

  static unsigned __cdecl ReadCallback(char* buf, unsigned* size, void* param);
  static void __cdecl WriteCallback(char* buf, unsigned* size, void* param);

  // Sets up the streams of one expansion: the output block, the target
  // (created) and the counters. Returns 0, the system's error of the create,
  // or -1 without memory for the block.
  int32_t BeginExpansion(const std::string& target, int64_t maxOutput);
  // Runs the library over the streams, writes what is still gathered and
  // closes the target; the size written is in outputOnDisk_.
  void RunExpansion();
  // Writes the gathered output; false (and writeError_ set) when a write
  // fails.
  bool FlushOutput();
  // Refills the input block from the file source; false at its end or on a
  // failed read (readError_ / shortRead_ set).
  bool RefillInput();

  // The library entry points, the two streams of one expansion, and the library.
  ImplodeProc implode_ = nullptr;
  ExplodeProc explode_ = nullptr;
  Crc32Proc crc32_ = nullptr;
  HANDLE output_ = INVALID_HANDLE_VALUE;  // target file, during an expansion only
  std::unique_ptr<uint8_t[]> outBlock_;   // output gathered for the next write, kOutputBlock bytes (kept between expansions)
  size_t outFill_ = 0;
  std::unique_ptr<uint8_t[]> inBlock_;    // input block of a file source, kInputBlock bytes (kept between expansions)
  const uint8_t* input_ = nullptr;        // what the library reads next: the caller's bytes or inBlock_
  size_t inputLeft_ = 0;
  HANDLE source_ = INVALID_HANDLE_VALUE;  // the file source, during ExpandFromFile only
  int64_t sourceLeft_ = 0;                // bytes of the item still to be read from source_
  unsigned long readError_ = 0;           // a failed read's error (the input then ends)
  bool shortRead_ = false;                // the source ended early
  int64_t outputLimit_ = -1;               // no limit when negative
  int64_t outputWritten_ = 0;
  int64_t outputOnDisk_ = 0;
  bool overrun_ = false;                   // the output passed its limit
  unsigned long writeError_ = 0;           // the first failed write's error (the expansion then stops)
  LibraryHandle library_;
};

}  // namespace ss
