// Entry point of the installer stub. Until the installer windows exist this
// only checks that a package is attached: it reports the start-up failure box
// for a stub without one ("/q" reports through the exit code only).
#include <windows.h>

#include <cstring>
#include <string>

#include "app/DebugLog.h"
#include "app/MessageDlg.h"
#include "package/PackageRecords.h"

namespace {

// Size of the program image in its file: the end of its last section.
DWORD ImageFileSize() {
  auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  DWORD end = 0;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
    const DWORD last = section[i].PointerToRawData + section[i].SizeOfRawData;
    if (last > end) end = last;
  }
  return end;
}

bool QuietSwitch(const char* commandLine) {
  std::string line(commandLine ? commandLine : "");
  for (char& c : line) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return line.find("/q") != std::string::npos;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  ss::Result result = ss::kOk;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    result = static_cast<ss::Result>(GetLastError());
  } else {
    const DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    if (size < ImageFileSize() + ss::kPackageHeaderSize) result = ss::kErrShortHeader;
  }
  ss::DebugLog("install error: " + std::to_string(result));
  if (result != ss::kOk && !QuietSwitch(commandLine)) ss::ShowStartupFailure(result);
  return result;
}
