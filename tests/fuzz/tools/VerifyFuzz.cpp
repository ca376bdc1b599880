// Damaged installers through verify, list and the data-file reader: nothing
// may crash, hang or read out of bounds, whatever the bytes say.
//
// The first input byte picks the form (its value modulo 3): 0, the rest of
// the input is laid over a sound fixture installer as (4-byte offset, byte)
// patches after its stand-in stub, which keeps the damage near structures
// that parse; 1, the rest follows a bare stand-in stub as the whole package;
// 2, the patches go anywhere in a fixture installer whose stub is a Windows
// program, its headers (which name a signature) included.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/ByteOrder.h"
#include "tests/support/PackFixtures.h"
#include "tools/check/Verify.h"
#include "tools/read/InstallerReader.h"
#include "tools/read/Listing.h"

namespace {

std::vector<uint8_t> Fixture(const std::vector<uint8_t>& stub) {
  ss::pack::FixtureOptions o;
  o.flashSetup = true;
  o.contentKind = 3;
  std::vector<uint8_t> out;
  std::string error;
  ss::pack::BuildFixtureInstaller(stub, o, &out, &error);
  return out;
}

const std::vector<uint8_t>& Baseline() {
  static const std::vector<uint8_t> file = Fixture(ss::pack::MakeFakeStub(256));
  return file;
}

const std::vector<uint8_t>& ProgramBaseline() {
  static const std::vector<uint8_t> file = Fixture(ss::pack::MakePeStub());
  return file;
}

// What verify may expand per input: far above the seeds, far below what
// copies and shared records could make a small input name.
constexpr uint64_t kOutputLimit = 64ull << 20;

void Patch(std::vector<uint8_t>* file, size_t from, const uint8_t* data, size_t size) {
  for (size_t i = 1; i + 5 <= size; i += 5) {
    const uint32_t at = static_cast<uint32_t>(ss::GetLE32(data + i));
    (*file)[from + at % (file->size() - from)] = data[i + 4];
  }
}

void Inspect(const std::vector<uint8_t>& file) {
  for (const ss::pack::Finding& f : ss::pack::VerifyInstaller(file, kOutputLimit)) (void)f;
  ss::pack::InstallerView view;
  if (!ss::pack::ReadInstaller(file, &view).ok()) return;
  (void)ss::pack::FormatInstaller(view);
  std::vector<uint8_t> data;
  if (!ss::pack::ReadSegment(file, view.header.segments[ss::kSegDataFile], &data).ok()) return;
  ss::pack::DataFileView dataView;
  if (ss::pack::ParseDataFile(data, &dataView).ok()) (void)ss::pack::FormatDataFile(dataView);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] % 3 == 0) {
    std::vector<uint8_t> file = Baseline();
    Patch(&file, 256, data, size);
    Inspect(file);
  } else if (data[0] % 3 == 2) {
    std::vector<uint8_t> file = ProgramBaseline();
    Patch(&file, 0, data, size);
    Inspect(file);
  } else {
    std::vector<uint8_t> file = ss::pack::MakeFakeStub(256);
    file.insert(file.end(), data + 1, data + size);
    Inspect(file);
  }
  return 0;
}
