// The test build's fault injection (see FaultSeam.h).
#include "app/FaultSeam.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/RunState.h"
#include "core/DebugLog.h"
#include "winsys/LMT_FileUtils.h"

namespace ss {
namespace {

struct Fault {
  std::string step;
  std::string action;
};

// Read once: the variable cannot change during a run.
const Fault& Planned() {
  static const Fault fault = [] {
    Fault f;
    char buf[256] = {};
    const DWORD n = GetEnvironmentVariableA("SS_FAULT", buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return f;
    const std::string text(buf, n);
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return f;
    f.step = text.substr(0, colon);
    f.action = text.substr(colon + 1);
    DebugLog("fault planned: " + f.step + " " + f.action);
    return f;
  }();
  return fault;
}

bool Matches(const char* step) { return !Planned().step.empty() && Planned().step == step; }

}  // namespace

void FaultBeforeStep(const char* step) {
  if (!Matches(step) || Planned().action != "vanish") return;
  const Result removed = RemoveDirectoryTree(Dirs().workDir);
  DebugLog(std::string("fault injected: work directory removed before ") + step + ": " + std::to_string(removed));
}

Result FaultAfterStep(const char* step, Result result, RunState& run) {
  if (!Matches(step)) return result;
  const std::string& action = Planned().action;
  if (action == "cancel") {
    run.cancelRequested = true;
    DebugLog(std::string("fault injected: cancel after ") + step);
    return result;
  }
  char* end = nullptr;
  errno = 0;
  const long code = std::strtol(action.c_str(), &end, 10);
  if (action.empty() || *end != '\0' || errno != 0) return result;
  DebugLog(std::string("fault injected: ") + step + " " + std::to_string(code) + " (step gave " +
           std::to_string(result) + ")");
  return static_cast<Result>(code);
}

}  // namespace ss
