// Hostile and damaged installers, derived by rule from one sound installer
// that the package builder makes: truncated copies, every header and
// segment-table field at its boundary values, names that try to leave their
// folder, broken data-file tables and compressed items that expand to the
// wrong size. Portable, so that the same cases can be checked against the
// package verifier on the host and run through the real installer under
// Wine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

// What a quiet run of the case must do.
enum class Expect {
  kFail,     // nonzero exit code, nothing left behind
  kSucceed,  // exit code 0 and a complete install (the case is still valid)
  kEither,   // refusing and installing are both sound; each is checked as such
};

const char* ExpectName(Expect e);

struct HostileCase {
  std::string group;   // "truncate", "header", "segment", "datafile", "valid"
  std::string name;    // unique, readable
  Expect expect = Expect::kFail;
  std::string why;     // the reason for the expectation
  std::string title;   // the title the installer would install under
  // The outcome rests on what a reading of the package cannot judge: the
  // installed Flash player, or whether the library's bytes load as a DLL.
  bool outsideModel = false;
  std::vector<uint8_t> image;  // the whole installer file
};

// The title of the sound base installer.
extern const char kBaseTitle[];
// A folder outside every directory the installer owns, named in hostile
// names ("C:\hostile-sentinel\"); a run must never write into it.
extern const char kSentinelDir[];

// Every case, in a fixed order, built over `stub` (a stamped installer
// program) with `library` as segment 1. False with a message when the
// builder refuses the base input.
bool MakeHostileCases(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& library,
                      std::vector<HostileCase>* cases, std::string* error);

}  // namespace hostile
