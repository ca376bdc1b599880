// Windows file I/O the rooms share: the thread's last error as a result
// code, opening, exact reads, complete writes, a file's size and whole small
// files. Only calls that Windows 95 and NT 4.0 have. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/ResultCodes.h"
#include "core/WinHandles.h"

namespace ss {

// The thread's last error as a result code, or `fallback` when Windows left
// none: a failure never reads as success. Take it right after the failing
// call, before anything else can set it.
Result LastErrorOr(Result fallback);

// An existing file opened for reading, shared with other readers; and a
// file created (or emptied) for writing, shared with nobody. Invalid on
// failure, with the reason in the last error.
FileHandle OpenForReading(const std::string& path);
FileHandle CreateForWriting(const std::string& path);

// Reads exactly `size` bytes. A file that ends first gives `shortCode`; a
// failed read gives the system's number, or `failed` when it leaves none.
Result ReadExact(HANDLE file, void* buffer, DWORD size, Result shortCode = kIoReadPastEnd,
                 Result failed = kIoReadPastEnd);

// Writes all `size` bytes: a write that comes up short is repeated for the
// rest, so that a full disk shows as the system's own error. A write that
// makes no progress gives `stalled`; a failed write gives the system's
// number, or `failed` when it leaves none.
Result WriteAll(HANDLE file, const void* data, DWORD size, Result stalled = kIoWriteFailed,
                Result failed = kIoWriteFailed);

// The size of an open file, through GetFileSize with its high half (the Ex
// form is missing on Windows 95 and NT 4.0). An all-ones low half is also a
// valid size, so only a last error tells a failure.
Result FileSize(HANDLE file, int64_t* size);

// The whole of a small file. A file above `maxSize` bytes gives `tooBig`
// and nothing is read. An open failure or an unreadable size gives the
// system's number (kErrFileMissing when it leaves none), a read that fails
// or ends early kIoReadPastEnd. `bytes` is empty after a failure.
Result ReadWholeFile(const std::string& path, DWORD maxSize, std::string* bytes, Result tooBig = kErrGeneric);
Result ReadWholeFile(const std::string& path, DWORD maxSize, std::vector<uint8_t>* bytes,
                     Result tooBig = kErrGeneric);

}  // namespace ss
