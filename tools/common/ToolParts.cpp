#include "tools/common/ToolParts.h"

#include <filesystem>

#include "package/PackageRoles.h"

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
      const fs::path library = folder / kLibraryFileName;
      if (fs::is_regular_file(library, ec)) parts.library = library.u8string();
    }
    const fs::path schema = folder / kManifestSchemaName;
    if (parts.schema.empty() && fs::is_regular_file(schema, ec)) parts.schema = schema.u8string();
  }
  return parts;
}

std::string FileUri(const std::string& absolutePath, bool windows) {
  std::string path = absolutePath;
  std::string authority;
  if (windows) {
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    if (path.rfind("//", 0) == 0) {
      // A UNC path: its server is the URI's authority.
      const size_t end = path.find('/', 2);
      authority = path.substr(2, end == std::string::npos ? std::string::npos : end - 2);
      path = end == std::string::npos ? "/" : path.substr(end);
    } else if (path.empty() || path[0] != '/') {
      path = "/" + path;  // "C:/x" becomes "/C:/x"
    }
  }
  std::string uri = "file://" + authority;
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    const bool driveColon = windows && authority.empty() && i == 2 && c == ':';
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain || driveColon) {
      uri.push_back(static_cast<char>(c));
    } else {
      uri += '%';
      uri += "0123456789ABCDEF"[c >> 4];
      uri += "0123456789ABCDEF"[c & 15];
    }
  }
  return uri;
}

}  // namespace ss::pack
