// Whether a Windows file can load on an older Windows: its imports checked
// against a list of what that system's libraries export.
//
// A list is a text file (tests/fixtures/floor/*.txt): "[library.dll]" opens
// a library's section, then one exported name per line; "#" starts a
// comment (each section says where its names come from). A library without
// a section does not exist on that system.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/pe/PeImage.h"

namespace ss::pack {

struct SystemExports {
  std::string system;                                   // e.g. "win95", from the file name
  std::map<std::string, std::set<std::string>> exports;  // lower-case library name -> names
};

// Reads a list. A fault with a message when it cannot be read or a name
// stands outside a section.
ToolResult ReadSystemExports(const std::string& path, SystemExports* out);

// A file to check, with the name the loader would know it by.
struct FloorFile {
  std::string name;  // file name, e.g. "impborl.dll"
  PeImage image;
};

// Every way `file` would fail to load on `system`: a 64-bit or non-x86
// image, system or subsystem version above 4.0, a library with a
// thread-local storage directory, delay-loaded or by-ordinal imports (the
// lists hold names), a library the system lacks, a function it does not
// export. Imports from one of `shipped` resolve against that file's own
// exports. Each finding is one line of text; none means it loads.
std::vector<std::string> FloorFindings(const FloorFile& file, const SystemExports& system,
                                       const std::vector<FloorFile>& shipped);

}  // namespace ss::pack
