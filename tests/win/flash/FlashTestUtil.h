// Shared pieces of the Flash tests under Wine: registering a version of the
// stand-in control under the Flash class, short probe timings, scratch
// directories and movies written by the tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "flash/FlashPlayer.h"
#include "tests/host/flash/SwfBuilder.h"
#include "tests/support/WinFiles.h"
#include "tests/support/WinTestUtil.h"

namespace flashtest {

// Path of a stand-in control build, e.g. ControlPath(7, 19).
std::string ControlPath(int major, int minor);

// Registers the given file (or nothing: an empty path removes the key) as
// the Flash control for the lifetime of the object; the key is removed at
// the end either way.
class ControlRegistration {
 public:
  explicit ControlRegistration(const std::string& dllPath);
  ~ControlRegistration();
  ControlRegistration(const ControlRegistration&) = delete;
  ControlRegistration& operator=(const ControlRegistration&) = delete;
};
void RemoveControlRegistration();

using sstest::ReadAll;
using sstest::ScratchDir;
using sstest::WriteAll;

// The "CWS" form of an "FWS" movie.
swftest::Bytes Compress(const swftest::Bytes& fws);

// Probe timings short enough for tests; the previous timings come back at
// the end.
class ShortProbes {
 public:
  ShortProbes();
  ~ShortProbes();

 private:
  ss::FlashProbeTiming saved_;
};

using sstest::Pump;

}  // namespace flashtest
