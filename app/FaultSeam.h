// Fault injection into the install sequence, for the tests of its failure
// paths. Only the test build of the installer (`ssinstall_faults`, compiled
// with SS_FAULT_SEAM) reads it; in the shipped installer both hooks are
// empty inline functions.
//
// The test build reads the environment variable SS_FAULT as "STEP:ACTION",
// where STEP is one of prepare, extract, header, expand, write, activate,
// place, and ACTION is
//   a decimal result code  the step runs, then returns that code instead of
//                          its own (a failure after the step did its work,
//                          the hardest case for the clean-up);
//   cancel                 the step runs, then Cancel counts as pressed (in
//                          the run state the step was handed);
//   vanish                 the work directory is removed just before the
//                          step runs.
#pragma once

#include "core/ResultCodes.h"

namespace ss {

struct RunState;

#if defined(SS_FAULT_SEAM)
void FaultBeforeStep(const char* step);
Result FaultAfterStep(const char* step, Result result, RunState& run);
#else
inline void FaultBeforeStep(const char*) {}
inline Result FaultAfterStep(const char*, Result result, RunState&) { return result; }
#endif

}  // namespace ss
