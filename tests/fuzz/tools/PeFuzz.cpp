// Damaged Windows images through sspack's PE reader and its library check:
// nothing may crash or read out of bounds, and what the reader returns is
// bounded by the file. Every imported or exported name comes from a table
// entry of at least 4 bytes within the file, so a file of N bytes gives at
// most N / 4 names; and the names' letters are held within a read budget.
//
// ReadPeImage takes no budget of its own yet; kNameBudget is this target's
// bound on the letters it may return for an input of the fuzzer's sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/PeImage.h"

namespace {

constexpr uint64_t kNameBudget = 16ull << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  ss::pack::PeImage image;
  std::string error;
  if (ss::pack::ReadPeImage(bytes, &image, &error)) {
    uint64_t names = image.exports.size(), letters = 0;
    for (const std::string& name : image.exports) letters += name.size();
    for (const ss::pack::PeImport& lib : image.imports) {
      names += lib.names.size() + lib.ordinals.size();
      letters += lib.library.size();
      for (const std::string& name : lib.names) letters += name.size();
    }
    if (names > size / 4 || letters > kNameBudget) std::abort();
  }
  (void)ss::pack::DecompressionLibraryFault(bytes);
  return 0;
}
