// Files and folders for the Windows-side tests (unit and end to end), kept
// apart from the code under test: whole-file reads and writes, the system's
// directories, and scratch folders that clean up after themselves.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace sstest {

// The whole file, or nothing if it cannot be opened or read. Others may keep
// it open for writing meanwhile.
inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  const DWORD size = GetFileSize(h, nullptr);
  if (size != INVALID_FILE_SIZE) {
    bytes.resize(size);
    DWORD got = 0;
    if (size != 0 && !::ReadFile(h, bytes.data(), size, &got, nullptr)) got = 0;
    bytes.resize(got);
  }
  CloseHandle(h);
  return bytes;
}

// Replaces the file with `bytes`; true when all of them were written.
inline bool WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // Written in slices: one WriteFile of many megabytes is slow under Wine.
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    ok = ::WriteFile(h, bytes.data() + done, n, &written, nullptr) && written == n;
    done += n;
  }
  CloseHandle(h);
  return ok;
}

// The same for text: the file's bytes as a string, and a string written as
// the whole file.
inline std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}
inline bool WriteText(const std::string& path, const std::string& text) {
  return WriteAll(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Whether a file (not a folder), a folder, or either is at `path`.
inline bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
inline bool DirExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string WithSlash(std::string s) {
  if (!s.empty() && s.back() != '\\') s += '\\';
  return s;
}

// The system, Windows and temporary directories, each with a trailing
// backslash.
inline std::string SystemDir() {
  char buf[MAX_PATH] = {};
  GetSystemDirectoryA(buf, MAX_PATH);
  return WithSlash(buf);
}

inline std::string WindowsDir() {
  char buf[MAX_PATH] = {};
  GetWindowsDirectoryA(buf, MAX_PATH);
  return WithSlash(buf);
}

inline std::string TempDir() {
  char buf[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, buf);
  return WithSlash(buf);
}

// A fresh folder under the system's temporary path, removed with everything
// in it afterwards. Its path ends with a backslash.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag = "wst") {
    char base[MAX_PATH + 1];
    GetTempPathA(sizeof base, base);
    for (int n = 0;; ++n) {
      path_ = std::string(base) + "ss-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(n);
      if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
    path_ += "\\";
  }
  ~ScratchDir() { Wipe(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

  // Removes a tree without the code under test, clearing attributes as it
  // goes; links are removed, not followed.
  static void Wipe(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = dir + name;
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
          Wipe(full + "\\");
        } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveDirectoryA(full.c_str());
        } else {
          DeleteFileA(full.c_str());
        }
      } while (FindNextFileA(h, &fd));
      FindClose(h);
    }
    RemoveDirectoryA(dir.substr(0, dir.size() - 1).c_str());
  }

 private:
  std::string path_;
};

}  // namespace sstest
