#include "core/WinFile.h"

namespace ss {
namespace {

template <typename Bytes>
Result ReadWhole(const std::string& path, DWORD maxSize, Bytes* bytes, Result tooBig) {
  bytes->clear();
  FileHandle file = OpenForReading(path);
  if (!file) return LastErrorOr(kErrFileMissing);
  int64_t size = 0;
  if (Result rc = FileSize(file.get(), &size); rc != kOk) return rc;
  if (size > maxSize) return tooBig;
  bytes->resize(static_cast<size_t>(size));
  if (ReadExact(file.get(), bytes->data(), static_cast<DWORD>(size)) != kOk) {
    bytes->clear();
    return kIoReadPastEnd;
  }
  return kOk;
}

}  // namespace

Result LastErrorOr(Result fallback) {
  const DWORD e = GetLastError();
  return e != 0 ? static_cast<Result>(e) : fallback;
}

FileHandle OpenForReading(const std::string& path) {
  return FileHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle CreateForWriting(const std::string& path) {
  return FileHandle(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Result ReadExact(HANDLE file, void* buffer, DWORD size, Result shortCode, Result failed) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    DWORD got = 0;
    if (!ReadFile(file, p, size, &got, nullptr)) return LastErrorOr(failed);
    if (got == 0) return shortCode;
    p += got;
    size -= got;
  }
  return kOk;
}

Result WriteAll(HANDLE file, const void* data, DWORD size, Result stalled, Result failed) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, p, size, &written, nullptr)) return LastErrorOr(failed);
    if (written == 0) return stalled;
    p += written;
    size -= written;
  }
  return kOk;
}

Result FileSize(HANDLE file, int64_t* size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return LastErrorOr(kIoReadPastEnd);
  *size = (static_cast<int64_t>(high) << 32) | low;
  return kOk;
}

Result ReadWholeFile(const std::string& path, DWORD maxSize, std::string* bytes, Result tooBig) {
  return ReadWhole(path, maxSize, bytes, tooBig);
}

Result ReadWholeFile(const std::string& path, DWORD maxSize, std::vector<uint8_t>* bytes, Result tooBig) {
  return ReadWhole(path, maxSize, bytes, tooBig);
}

}  // namespace ss
