// Reads PackageOffset at run time and compares it with the size of its own
// file. It is linked and stamped exactly like the installer stub, so a pass
// shows that the stamped value, not the compiled-in placeholder, is what the
// program's code reads. Exit code 0 when they agree.
#include <windows.h>

#include <cstdio>

#include "core/PackageOffset.h"

int main() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    std::printf("cannot find my own file name (error %lu)\n", GetLastError());
    return 2;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
    std::printf("cannot read the size of %s (error %lu)\n", path, GetLastError());
    return 2;
  }
  const unsigned long size = data.nFileSizeLow;
  std::printf("PackageOffset %ld, file size %lu\n", static_cast<long>(PackageOffset), size);
  return static_cast<unsigned long>(PackageOffset) == size && data.nFileSizeHigh == 0 ? 0 : 1;
}
