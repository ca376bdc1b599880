// Building an installer: the stub's bytes, then the package header at the
// stub's size, then the segments one after the other. Everything here works
// on bytes in memory; reading the author's files is the manifest's business
// (tools/manifest/ManifestReader.h). The same input always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/build/BuildInput.h"
#include "tools/build/InputChecks.h"
#include "tools/build/PackItems.h"
#include "tools/common/ToolResult.h"

namespace ss::pack {

// Writes a screen saver data file. Fails with every fault of the input
// (CheckDataFileInput), or with the first entry that cannot be packed. The
// entries are packed on `jobs` threads (0: DefaultJobs() of
// tools/common/ParallelJobs.h); the bytes are the same for every thread
// count. Progress then reports entries as they finish.
ToolResult BuildSaverDataFile(const DataFileInput& input, std::vector<uint8_t>* out,
                              const Progress& progress = nullptr, unsigned jobs = 0);
// The same, freeing each entry's bytes as soon as they are laid out, so that
// the entries and the data file are not both held whole.
ToolResult BuildSaverDataFile(DataFileInput&& input, std::vector<uint8_t>* out,
                              const Progress& progress = nullptr, unsigned jobs = 0);

// Writes stub + package into *out. Fails with every fault of the stub
// (CheckStub; the message begins with `stubName`, e.g. the stub's path) and
// of the input (CheckPackageInput), or with a segment that cannot be packed
// or a size beyond 2 GiB. The segments are packed on `jobs` threads, as for
// BuildSaverDataFile.
ToolResult BuildInstaller(const std::vector<uint8_t>& stub, const PackageInput& input,
                          std::vector<uint8_t>* out, const Progress& progress = nullptr,
                          unsigned jobs = 0, const std::string& stubName = "stub");

// Packs bytes as `how` asks: *compressed tells which form *stored holds.
// Imploding uses the encoder that tools/common/PackCodec.h's ChooseEncoder picks.
ToolResult PackBytes(const std::vector<uint8_t>& data, Compression how,
                     std::vector<uint8_t>* stored, bool* compressed);

}  // namespace ss::pack
