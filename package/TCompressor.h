// The binding to the implode/explode library. TCompressor loads
// "impborl.dll" from a directory at run time, resolves the classic cdecl
// entry points _implode, _explode and _crc32, and expands one buffer of
// imploded bytes into one file through _explode. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace ss {

// The stream layer's error: the target file
// cannot be created ("Cannot create file <path>"), or there is no memory for
// the input copy ("Out of memory while expanding memory stream").
// ExpandToFile does not turn it into a result code; it reaches the caller.
// It carries the system's error number of the failed call (0 for the
// out-of-memory case), taken when it happened: by the time a handler runs,
// the thread's last-error value may have changed. It keeps its text itself
// rather than deriving from std::runtime_error, whose compiled support (a
// second, copy-on-write string class) is large in the static installer.
class EStreamError : public std::exception {
 public:
  explicit EStreamError(const std::string& message, unsigned long code = 0) : message_(message), code_(code) {}
  const char* what() const noexcept override { return message_.c_str(); }
  unsigned long code() const { return code_; }

 private:
  std::string message_;
  unsigned long code_;
};

class TCompressor {
 public:
  // Size of the work area the library's explode needs.
  static constexpr size_t kWorkSize = 12596;

  // libraryPath: the directory holding "impborl.dll", ending with a
  // backslash, or empty for the bare name (the system's library search).
  // Never fails; `loaded()` tells whether the library can be used. The
  // reason of a failure goes to the debug log only: 5 when the file is
  // missing, the system's error when it cannot be loaded, 6 when an entry
  // point is missing (the library is then released again).
  explicit TCompressor(const std::string& libraryPath);
  ~TCompressor();
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  bool loaded() const { return loaded_; }

  // Expands `count` imploded bytes into the file `target` (replaced when it
  // exists). Damaged data or a failure inside the library is not reported:
  // the file then holds whatever the library delivered. Throws EStreamError
  // when the target cannot be created or the input cannot be copied.
  //
  // `maxOutput` (when not negative) guards against a stream that expands far
  // beyond what its item declares: once the output passes that many bytes,
  // nothing more is written and the input is ended, so the file holds at
  // most `maxOutput` bytes plus one piece of the library's output, and the
  // caller's size check fails.
  void ExpandToFile(const std::string& target, const void* bytes, int32_t count, int64_t maxOutput = -1);

 private:
  using ImplodeProc = unsigned(__cdecl*)(unsigned(__cdecl*)(char*, unsigned*, void*),
                                         void(__cdecl*)(char*, unsigned*, void*), char*, void*,
                                         unsigned*, unsigned*);
  using ExplodeProc = unsigned(__cdecl*)(unsigned(__cdecl*)(char*, unsigned*, void*),
                                         void(__cdecl*)(char*, unsigned*, void*), char*, void*);
  using Crc32Proc = unsigned long(__cdecl*)(char*, unsigned*, unsigned long*);

  static unsigned __cdecl ReadCallback(char* buf, unsigned* size, void* param);
  static void __cdecl WriteCallback(char* buf, unsigned* size, void* param);

  // The library entry points, the two streams of one expansion, and the library.
  ImplodeProc implode_ = nullptr;
  ExplodeProc explode_ = nullptr;
  Crc32Proc crc32_ = nullptr;
  HANDLE output_ = INVALID_HANDLE_VALUE;  // target file, during ExpandToFile only
  std::vector<uint8_t> input_;            // copy of the compressed bytes, during ExpandToFile only
  size_t inputPos_ = 0;
  int64_t outputLimit_ = -1;               // no limit when negative
  int64_t outputWritten_ = 0;
  bool overrun_ = false;                   // the output passed its limit
  unsigned long writeError_ = 0;           // the first failed write's error (the expansion then stops)
  bool loaded_ = false;
  HMODULE library_ = nullptr;
};

}  // namespace ss
