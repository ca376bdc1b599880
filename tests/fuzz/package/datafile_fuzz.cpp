// A screen saver data file as the install steps read it, judged by the
// installer's own reading rules: entry counts, the table, record offsets,
// chunk records, names and compressed entries. Nothing may crash or read out
// of bounds; every file the run writes stays inside the install directory;
// and a data file that the package verifier passes must install.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/fuzz/package/ReadingRun.h"
#include "tools/check/Verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  reading::Run r;
  r.installDir = ss::pack::ShortestDirectories("Title").installDir;
  const ss::Result rc = reading::DataFileRun(file, true, &r);
  for (const reading::Written& f : r.written) {
    if (!reading::StaysInside(f.path, f.dir, f.nested)) std::abort();
  }
  bool fault = false;
  for (const ss::pack::Finding& f : ss::pack::VerifyDataFile(file, true, r.installDir.size())) fault = fault || f.fault;
  if (!fault && rc != ss::kOk) std::abort();
  return 0;
}
