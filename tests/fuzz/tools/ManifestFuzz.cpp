// Manifests through sspack's reader, and author folders through "sspack
// init" (tests/fuzz/tools/ManifestFuzzInput.h gives the input's forms).
//
// A manifest read without --allow-outside packs nothing from outside its
// folder, links resolved: every file it takes lies inside. What init writes
// parses, holds exactly the keys it says it chose (a file's name cannot end
// a comment and add keys), names files of the folder by their very names,
// and reads back without a path outside the folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/fuzz/tools/ManifestFuzzInput.h"
#include "tools/manifest/ManifestReader.h"
#include "tools/manifest/ManifestDraft.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path& Scratch() {
  // Never destroyed, so that the clean-up at exit still finds it.
  static const fs::path& dir = *new fs::path([] {
    const fs::path d = fs::temp_directory_path() / ("sspack-manifest-fuzz-" + std::to_string(::getpid()));
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(Scratch(), ec);
    });
    fuzz::MakeAuthorFolder(d);
    return d;
  }());
  return dir;
}

bool Inside(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  const fs::path real = fs::weakly_canonical(path, ec);
  if (ec) return false;
  auto p = real.begin();
  for (const fs::path& part : folder) {
    if (p == real.end() || *p != part) return false;
    ++p;
  }
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadManifest(const std::string& text) {
  const fs::path author = Scratch() / "author";
  static const fs::path home = fs::canonical(author);
  ss::pack::ManifestOptions options;
  options.impborlPath = (Scratch() / "bin/impborl.dll").string();
  options.installerName = "Setup.exe";
  ss::pack::PackageInput input;
  std::vector<std::string> notes, outside;
  if (!ss::pack::LoadManifestText(text, author.string(), options, &input, &notes, nullptr, &outside).ok()) {
    return;
  }
  Check(outside.empty());
  for (int i = 0; i < ss::kSegmentCount; ++i) {
    // Segment 1, the library, comes from the command line.
    if (i == ss::kSegLibrary || !input.segments[i]) continue;
    Check(Inside(fs::u8path(input.segments[i]->source), home));
  }
}

void Init(const uint8_t* data, size_t size) {
  const std::vector<fuzz::FolderItem> items = fuzz::ParseFolder(data, size);
  const fs::path dir = Scratch() / "init";
  std::error_code ec;
  fs::remove_all(dir, ec);
  fuzz::MakeFolder(dir, items);
  ss::pack::ManifestDraft draft;
  if (!ss::pack::DraftManifest(dir.string(), (dir / "saver.json").string(), &draft).ok()) return;

  json doc;
  try {
    doc = json::parse(draft.text, nullptr, true, true);
  } catch (const json::exception&) {
    std::abort();
  }
  std::set<std::string> keys, chosen;
  for (auto it = doc.begin(); it != doc.end(); ++it) keys.insert(it.key());
  for (const std::string& line : draft.chosen) chosen.insert(line.substr(0, line.find(':')));
  Check(keys == chosen);

  // Every path it writes names a file or folder made here, as it is named.
  std::vector<json> paths;
  for (const char* key : {"license", "document", "flashSetup", "engine", "supportFile"}) {
    if (doc.contains(key)) paths.push_back(doc[key]);
  }
  if (doc.contains("presentation") && doc["presentation"].contains("file")) paths.push_back(doc["presentation"]["file"]);
  if (doc.contains("supportLibraries")) {
    for (const json& lib : doc["supportLibraries"]) paths.push_back(lib);
  }
  if (doc.contains("data")) {
    for (const char* key : {"folder", "settings"}) {
      if (doc["data"].contains(key)) paths.push_back(doc["data"][key]);
    }
  }
  std::set<std::string> made;
  for (const fuzz::FolderItem& item : items) made.insert(item.name);
  for (const json& p : paths) {
    Check(p.is_string());
    const std::string name = p.get<std::string>();
    Check(made.count(name) == 1);
    Check(fs::exists(dir / fs::u8path(name), ec));
  }

  // Read back, it takes nothing from outside the folder.
  ss::pack::ManifestOptions options;
  options.impborlPath = (Scratch() / "bin/impborl.dll").string();
  options.installerName = "Setup.exe";
  ss::pack::PackageInput input;
  std::vector<std::string> notes;
  const ss::pack::ToolResult loaded = ss::pack::LoadManifestText(draft.text, dir.string(), options, &input, &notes);
  if (!loaded.ok()) {
    Check(loaded.message().find("outside the manifest's folder") == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] % 2 == 0) {
    ReadManifest(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  } else {
    Init(data + 1, size - 1);
  }
  return 0;
}
