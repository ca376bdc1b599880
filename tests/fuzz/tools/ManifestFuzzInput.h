// The inputs of the manifest fuzzer, shared with its seed writer.
//
// The first byte picks the form. Even: the rest is a manifest, read with the
// author's folder of MakeAuthorFolder as its folder. Odd: the rest is a
// folder for "sspack init": items separated by '/', each a kind byte and a
// file name (see FolderItem).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

// An author's folder below `scratch`: scratch/author holds the files a
// manifest names (src/...), a link to a file outside it and a data folder
// with a link pointing out; scratch/away lies outside it, scratch/bin holds
// the decompression library. Returns scratch/author.
std::filesystem::path MakeAuthorFolder(const std::filesystem::path& scratch);

enum class ItemKind : uint8_t { kFile, kSettings, kFolder, kEngine };

struct FolderItem {
  ItemKind kind = ItemKind::kFile;
  std::string name;  // a file's name, any bytes but '/' and NUL
};

// The items of an init input (after its first byte); at most 24.
std::vector<FolderItem> ParseFolder(const uint8_t* data, size_t size);

// Creates the items in `dir`: a file of a few bytes (a picture's or movie's
// signature by its extension), a file of the engine's 1232 setting bytes, a
// folder holding one file, or an engine whose bytes name every item. Items
// that cannot be made are left out.
void MakeFolder(const std::filesystem::path& dir, const std::vector<FolderItem>& items);

// Seeds: manifests as authors write them (and some that climb out), and
// author folders for init, names with line breaks and quotes among them.
std::vector<std::string> ManifestSeeds();

}  // namespace fuzz
