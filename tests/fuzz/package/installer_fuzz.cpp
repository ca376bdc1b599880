// Whole installer files: the stand-in stub followed by a package. The quiet
// run's walk must never write outside the work, system and install
// directories, and an installer that the package verifier passes without a
// fault must install. The verifier's listing and extraction views are run
// over the same bytes for their own safety.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/fuzz/package/InstallWalk.h"
#include "tools/PackageCheck.h"
#include "tools/StubImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  int32_t offset = 0;
  std::string error;
  const std::vector<ss::pack::Finding> findings = ss::pack::VerifyInstaller(file);
  if (!ss::pack::LocatePackage(file, &offset, &error)) return 0;

  walk::Walk w;
  const ss::Result rc = walk::WalkInstaller(file, static_cast<size_t>(offset), &w);
  for (const walk::Written& f : w.written) {
    if (!walk::StaysInside(f.path, f.dir, f.nested)) std::abort();
  }
  bool fault = false;
  for (const ss::pack::Finding& f : findings) fault = fault || f.fault;
  if (!fault && rc != ss::kOk) std::abort();

  ss::pack::InstallerView view;
  if (ss::pack::ReadInstaller(file, &view, &error)) (void)ss::pack::FormatInstaller(view);
  return 0;
}
