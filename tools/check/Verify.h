// sspack verify: every rule the installer relies on, checked on a finished
// installer and on a screen saver data file, with what breaks one reported as
// a fault and what the installer accepts as a note.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/SegmentTargets.h"
#include "tools/read/InstallerReader.h"

namespace ss::pack {

struct Finding {
  bool fault = true;   // false: worth knowing, but the installer accepts it
  std::string text;
  // A fault of sspack's own, not the installer's: the output limit stopped
  // the check there (what follows is unchecked), whatever the installer
  // would make of the package.
  bool overLimit = false;
};

// Every check on a data file, including the expansion of each entry.
// movieStaged: the installer stages a Flash movie "installer.swf", which a
// copied entry 1 needs. installDirLength: the length of the install
// directory's path at its shortest, to which entry names are added (0: not
// checked). maxOutput: what the entries may expand to, copies counted as
// the file they repeat; past it, a fault (overLimit) and no more checks.
std::vector<Finding> VerifyDataFile(const std::vector<uint8_t>& data, bool movieStaged,
                                    size_t installDirLength = 0, uint64_t maxOutput = kDefaultMaxOutput);

// Every structural rule the installer relies on, and every compressed item
// expanded with its size checked. A fault is what makes the installer refuse
// the file; what it accepts is at most a note (a segment no run reads, a
// presentation that does not play, a stored segment's originalSize). What the
// installer's reading rules (package/ReadingRules.h) decide, they decide here
// too, and such a fault ends with the code the installer stops with: "(the
// installer stops with code -30)"; so do the faults whose code is the
// installer's own for certain (a Flash version index, a movie copy without a
// movie, a library it cannot load, a data file cut inside its table).
// maxOutput: what the segments and entries together may expand to (copies
// counted as the file they repeat); the first item past it is a fault
// (overLimit), and nothing after it is expanded.
std::vector<Finding> VerifyInstaller(const std::vector<uint8_t>& file, uint64_t maxOutput = kDefaultMaxOutput);

// The installer's directories at their shortest (system "C:\", work
// "C:\LMF1\", install "C:\" + title + " dir\"): a target path longer than
// Windows takes there is refused on every machine.
TargetDirectories ShortestDirectories(const std::string& title);

}  // namespace ss::pack
