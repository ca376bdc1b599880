// sspack extract: an installer's segments and data-file entries written as
// files into a folder, never outside it whatever names the package holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/ToolResult.h"
#include "tools/read/InstallerReader.h"

namespace ss::pack {

struct Extraction {
  // Why nothing could be done: the file is no installer (kExitFault), or the
  // folder is unusable (kExitWrite: it cannot be created, is not empty, is a
  // link...). Ok when extraction ran, whatever it skipped.
  ToolResult result;
  std::vector<std::string> written;  // the files written, relative to the folder, with '/'
  // The items that could not be read or written, one message each
  // (kExitFault); the others are still written. The item that would pass
  // the output limit is the last: extraction stops there.
  ToolResult skipped;
};

// Writes every segment to dir/segments/NN-name and the data file's header and
// entries to dir/saver.dat and dir/data/.... dir must be new or empty. The
// files written together stay within maxOutput: extraction stops before
// expanding or writing the item that would pass it (what was written before
// stays, each file whole).
Extraction ExtractInstaller(const std::vector<uint8_t>& file, const std::string& dir,
                            uint64_t maxOutput = kDefaultMaxOutput);

}  // namespace ss::pack
