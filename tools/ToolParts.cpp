#include "tools/ToolParts.h"

#include <filesystem>

namespace ss::pack {

namespace fs = std::filesystem;

ToolParts FindToolParts(const std::string& programFolder, const std::string& partsFromBin) {
  ToolParts parts;
  const fs::path self = fs::u8path(programFolder);
  std::vector<fs::path> folders = {self};
  if (!partsFromBin.empty()) folders.push_back((self / fs::u8path(partsFromBin)).lexically_normal());
  for (const fs::path& folder : folders) {
    parts.searched.push_back(folder.u8string());
    std::error_code ec;
    const fs::path stub = folder / "ssinstall.exe";
    if (parts.stub.empty() && fs::is_regular_file(stub, ec)) {
      parts.stub = stub.u8string();
      const fs::path library = folder / "impborl.dll";
      if (fs::is_regular_file(library, ec)) parts.library = library.u8string();
    }
  }
  return parts;
}

}  // namespace ss::pack
