// Where sspack finds the installer stub and the decompression library when
// the command line names neither: beside the program itself (the Windows
// .zip keeps them there), then in the installed layout's share folder
// (bin/../share/sspack/, see cmake/Install.cmake). The library is taken from
// the stub's folder, so that the two always come from the same build. The
// manifest's JSON Schema, which "sspack init" names in the manifests it
// writes, is looked for in the same folders.
#pragma once

#include <string>
#include <vector>

namespace ss::pack {

// The schema's file name, beside sspack or in its share folder.
constexpr const char* kManifestSchemaName = "sspack-manifest.schema.json";

struct ToolParts {
  std::string stub;                   // "" when no folder holds ssinstall.exe
  std::string library;                // impborl.dll beside the stub; "" when absent
  std::string schema;                 // the first kManifestSchemaName found; "" when none
  std::vector<std::string> searched;  // the folders looked in, in order
};

// programFolder: the folder of the running sspack; partsFromBin: the
// relative path from the installed bin/ folder to the share folder.
ToolParts FindToolParts(const std::string& programFolder, const std::string& partsFromBin);

// An absolute path as a file URI, the form editors take in a manifest's
// "$schema": "/usr/share/x y" gives "file:///usr/share/x%20y"; with
// `windows`, C:\Tools\x gives "file:///C:/Tools/x" and a UNC path
// \\server\share\x gives "file://server/share/x". Bytes other than
// ASCII letters, digits, "-._~/" (and the drive's colon) are
// percent-encoded: a name's UTF-8 decodes back to the very bytes.
std::string FileUri(const std::string& absolutePath, bool windows);

}  // namespace ss::pack
