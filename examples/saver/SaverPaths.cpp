#include "examples/saver/SaverPaths.h"

#include <windows.h>

#include <vector>

namespace ss::sample {

std::string LongFileNameOf(const std::string& path) {
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA(path.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return path;
  FindClose(find);
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(fd.cFileName) : path.substr(0, slash + 1) + fd.cFileName;
}

std::string LongPathOf(const std::string& path) {
  using GetLongPathNameFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
  // Looked up at run time: Windows 95 lacks it.
  const auto getLong = reinterpret_cast<GetLongPathNameFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetLongPathNameA")));
  if (!getLong) return LongFileNameOf(path);
  std::vector<char> buf(MAX_PATH + 1);
  DWORD n = getLong(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = getLong(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  }
  if (n > 0 && n < buf.size()) return std::string(buf.data(), n);
  return LongFileNameOf(path);
}

std::string OwnEnginePath() {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return "";
    if (n < buf.size() - 1) return LongPathOf(std::string(buf.data(), n));
    buf.resize(buf.size() * 2);
  }
}

}  // namespace ss::sample
