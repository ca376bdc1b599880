// Whole-file reading and careful writing for the package builder. Paths are
// UTF-8 strings. A read that fails is a fault of the input (kExitFault), a
// write that fails one of the output (kExitWrite).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/ToolResult.h"

namespace ss::pack {

// Reads a regular file of at most maxSize bytes.
ToolResult ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, uint64_t maxSize = 0x7FFFFFFF);

// Writes the bytes to a temporary file in a WorkFolder beside `path` and then
// renames it over `path`, so that a failed write never leaves half a file
// nor destroys what was there before. The rename replaces whatever has the
// name `path` (a link there is replaced, not followed); nothing else outside
// the work folder is written.
ToolResult ReplaceWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Creates a file that must not exist yet (no following of a link in its
// place) and writes the bytes. *existed (when given) tells a name clash from
// other faults.
ToolResult WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool* existed = nullptr);

// A folder made for one build in the folder of `beside`, named
// "sspack-work-" and a unique suffix, and created exclusively: by mkdtemp
// (mode 0700) on POSIX, by CreateDirectory under a fresh name (which fails
// when anything, a link included, has that name) on Windows. A build keeps
// its temporary files in it, so that nothing is written through a link
// planted under a predictable name beside its output. The folder and what
// is in it are removed when the object goes, on every path.
class WorkFolder {
 public:
  WorkFolder() = default;
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // False with a message naming the folder it could not make.
  ToolResult Create(const std::string& beside);
  // A name inside the folder.
  std::string File(const std::string& name) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Creates root (with its parents) and then the folders of `relative` below
// it. Below root a link in place of a folder is refused, so that nothing is
// written through it to somewhere else.
ToolResult MakeFolders(const std::string& root, const std::string& relative);

}  // namespace ss::pack
