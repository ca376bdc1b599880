// A screen saver data file as the install steps walk it: entry counts, the
// table, record offsets, chunk records, names and compressed entries. Nothing
// may crash or read out of bounds; every file the walk writes stays inside
// the install directory; and a data file that the package verifier passes
// must install.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/fuzz/package/InstallWalk.h"
#include "tools/PackageCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  walk::Walk w;
  w.installDir = w.systemDir + "Title dir\\";
  const ss::Result rc = walk::WalkDataFile(file, true, &w);
  for (const walk::Written& f : w.written) {
    if (!walk::StaysInside(f.path, f.dir, f.nested)) std::abort();
  }
  bool fault = false;
  for (const ss::pack::Finding& f : ss::pack::VerifyDataFile(file, true)) fault = fault || f.fault;
  if (!fault && rc != ss::kOk) std::abort();
  return 0;
}
