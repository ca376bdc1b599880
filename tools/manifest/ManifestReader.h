// The author's manifest: a JSON file that names the screen saver's title,
// presentation, files and data, from which sspack builds an installer.
// Paths in it are relative to the manifest's folder, and every file it packs
// lies inside that folder (links resolved) unless the caller allows files
// outside it: a manifest from someone else must not pack the author's other
// files unasked. The format is described in tools/README.md.
#pragma once

#include <string>
#include <vector>

#include "tools/build/PackageBuilder.h"
#include "tools/common/ToolResult.h"

namespace ss::pack {

struct ManifestOptions {
  std::string impborlPath;    // the decompression library stored as segment 1
  std::string installerName;  // the output's file name (segment 0's name)
  bool allowOutside = false;  // files outside the manifest's folder may be packed
};

// Reads the manifest and every file it names into *input. On failure, every
// fault found, each a message that names the manifest or file and the fault
// (exit code 1). *notes receives remarks that do not stop the build;
// *outside (when given), with options.allowOutside, the files packed from
// outside the manifest's folder as "key: path".
ToolResult LoadManifest(const std::string& manifestPath, const ManifestOptions& options,
                        PackageInput* input, std::vector<std::string>* notes,
                        const Progress& progress = nullptr,
                        std::vector<std::string>* outside = nullptr);

// The same for a manifest given as text, with relative paths taken from
// baseDir (tests use this).
ToolResult LoadManifestText(const std::string& text, const std::string& baseDir,
                            const ManifestOptions& options, PackageInput* input,
                            std::vector<std::string>* notes, const Progress& progress = nullptr,
                            std::vector<std::string>* outside = nullptr);

}  // namespace ss::pack
