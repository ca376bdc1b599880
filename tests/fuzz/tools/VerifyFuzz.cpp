// Damaged installers through verify, list and the data-file reader: nothing
// may crash, hang or read out of bounds, whatever the bytes say.
//
// The first input byte picks the form: even, the rest of the input is laid
// over a sound fixture installer as (4-byte offset, byte) patches, which
// keeps the damage near structures that parse; odd, the rest follows a bare
// stand-in stub as the whole package.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/ByteOrder.h"
#include "tests/support/PackFixtures.h"
#include "tools/PackageCheck.h"

namespace {

const std::vector<uint8_t>& Baseline() {
  static const std::vector<uint8_t> file = [] {
    ss::pack::FixtureOptions o;
    o.flashSetup = true;
    o.contentKind = 3;
    std::vector<uint8_t> out;
    std::string error;
    ss::pack::BuildFixtureInstaller(ss::pack::MakeFakeStub(256), o, &out, &error);
    return out;
  }();
  return file;
}

void Inspect(const std::vector<uint8_t>& file) {
  for (const ss::pack::Finding& f : ss::pack::VerifyInstaller(file)) (void)f;
  ss::pack::InstallerView view;
  std::string error;
  if (!ss::pack::ReadInstaller(file, &view, &error)) return;
  (void)ss::pack::FormatInstaller(view);
  std::vector<uint8_t> data;
  if (!ss::pack::ReadSegment(file, view.header.segments[ss::kSegDataFile], &data, &error)) return;
  ss::pack::DataFileView dataView;
  std::vector<ss::pack::Finding> findings;
  if (ss::pack::ParseDataFile(data, &dataView, &findings)) (void)ss::pack::FormatDataFile(dataView);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] % 2 == 0) {
    std::vector<uint8_t> file = Baseline();
    const size_t package = 256;
    for (size_t i = 1; i + 5 <= size; i += 5) {
      const uint32_t at = static_cast<uint32_t>(ss::GetLE32(data + i));
      file[package + at % (file.size() - package)] = data[i + 4];
    }
    Inspect(file);
  } else {
    std::vector<uint8_t> file = ss::pack::MakeFakeStub(256);
    file.insert(file.end(), data + 1, data + size);
    Inspect(file);
  }
  return 0;
}
