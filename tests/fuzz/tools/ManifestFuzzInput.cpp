#include "tests/fuzz/tools/ManifestFuzzInput.h"

#include <fstream>

#include "tests/support/PackFixtures.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> WithHead(std::vector<uint8_t> bytes, std::initializer_list<uint8_t> head) {
  std::copy(head.begin(), head.end(), bytes.begin());
  return bytes;
}

std::string Item(ItemKind kind, const std::string& name) { return std::string(1, static_cast<char>(kind)) + name; }

}  // namespace

fs::path MakeAuthorFolder(const fs::path& scratch) {
  using ss::pack::MakeNoiseBytes;
  using ss::pack::MakeTextBytes;
  fs::remove_all(scratch);
  const fs::path author = scratch / "author";
  Write(scratch / "bin/impborl.dll", ss::pack::MakeStandInLibrary());
  Write(author / "src/movie.swf", WithHead(MakeTextBytes(600, 2), {'F', 'W', 'S', 7}));
  Write(author / "src/picture.bmp", WithHead(MakeTextBytes(500, 3), {'B', 'M'}));
  Write(author / "src/picture.jpg", WithHead(MakeNoiseBytes(500, 3), {0xFF, 0xD8, 0xFF}));
  Write(author / "src/license.txt", MakeTextBytes(300, 4));
  Write(author / "src/readme.htm", MakeTextBytes(200, 5));
  Write(author / "src/flashax7.exe", MakeNoiseBytes(300, 6));
  Write(author / "src/engine.scr", MakeNoiseBytes(800, 7));
  Write(author / "src/support.dat", MakeTextBytes(70, 8));
  Write(author / "src/one.dll", MakeNoiseBytes(90, 9));
  Write(author / "src/two.dll", MakeNoiseBytes(90, 10));
  Write(author / "src/settings.bin", MakeNoiseBytes(1232, 11));
  Write(author / "src/media/a.txt", MakeTextBytes(400, 12));
  Write(author / "src/media/pics/b.bin", MakeNoiseBytes(300, 13));
  Write(author / "src/media/pics/deeper/c.txt", MakeTextBytes(100, 14));
  Write(author / "src/small/one.txt", MakeTextBytes(10, 15));
  Write(scratch / "away/secret.txt", MakeTextBytes(50, 16));
  Write(scratch / "away/media/x.txt", MakeTextBytes(50, 17));
  std::error_code ec;
  fs::create_symlink(scratch / "away/secret.txt", author / "src/link.dll", ec);
  fs::create_symlink(scratch / "away/media", author / "src/media-link", ec);
  fs::create_directories(author / "src/linked", ec);
  fs::create_symlink(scratch / "away/secret.txt", author / "src/linked/out.txt", ec);
  fs::create_symlink(author / "src/one.dll", author / "src/inner.dll", ec);
  return author;
}

std::vector<FolderItem> ParseFolder(const uint8_t* data, size_t size) {
  std::vector<FolderItem> items;
  size_t at = 0;
  while (at < size && items.size() < 24) {
    size_t end = at;
    while (end < size && data[end] != '/') ++end;
    if (end > at) {
      FolderItem item;
      item.kind = static_cast<ItemKind>(data[at] % 4);
      for (size_t i = at + 1; i < end && item.name.size() < 200; ++i) {
        if (data[i] != 0) item.name.push_back(static_cast<char>(data[i]));
      }
      if (!item.name.empty() && item.name != "." && item.name != "..") items.push_back(item);
    }
    at = end + 1;
  }
  return items;
}

void MakeFolder(const fs::path& dir, const std::vector<FolderItem>& items) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::vector<uint8_t> names;
  for (const FolderItem& item : items) {
    names.push_back('\\');
    names.insert(names.end(), item.name.begin(), item.name.end());
    names.push_back(0);
  }
  for (const FolderItem& item : items) {
    const fs::path path = dir / item.name;
    if (fs::exists(fs::symlink_status(path, ec))) continue;
    std::vector<uint8_t> bytes = ss::pack::MakeTextBytes(40, 1);
    const std::string ext = path.extension().string();
    if (ext == ".bmp") bytes = WithHead(bytes, {'B', 'M'});
    if (ext == ".swf") bytes = WithHead(bytes, {'F', 'W', 'S', 6});
    if (ext == ".jpg" || ext == ".jpeg") bytes = WithHead(bytes, {0xFF, 0xD8, 0xFF});
    switch (item.kind) {
      case ItemKind::kFile:
        Write(path, bytes);
        break;
      case ItemKind::kSettings:
        Write(path, ss::pack::MakeNoiseBytes(1232, 2));
        break;
      case ItemKind::kFolder:
        Write(path / "a.txt", bytes);
        break;
      case ItemKind::kEngine:
        Write(path, names);
        break;
    }
  }
}

std::vector<std::string> ManifestSeeds() {
  const std::string full = R"({
  "title": "Aqua Deep Sea",
  "presentation": {"kind": "flash", "file": "src/movie.swf"},
  "license": "src/license.txt",
  "document": {"file": "src/readme.htm", "compress": "store"},
  "flashSetup": "src/flashax7.exe",
  "flashVersionIndex": 1,
  "displayProperties": false,
  "engine": "src/engine.scr",
  "supportFile": "src/support.dat",
  "supportLibraries": ["src/one.dll", "src/two.dll"],
  "data": {"folder": "src/media", "settings": "src/settings.bin", "contentKind": 3,
           "movieEntry": "movie.swf", "copies": ["again.swf"], "entryOverrides": {"pics/deeper/c.txt": "store"}}
})";
  const std::string plain = R"(// a quiet one
{"title": "Deep", "presentation": {"kind": "none"}, "engine": "src/engine.scr",
 "supportFile": "src/support.dat", "supportLibraries": ["src/one.dll", "src/inner.dll"],
 "data": {"folder": "src/small"}, "compress": "store"})";
  std::vector<std::string> seeds;
  for (const std::string& text :
       {full, plain,
        std::string(R"({"title": "T", "presentation": {"kind": "jpeg", "file": "src/picture.jpg"},
          "engine": "../away/secret.txt", "supportFile": "src/link.dll", "supportLibraries": ["src/one.dll", "src/two.dll"],
          "data": {"folder": "src/media-link"}})"),
        std::string(R"({"title": "T", "presentation": {"kind": "bitmap", "file": "src/picture.bmp"},
          "engine": "src/../src/engine.scr", "supportFile": "/etc/hostname", "supportLibraries": ["src/one.dll", "src/two.dll"],
          "data": {"folder": "src/linked", "settings": "src/../../away/secret.txt"}})"),
        std::string(R"({"title": "T", "presentation": {"kind": "none"}, "engine": "src/engine.scr",
          "supportFile": "src/support.dat", "supportLibraries": ["src/one.dll", "src/two.dll"],
          "data": {"ssd": "src/support.dat"}})")}) {
    seeds.push_back(std::string(1, '\0') + text);
  }
  // Author folders: the one the init tests use, one with hostile names.
  const std::vector<std::string> folders[] = {
      {Item(ItemKind::kEngine, "Aqua Deep Sea.scr"), Item(ItemKind::kFile, "installer.bmp"),
       Item(ItemKind::kFile, "movie.swf"), Item(ItemKind::kFile, "license.txt"),
       Item(ItemKind::kFile, "readme.htm"), Item(ItemKind::kFile, "flashax7.exe"),
       Item(ItemKind::kFile, "support.dat"), Item(ItemKind::kFile, "one.dll"), Item(ItemKind::kFile, "two.dll"),
       Item(ItemKind::kSettings, "settings.bin"), Item(ItemKind::kFolder, "media")},
      {Item(ItemKind::kEngine, "Deep\"Sea.scr"), Item(ItemKind::kFolder, "me\"dia\nnext"),
       Item(ItemKind::kFile, "x\n  \"title\": \"Evil\",\n  \"y.txt"), Item(ItemKind::kFile, "a\\b.dll"),
       Item(ItemKind::kFile, "c\r.dll"), Item(ItemKind::kFile, "sup\x7Fport.dat"),
       Item(ItemKind::kSettings, "saver.dat"), Item(ItemKind::kFile, "\xFF\xFEnot utf-8.txt")},
  };
  for (const std::vector<std::string>& folder : folders) {
    std::string seed(1, '\1');
    for (const std::string& item : folder) seed += item + "/";
    seeds.push_back(seed);
  }
  return seeds;
}

}  // namespace fuzz
