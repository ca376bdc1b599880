// TCompressor, the binding to impborl.dll.
#include "package/TCompressor.h"

#include <cstring>
#include <new>

#include "core/DebugLog.h"
#include "core/WinFile.h"
#include "package/PackageRoles.h"

namespace ss {
namespace {

constexpr const char* kLibraryName = kLibraryFileName;
constexpr DWORD kCodeFileMissing = 5;
constexpr DWORD kCodeEntryMissing = 6;

// One work area for all binding objects: expansions never overlap (one
// thread).
alignas(8) char g_workArea[TCompressor::kWorkSize];

bool FileExists(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

TCompressor::TCompressor(const std::string& libraryPath) {
  DebugLog("TCompressor.Create " + libraryPath);
  DWORD code = 0;
  std::string name = kLibraryName;
  if (!libraryPath.empty()) {
    name = libraryPath + kLibraryName;
    if (!FileExists(name)) code = kCodeFileMissing;
  }
  DebugLog("libraryPath: " + name);
  if (code == 0) {
    HMODULE h = LoadLibraryA(name.c_str());
    if (reinterpret_cast<uintptr_t>(h) < 32) {
      code = GetLastError();
      if (code == 0) code = ERROR_DLL_INIT_FAILED;  // never let 0 stand for a failure
    } else {
      library_.reset(h);
    }
  }
  if (code == 0) {
    implode_ = reinterpret_cast<ImplodeProc>(
        reinterpret_cast<void*>(GetProcAddress(library_.get(), "_implode")));
    explode_ = reinterpret_cast<ExplodeProc>(
        reinterpret_cast<void*>(GetProcAddress(library_.get(), "_explode")));
    crc32_ = reinterpret_cast<Crc32Proc>(
        reinterpret_cast<void*>(GetProcAddress(library_.get(), "_crc32")));
    if (implode_ == nullptr || explode_ == nullptr || crc32_ == nullptr) code = kCodeEntryMissing;
  }
  if (code != 0) {
    DebugLog("TCompressor.Create failed: " + std::to_string(code));
    library_.reset();
    implode_ = nullptr;
    explode_ = nullptr;
    crc32_ = nullptr;
  }
}

int32_t TCompressor::BeginExpansion(const std::string& target, int64_t maxOutput) {
  outFill_ = 0;
  outputLimit_ = maxOutput;
  outputWritten_ = 0;
  outputOnDisk_ = 0;
  overrun_ = false;
  writeError_ = 0;
  readError_ = 0;
  shortRead_ = false;
  if (!outBlock_) {
    outBlock_.reset(new (std::nothrow) uint8_t[kOutputBlock]);
    if (!outBlock_) return -1;
  }
  output_ = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  return output_ == INVALID_HANDLE_VALUE ? LastErrorOr(ERROR_CANNOT_MAKE) : 0;
}

void TCompressor::RunExpansion() {
  if (explode_ != nullptr) {
    TCompressor* self = this;
    explode_(ReadCallback, WriteCallback, g_workArea, &self);
  }
  FlushOutput();
  CloseHandle(output_);
  output_ = INVALID_HANDLE_VALUE;
}

bool TCompressor::FlushOutput() {
  // A full disk shows as its own error rather than as a short file.
  const DWORD fill = static_cast<DWORD>(outFill_);
  outFill_ = 0;
  if (writeError_ != 0) return false;
  const Result rc = WriteAll(output_, outBlock_.get(), fill, ERROR_DISK_FULL, ERROR_WRITE_FAULT);
  if (rc != kOk) {
    writeError_ = static_cast<unsigned long>(rc);
    return false;
  }
  outputOnDisk_ += fill;
  return true;
}

bool TCompressor::RefillInput() {
  if (source_ == INVALID_HANDLE_VALUE || sourceLeft_ <= 0 || readError_ != 0 || shortRead_) return false;
  const DWORD want = static_cast<DWORD>(sourceLeft_ < static_cast<int64_t>(kInputBlock)
                                            ? sourceLeft_
                                            : static_cast<int64_t>(kInputBlock));
  // A file that ends before the item does cuts the item short, whether or
  // not the library would still ask for the rest.
  const Result rc = ReadExact(source_, inBlock_.get(), want, kErrShortSegment, ERROR_READ_FAULT);
  if (rc == kErrShortSegment) shortRead_ = true;
  if (rc != kOk) {
    if (!shortRead_) readError_ = static_cast<unsigned long>(rc);
    return false;
  }
  sourceLeft_ -= want;
  input_ = inBlock_.get();
  inputLeft_ = want;
  return true;
}

int32_t TCompressor::ExpandToFile(const std::string& target, const void* bytes, int32_t count, int64_t maxOutput,
                                  EStreamError* error) {
  source_ = INVALID_HANDLE_VALUE;
  input_ = static_cast<const uint8_t*>(bytes);
  inputLeft_ = bytes != nullptr && count > 0 ? static_cast<size_t>(count) : 0;
  const int32_t begun = BeginExpansion(target, maxOutput);
  EStreamError fault;
  if (begun == -1) {
    fault = {"Out of memory while expanding memory stream", 0};
  } else if (begun != 0) {
    fault = {"Cannot create file " + target, static_cast<unsigned long>(begun)};
  } else {
    RunExpansion();
    // A target that could not be written (a full disk, say) is reported with
    // the system's reason, not later as a file of the wrong size.
    if (writeError_ != 0) fault = {"Cannot write file " + target, writeError_};
  }
  input_ = nullptr;
  inputLeft_ = 0;
  if (fault.message.empty()) return 0;
  if (error != nullptr) *error = fault;
  return -1;
}

TCompressor::Outcome TCompressor::ExpandFromFile(HANDLE source, int64_t count, const std::string& target,
                                                 int64_t maxOutput, int32_t shortInput) {
  Outcome outcome;
  if (!library_) {
    outcome.result = -1;
    return outcome;
  }
  if (!inBlock_) {
    inBlock_.reset(new (std::nothrow) uint8_t[kInputBlock]);
    if (!inBlock_) {
      outcome.result = -1;
      return outcome;
    }
  }
  source_ = source;
  sourceLeft_ = count > 0 ? count : 0;
  input_ = nullptr;
  inputLeft_ = 0;
  outcome.result = BeginExpansion(target, maxOutput);
  if (outcome.result == 0) {
    outcome.created = true;
    RunExpansion();
    outcome.size = outputOnDisk_;
    if (writeError_ != 0) {
      outcome.result = static_cast<int32_t>(writeError_);
    } else if (readError_ != 0) {
      outcome.result = static_cast<int32_t>(readError_);
      outcome.readFailed = true;
    } else if (shortRead_) {
      outcome.result = shortInput;
      outcome.readFailed = true;
    }
  }
  source_ = INVALID_HANDLE_VALUE;
  input_ = nullptr;
  inputLeft_ = 0;
  return outcome;
}

unsigned __cdecl TCompressor::ReadCallback(char* buf, unsigned* size, void* param) {
  TCompressor* self = *static_cast<TCompressor**>(param);
  if (self->overrun_ || self->writeError_ != 0) return 0;  // end the stream: the output is lost already
  if (self->inputLeft_ == 0 && !self->RefillInput()) return 0;
  const size_t n = *size < self->inputLeft_ ? *size : self->inputLeft_;
  std::memcpy(buf, self->input_, n);
  self->input_ += n;
  self->inputLeft_ -= n;
  return static_cast<unsigned>(n);
}

void __cdecl TCompressor::WriteCallback(char* buf, unsigned* size, void* param) {
  TCompressor* self = *static_cast<TCompressor**>(param);
  if (self->overrun_ || self->writeError_ != 0) return;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(buf);
  size_t left = *size;
  while (left > 0) {
    if (self->outFill_ == kOutputBlock && !self->FlushOutput()) return;
    const size_t room = kOutputBlock - self->outFill_;
    const size_t n = left < room ? left : room;
    std::memcpy(self->outBlock_.get() + self->outFill_, p, n);
    self->outFill_ += n;
    p += n;
    left -= n;
  }
  self->outputWritten_ += *size;
  if (self->outputLimit_ >= 0 && self->outputWritten_ > self->outputLimit_) self->overrun_ = true;
}

}  // namespace ss
