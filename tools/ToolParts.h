// Where sspack finds the installer stub and the decompression library when
// the command line names neither: beside the program itself (the Windows
// .zip keeps them there), then in the installed layout's share folder
// (bin/../share/sspack/, see cmake/Install.cmake). The library is taken from
// the stub's folder, so that the two always come from the same build.
#pragma once

#include <string>
#include <vector>

namespace ss::pack {

struct ToolParts {
  std::string stub;                   // "" when no folder holds ssinstall.exe
  std::string library;                // impborl.dll beside the stub; "" when absent
  std::vector<std::string> searched;  // the folders looked in, in order
};

// programFolder: the folder of the running sspack; partsFromBin: the
// relative path from the installed bin/ folder to the share folder.
ToolParts FindToolParts(const std::string& programFolder, const std::string& partsFromBin);

}  // namespace ss::pack
