// Whole installer files: the stand-in stub followed by a package. A quiet
// run under the installer's own reading rules must never write outside the
// work, system and install directories, and an installer that the package
// verifier passes without a fault must install. The verifier's listing and extraction views are run
// over the same bytes for their own safety.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/fuzz/package/ReadingRun.h"
#include "tools/check/Verify.h"
#include "tools/read/InstallerReader.h"
#include "tools/read/Listing.h"
#include "tools/read/StubImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  int32_t offset = 0;
  const std::vector<ss::pack::Finding> findings = ss::pack::VerifyInstaller(file);
  if (!ss::pack::LocatePackage(file, &offset).ok()) return 0;

  // The run at the shortest directories, where sspack verify's path limits
  // hold on every machine.
  reading::Run r;
  const ss::TargetDirectories shortest = ss::pack::ShortestDirectories("");
  r.workDir = shortest.workDir;
  r.systemDir = shortest.systemDir;
  const ss::Result rc = reading::QuietRun(file, static_cast<size_t>(offset), &r);
  for (const reading::Written& f : r.written) {
    if (!reading::StaysInside(f.path, f.dir, f.nested)) std::abort();
  }
  bool fault = false;
  for (const ss::pack::Finding& f : findings) fault = fault || f.fault;
  if (!fault && rc != ss::kOk) std::abort();

  ss::pack::InstallerView view;
  if (ss::pack::ReadInstaller(file, &view).ok()) (void)ss::pack::FormatInstaller(view);
  return 0;
}
