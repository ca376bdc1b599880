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

// Writes the bytes to a temporary file beside `path` and then renames it over
// `path`, so that a failed write never leaves half a file nor destroys what
// was there before.
bool ReplaceWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// Creates a file that must not exist yet (no following of a link in its
// place) and writes the bytes. *existed tells a name clash from other faults.
bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, bool* existed,
                  std::string* error);

// Creates root (with its parents) and then the folders of `relative` below
// it. Below root a link in place of a folder is refused, so that nothing is
// written through it to somewhere else.
bool MakeFolders(const std::string& root, const std::string& relative, std::string* error);

}  // namespace ss::pack
