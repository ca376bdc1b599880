// TCompressor, the binding to impborl.dll.
#include "package/TCompressor.h"

#include <cstring>
#include <new>

#include "app/DebugLog.h"

namespace ss {
namespace {

constexpr const char* kLibraryName = "impborl.dll";
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
  loaded_ = false;
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
      library_ = h;
    }
  }
  if (code == 0) {
    loaded_ = true;
    implode_ = reinterpret_cast<ImplodeProc>(
        reinterpret_cast<void*>(GetProcAddress(library_, "_implode")));
    explode_ = reinterpret_cast<ExplodeProc>(
        reinterpret_cast<void*>(GetProcAddress(library_, "_explode")));
    crc32_ = reinterpret_cast<Crc32Proc>(
        reinterpret_cast<void*>(GetProcAddress(library_, "_crc32")));
    if (implode_ == nullptr || explode_ == nullptr || crc32_ == nullptr) code = kCodeEntryMissing;
  }
  if (code != 0) {
    DebugLog("TCompressor.Create failed: " + std::to_string(code));
    if (loaded_) {
      FreeLibrary(library_);
      library_ = nullptr;
      loaded_ = false;
    }
    implode_ = nullptr;
    explode_ = nullptr;
    crc32_ = nullptr;
  }
}

TCompressor::~TCompressor() {
  if (loaded_) {
    FreeLibrary(library_);
    library_ = nullptr;
    loaded_ = false;
  }
}

void TCompressor::ExpandToFile(const std::string& target, const void* bytes, int32_t count, int64_t maxOutput) {
  // Frees both streams on every way out.
  struct StreamsGuard {
    TCompressor* self;
    ~StreamsGuard() {
      if (self->output_ != INVALID_HANDLE_VALUE) CloseHandle(self->output_);
      self->output_ = INVALID_HANDLE_VALUE;
      std::vector<uint8_t>().swap(self->input_);
      self->inputPos_ = 0;
    }
  } guard{this};

  const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
  try {
    input_.resize(n);
  } catch (const std::bad_alloc&) {
    throw EStreamError("Out of memory while expanding memory stream");
  }
  if (n > 0) std::memcpy(input_.data(), bytes, n);
  inputPos_ = 0;
  outputLimit_ = maxOutput;
  outputWritten_ = 0;
  overrun_ = false;
  writeError_ = 0;

  output_ = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output_ == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    throw EStreamError("Cannot create file " + target, error);
  }

  if (explode_ != nullptr) {
    TCompressor* self = this;
    explode_(ReadCallback, WriteCallback, g_workArea, &self);
  }
  // A target that could not be written (a full disk, say) is reported with
  // the system's reason, not later as a file of the wrong size.
  if (writeError_ != 0) throw EStreamError("Cannot write file " + target, writeError_);
}

unsigned __cdecl TCompressor::ReadCallback(char* buf, unsigned* size, void* param) {
  try {
    TCompressor* self = *static_cast<TCompressor**>(param);
    if (self->overrun_ || self->writeError_ != 0) return 0;  // end the stream: the output is lost already
    size_t left = self->input_.size() - self->inputPos_;
    size_t n = *size < left ? *size : left;
    if (n > 0) std::memcpy(buf, self->input_.data() + self->inputPos_, n);
    self->inputPos_ += n;
    return static_cast<unsigned>(n);
  } catch (...) {
    return 0;
  }
}

void __cdecl TCompressor::WriteCallback(char* buf, unsigned* size, void* param) {
  try {
    TCompressor* self = *static_cast<TCompressor**>(param);
    if (self->overrun_ || self->writeError_ != 0) return;
    // A write that comes up short is repeated for the rest, so that a full
    // disk shows as its own error rather than as a short file.
    const char* p = buf;
    DWORD left = *size;
    while (left > 0) {
      DWORD written = 0;
      if (!WriteFile(self->output_, p, left, &written, nullptr)) {
        const DWORD error = GetLastError();
        self->writeError_ = error != 0 ? error : ERROR_WRITE_FAULT;
        return;
      }
      if (written == 0) {
        self->writeError_ = ERROR_DISK_FULL;
        return;
      }
      p += written;
      left -= written;
    }
    self->outputWritten_ += *size;
    if (self->outputLimit_ >= 0 && self->outputWritten_ > self->outputLimit_) self->overrun_ = true;
  } catch (...) {
  }
}

}  // namespace ss
