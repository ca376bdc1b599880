// A portable model of what a quiet run of the installer does with a package:
// the header read, the segments it writes and in which order, the data-file
// table and its entries, with the checks the reader makes and the codes it
// returns. Files are not written; the walk records each target path and
// keeps a set of the files that exist, so that copies can find their source.
//
// The model follows the sound rules where the reader's own code has known
// faults (an empty stored segment is written as an empty file; a copied
// entry's sub-folder is created like any other entry's), so that it can
// serve as the oracle "a package the verifier accepts installs".
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/ResultCodes.h"
#include "package/PackageRecords.h"

namespace walk {

struct Written {
  std::string path;
  std::string dir;   // the directory the rule placed it in
  bool nested = false;  // data-file entries may lie in sub-folders of dir
};

struct Walk {
  std::string workDir = "C:\\TEMP\\LMF1\\";
  std::string systemDir = "C:\\WINDOWS\\SYSTEM32\\";
  std::string installDir;  // set from the title
  std::vector<Written> written;
  std::set<std::string> files;  // lower-case paths that exist

  bool Exists(const std::string& path) const;
  void Write(const std::string& path, const std::string& dir, bool nested);
};

// The whole quiet run over an installer file whose package begins at
// `packageOffset`. Returns 0 or the code the installer would end with.
ss::Result WalkInstaller(const std::vector<uint8_t>& file, size_t packageOffset, Walk* w);

// The install steps on one data file (already in the work directory).
// `movieStaged`: "installer.swf" exists in the work directory.
ss::Result WalkDataFile(const std::vector<uint8_t>& data, bool movieStaged, Walk* w);

// An independent check that `path` names something inside `dir` and not
// elsewhere: after `dir`, every part (split at '\' and '/') is a name that
// Windows would neither resolve upwards, nor to a drive, stream or device,
// nor silently change (trailing dots and blanks). With `nested` false the
// path may have only one part.
bool StaysInside(const std::string& path, const std::string& dir, bool nested);

}  // namespace walk
