// An installer read back, shown to a person: the readable tables of sspack
// list, and the words for its items that verify and extract share.
#pragma once

#include <string>

#include "package/PackageRecords.h"
#include "tools/read/InstallerReader.h"

namespace ss::pack {

// A table of the header and the segment table.
std::string FormatInstaller(const InstallerView& view);
// A table of the data file's entries.
std::string FormatDataFile(const DataFileView& view);

// Where the installer writes a segment: "work\name", "system\name",
// "install\name" (the name as the type rule makes it), or "none".
std::string TargetText(const TSegmentEntry& segment);

// A name from the package as messages show it: DisplayName in quotes.
std::string QuotedName(const std::string& ansi);

}  // namespace ss::pack
