// Damaged installers through sspack extract. Whatever the package names, the
// files land inside the folder given: each run extracts into a fresh folder
// of a private scratch directory, and afterwards nothing else exists there,
// nothing below the folder is a link, and every file listed as written is
// there. What it writes stays within the output limit the run is given: the
// sum of the files' sizes is counted here as the check that it is kept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/read/Extract.h"

namespace {

namespace fs = std::filesystem;

// Far above what a sound installer of the fuzzer's sizes expands to (the
// seeds write under 100 KiB each), far below what copies and shared records
// could make a small input name.
constexpr uint64_t kOutputBudget = 64ull << 20;

const fs::path& Scratch() {
  // Never destroyed, so that the clean-up at exit still finds it.
  static const fs::path& dir = *new fs::path([] {
    const fs::path d = fs::temp_directory_path() / ("sspack-extract-fuzz-" + std::to_string(::getpid()));
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(Scratch(), ec);
    });
    fs::remove_all(d);
    fs::create_directories(d);
    return fs::canonical(d);
  }());
  return dir;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  const fs::path box = Scratch() / "box";
  const fs::path out = box / "out";
  std::error_code ec;
  fs::remove_all(box, ec);
  fs::create_directories(box);

  const ss::pack::Extraction extracted = ss::pack::ExtractInstaller(file, out.string(), kOutputBudget);
  const std::vector<std::string>& written = extracted.written;

  // Nothing beside the output folder, here or in the scratch directory.
  for (const fs::directory_entry& e : fs::directory_iterator(Scratch())) Check(e.path() == box);
  for (const fs::directory_entry& e : fs::directory_iterator(box)) Check(e.path() == out);
  if (!extracted.result.ok()) {
    Check(written.empty());
    return 0;
  }
  uint64_t total = 0;
  for (auto it = fs::recursive_directory_iterator(out); it != fs::recursive_directory_iterator(); ++it) {
    Check(!it->is_symlink());
    if (it->is_regular_file()) total += it->file_size();
  }
  Check(total <= kOutputBudget);
  for (const std::string& name : written) {
    const fs::path path = out / fs::u8path(name);
    Check(fs::is_regular_file(fs::symlink_status(path, ec)));
    const fs::path rel = path.lexically_normal().lexically_relative(out);
    Check(!rel.empty() && *rel.begin() != "..");
  }
  return 0;
}
