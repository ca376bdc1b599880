// Whole-file reading and careful writing for the package builder. Paths are
// UTF-8 strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ss::pack {

// Reads a regular file of at most maxSize bytes.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* error,
                   uint64_t maxSize = 0x7FFFFFFF);

// Writes the bytes to a temporary file in a WorkFolder beside `path` and then
// renames it over `path`, so that a failed write never leaves half a file
// nor destroys what was there before. The rename replaces whatever has the
// name `path` (a link there is replaced, not followed); nothing else outside
// the work folder is written.
bool ReplaceWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// Creates a file that must not exist yet (no following of a link in its
// place) and writes the bytes. *existed tells a name clash from other faults.
bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool* existed,
                  std::string* error);

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
  bool Create(const std::string& beside, std::string* error);
  // A name inside the folder.
  std::string File(const std::string& name) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Creates root (with its parents) and then the folders of `relative` below
// it. Below root a link in place of a folder is refused, so that nothing is
// written through it to somewhere else.
bool MakeFolders(const std::string& root, const std::string& relative, std::string* error);

}  // namespace ss::pack
