// The checks a build runs on its input before it packs anything: what the
// installer would refuse, or install wrongly, in a package built from it
// (the title, the names, the segments its flags require, names that would
// overwrite each other, ...). Each reports every fault it finds, one message
// per fault, and success when the input is sound.
#pragma once

#include <string>

#include "tools/build/BuildInput.h"
#include "tools/common/ToolResult.h"

namespace ss::pack {

ToolResult CheckPackageInput(const PackageInput& input);
ToolResult CheckDataFileInput(const DataFileInput& input);

// A name of the package (ANSI) as messages show it: in UTF-8, between
// double quotes.
std::string QuotedUtf8(const std::string& ansiName);

}  // namespace ss::pack
