// "sspack init": a first manifest for the files an author has gathered in
// one folder. Each file is given its role by its name, kind and size, and
// by the engine itself: a support file or library that the engine names in
// its bytes is one it loads, and the libraries are listed in the order the
// engine names them. Every choice gets a comment; what could not be decided
// is written as a comment that says what is still missing, and the key is
// left out, so that `sspack build` names it too.
#pragma once

#include <string>
#include <vector>

#include "tools/common/ToolResult.h"

namespace ss::pack {

struct ManifestDraft {
  std::string text;                  // the manifest: JSON with // comments
  std::vector<std::string> chosen;   // one line per key written, for the summary
  std::vector<std::string> missing;  // what the author must still add; empty when it builds
};

// dir: the author's folder; manifestPath: where the manifest will be written
// (its paths are relative to its folder); schemaUri: the manifest's JSON
// Schema as editors find it, written as "$schema" ("": none). Fails (exit
// code 1) when dir or the engine in it cannot be read.
ToolResult DraftManifest(const std::string& dir, const std::string& manifestPath, ManifestDraft* draft,
                         const std::string& schemaUri = std::string());

}  // namespace ss::pack
