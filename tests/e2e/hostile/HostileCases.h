// Hostile and damaged installers, derived by rule from one sound installer
// that the package builder makes: truncated copies, every header and
// segment-table field at its boundary values, names that try to leave their
// folder, broken data-file tables and compressed items that expand to the
// wrong size. Portable, so that the same cases can be checked against the
// package verifier on the host and run through the real installer under
// Wine. Each case carries the one exit code the installer must end with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ResultCodes.h"

namespace hostile {

struct HostileCase {
  std::string group;   // "truncate", "header", "segment", "datafile", "valid"
  std::string name;    // unique, readable
  // The exit code a quiet run must end with: 0 for a case that is still
  // valid (the install complete), else the code that refuses it.
  ss::Result code = ss::kOk;
  std::string why;     // the reason for the code
  std::string title;   // the title the installer would install under
  // The code rests on the installed Flash player (the stand-in control of
  // version 7), which no reading of the package can judge.
  bool restsOnPlayer = false;
  // Why sspack verify cannot name `code` among its faults ("" when it must):
  // the refusal comes from a step no reading rule models.
  std::string verifyCannotName;
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
