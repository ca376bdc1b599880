// The author's manifest: a JSON file that names the screen saver's title,
// presentation, files and data, from which sspack builds an installer.
// Paths in it are relative to the manifest's folder. The format is described
// in tools/README.md.
#pragma once

#include <string>
#include <vector>

#include "tools/PackageBuilder.h"

namespace ss::pack {

struct ManifestOptions {
  std::string impborlPath;    // the decompression library stored as segment 1
  std::string installerName;  // the output's file name (segment 0's name)
};

// Reads the manifest and every file it names into *input. False with a
// message that names the manifest or file and the fault. *notes receives
// remarks that do not stop the build.
bool LoadManifest(const std::string& manifestPath, const ManifestOptions& options,
                  PackageInput* input, std::vector<std::string>* notes, std::string* error,
                  const Progress& progress = nullptr);

// The same for a manifest given as text, with relative paths taken from
// baseDir (tests use this).
bool LoadManifestText(const std::string& text, const std::string& baseDir,
                      const ManifestOptions& options, PackageInput* input,
                      std::vector<std::string>* notes, std::string* error,
                      const Progress& progress = nullptr);

}  // namespace ss::pack
