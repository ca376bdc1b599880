#include "tools/pe/ImportFloor.h"

#include <fstream>

#include "winsys/LMT_StringUtils.h"

namespace ss::pack {
namespace {

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::string Version(uint16_t major, uint16_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

bool Above40(uint16_t major, uint16_t minor) { return major > 4 || (major == 4 && minor > 0); }

}  // namespace

ToolResult ReadSystemExports(const std::string& path, SystemExports* out) {
  std::ifstream in(path);
  if (!in) {
    return ToolResult::Fault(path + ": cannot be read");
  }
  std::string stem = path.substr(path.find_last_of("/\\") + 1);
  out->system = stem.substr(0, stem.find('.'));
  out->exports.clear();
  std::set<std::string>* section = nullptr;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = &out->exports[AsciiLower(line.substr(1, line.size() - 2))];
    } else if (section == nullptr) {
      return ToolResult::Fault(path + ":" + std::to_string(number) + ": a name before any [library] section");
    } else {
      section->insert(line);
    }
  }
  return ToolResult();
}

std::vector<std::string> FloorFindings(const FloorFile& file, const SystemExports& system,
                                       const std::vector<FloorFile>& shipped) {
  std::vector<std::string> found;
  const std::string on = file.name + ": " + system.system + ": ";
  const PeImage& image = file.image;
  if (image.machine != kPeMachineI386 || image.pe32Plus) found.push_back(on + "not a 32-bit x86 image");
  if (Above40(image.osMajor, image.osMinor)) {
    found.push_back(on + "needs system version " + Version(image.osMajor, image.osMinor));
  }
  if (Above40(image.subsystemMajor, image.subsystemMinor)) {
    found.push_back(on + "needs subsystem version " + Version(image.subsystemMajor, image.subsystemMinor));
  }
  if (image.isDll() && image.hasTls) {
    found.push_back(on + "a library with a thread-local storage directory (not set up when loaded at run time)");
  }
  if (image.hasDelayImports) found.push_back(on + "delay-loaded imports, which this check cannot read");
  for (const PeImport& lib : image.imports) {
    const std::string name = AsciiLower(lib.library);
    const std::set<std::string>* exports = nullptr;
    std::set<std::string> ours;
    for (const FloorFile& other : shipped) {
      if (AsciiLower(other.name) == name) {
        ours.insert(other.image.exports.begin(), other.image.exports.end());
        exports = &ours;
      }
    }
    if (exports == nullptr) {
      const auto it = system.exports.find(name);
      if (it == system.exports.end()) {
        found.push_back(on + lib.library + " does not exist there");
        continue;
      }
      exports = &it->second;
    }
    for (uint16_t ordinal : lib.ordinals) {
      found.push_back(on + lib.library + " ordinal " + std::to_string(ordinal) + " cannot be checked by name");
    }
    for (const std::string& function : lib.names) {
      if (exports->count(function) == 0) {
        found.push_back(on + lib.library + "!" + function + " is not exported there");
      }
    }
  }
  return found;
}

}  // namespace ss::pack
