#include "tools/common/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

namespace ss::pack {
namespace fs = std::filesystem;

namespace {

fs::path PathOf(const std::string& utf8) { return fs::u8path(utf8); }

#ifdef _WIN32
int OpenNew(const fs::path& p) {
  return _wopen(p.wstring().c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                _S_IREAD | _S_IWRITE);
}
int WriteSome(int fd, const uint8_t* data, size_t size) {
  const unsigned chunk = size > 0x40000000 ? 0x40000000u : static_cast<unsigned>(size);
  return _write(fd, data, chunk);
}
int CloseFd(int fd) { return _close(fd); }
#else
int OpenNew(const fs::path& p) {
  return open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0644);
}
ssize_t WriteSome(int fd, const uint8_t* data, size_t size) { return write(fd, data, size); }
int CloseFd(int fd) { return close(fd); }
#endif

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto n = WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ToolResult ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, uint64_t maxSize) {
  std::error_code ec;
  const fs::path p = PathOf(path);
  const fs::file_status status = fs::status(p, ec);
  if (ec || !fs::exists(status)) {
    return ToolResult::Fault(path + ": file not found");
  }
  if (!fs::is_regular_file(status)) {
    return ToolResult::Fault(path + ": not a regular file");
  }
  const uintmax_t size = fs::file_size(p, ec);
  if (ec) {
    return ToolResult::Fault(path + ": cannot read its size: " + ec.message());
  }
  if (size > maxSize) {
    return ToolResult::Fault(path + ": too large (" + std::to_string(size) + " bytes, at most " +
             std::to_string(maxSize) + ")");
  }
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    return ToolResult::Fault(path + ": cannot open: " + std::strerror(errno));
  }
  out->assign(static_cast<size_t>(size), 0);
  if (size > 0 && !in.read(reinterpret_cast<char*>(out->data()), static_cast<std::streamsize>(size))) {
    return ToolResult::Fault(path + ": read error");
  }
  // A file that grew while being read is read as it was when measured.
  return ToolResult();
}

ToolResult ReplaceWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const fs::path target = PathOf(path);
  std::error_code ec;
  if (fs::is_directory(target, ec)) {
    return ToolResult::WriteFault(path + ": is a folder");
  }
  WorkFolder work;
  if (ToolResult made = work.Create(path); !made.ok()) return made;
  const fs::path temp = PathOf(work.File("new"));
  if (ToolResult written = WriteNewFile(temp.u8string(), bytes); !written.ok()) return written;
  fs::rename(temp, target, ec);
  if (ec) {
    return ToolResult::WriteFault(path + ": cannot replace the file: " + ec.message());
  }
  return ToolResult();
}

WorkFolder::~WorkFolder() {
  if (path_.empty()) return;
  // remove_all removes a link found inside, never what it points to.
  std::error_code ec;
  fs::remove_all(PathOf(path_), ec);
}

ToolResult WorkFolder::Create(const std::string& beside) {
  fs::path parent = PathOf(beside).parent_path();
  if (parent.empty()) parent = ".";
  const fs::path stem = parent / "sspack-work-";
#ifdef _WIN32
  // The name need not be secret: CreateDirectory fails on any name that is
  // taken, so a name planted in advance only costs another attempt.
  static LONG counter = 0;
  DWORD code = ERROR_ALREADY_EXISTS;
  for (int attempt = 0; attempt < 100 && code == ERROR_ALREADY_EXISTS; ++attempt) {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    const uint64_t mix = static_cast<uint64_t>(now.QuadPart) ^
                         (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^
                         (static_cast<uint64_t>(InterlockedIncrement(&counter)) * 0x9E3779B97F4A7C15ull);
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(mix));
    fs::path candidate = stem;
    candidate += suffix;
    if (CreateDirectoryW(candidate.wstring().c_str(), nullptr)) {
      path_ = candidate.u8string();
      return ToolResult();
    }
    code = GetLastError();
  }
  return ToolResult::WriteFault(stem.u8string() + "*: cannot create a work folder: " +
           std::system_category().message(static_cast<int>(code)));
#else
  std::string name = stem.native() + "XXXXXX";
  if (mkdtemp(&name[0]) == nullptr) {
    return ToolResult::WriteFault(stem.u8string() + "XXXXXX: cannot create a work folder: " + std::strerror(errno));
  }
  path_ = name;
  return ToolResult();
#endif
}

std::string WorkFolder::File(const std::string& name) const {
  return (PathOf(path_) / PathOf(name)).u8string();
}

ToolResult WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool* existed) {
  if (existed != nullptr) *existed = false;
  const fs::path p = PathOf(path);
  const int fd = OpenNew(p);
  if (fd < 0) {
    if (existed != nullptr) *existed = errno == EEXIST;
    return ToolResult::WriteFault(path + ": cannot create: " + std::strerror(errno));
  }
  const bool written = WriteAll(fd, bytes);
  int failure = written ? 0 : errno;
  const bool closed = CloseFd(fd) == 0;
  if (written && !closed) failure = errno;
  if (!written || !closed) {
    // Half a file is worse than none.
    std::error_code ec;
    fs::remove(p, ec);
    return ToolResult::WriteFault(path + ": write failed: " + std::strerror(failure));
  }
  return ToolResult();
}

ToolResult MakeFolders(const std::string& root, const std::string& relative) {
  std::error_code ec;
  fs::path built = PathOf(root);
  if (!fs::is_directory(built, ec)) {
    fs::create_directories(built, ec);
    if (ec) {
      return ToolResult::WriteFault(root + ": cannot create the folder: " + ec.message());
    }
  }
  for (const fs::path& part : PathOf(relative)) {
    built /= part;
    const fs::file_status status = fs::symlink_status(built, ec);
    if (fs::is_symlink(status)) {
      return ToolResult::WriteFault(built.u8string() + ": is a link; nothing is written through it");
    }
    if (fs::is_directory(status)) continue;
    if (fs::exists(status)) {
      return ToolResult::WriteFault(built.u8string() + ": exists and is not a folder");
    }
    if (!fs::create_directory(built, ec) || ec) {
      return ToolResult::WriteFault(built.u8string() + ": cannot create the folder: " +
               (ec ? ec.message() : std::string("unknown error")));
    }
  }
  return ToolResult();
}

}  // namespace ss::pack
