// A quiet run of the installer over a package held in memory, judged by the
// installer's own reading rules (package/ReadingRules.h) and its own codec:
// the header read, the segments a quiet run writes and in which order
// (ReadPackageHeader, then the start-up's and the install's staging steps),
// the data-file table and its entries. Files are not written; the run
// records each target path and keeps a set of the files that exist, so that
// copies can find their source. Only the order of the steps is this file's
// own; it is pinned against the real installer by the hostile cases, whose
// expected codes both must give.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/ResultCodes.h"
#include "package/PackageRecords.h"

namespace reading {

struct Written {
  std::string path;
  std::string dir;   // the directory the rule placed it in
  bool nested = false;  // data-file entries may lie in sub-folders of dir
};

struct Run {
  std::string workDir = "C:\\TEMP\\LMF1\\";
  std::string systemDir = "C:\\WINDOWS\\SYSTEM32\\";
  std::string installDir;  // set from the title
  std::vector<Written> written;
  std::set<std::string> files;  // lower-case paths that exist
  bool libraryLoads = false;    // segment 1 as written is a library the installer can load

  bool Exists(const std::string& path) const;
  void Write(const std::string& path, const std::string& dir, bool nested);
};

// The whole quiet run over an installer file whose package begins at
// `packageOffset`. Returns 0 or the code the installer ends with. Whether
// segment 1 loads as the decompression library is judged by the check
// sspack applies to it (DecompressionLibraryFault).
ss::Result QuietRun(const std::vector<uint8_t>& file, size_t packageOffset, Run* r);

// The install steps on one data file (already in the work directory).
// `movieStaged`: "installer.swf" exists in the work directory.
ss::Result DataFileRun(const std::vector<uint8_t>& data, bool movieStaged, Run* r);

// An independent check that `path` names something inside `dir` and not
// elsewhere: after `dir`, every part (split at '\' and '/') is a name that
// Windows would neither resolve upwards, nor to a drive, stream or device,
// nor silently change (trailing dots and blanks). With `nested` false the
// path may have only one part.
bool StaysInside(const std::string& path, const std::string& dir, bool nested);

}  // namespace reading
