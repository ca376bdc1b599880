// Damaged Windows images through sspack's PE reader and its library check:
// nothing may crash or read out of bounds, and what the reader returns stays
// within its budgets (functions, exports, the letters of all names), however
// many descriptors share one lookup table or table entries share one name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/pe/PeImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  ss::pack::PeImage image;
  if (ss::pack::ReadPeImage(bytes, &image).ok()) {
    uint64_t names = image.exports.size(), letters = 0;
    for (const std::string& name : image.exports) letters += name.size();
    for (const ss::pack::PeImport& lib : image.imports) {
      names += lib.names.size() + lib.ordinals.size();
      letters += lib.library.size();
      for (const std::string& name : lib.names) letters += name.size();
    }
    if (names > uint64_t{ss::pack::kPeMaxFunctions} + ss::pack::kPeMaxExports ||
        image.imports.size() > ss::pack::kPeMaxLibraries || letters > ss::pack::kPeMaxNameBytes) std::abort();
  }
  (void)ss::pack::DecompressionLibraryFault(bytes);
  return 0;
}
