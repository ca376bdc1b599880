// What an operation of sspack's reports: success, or the faults that stopped
// it (every one it found, each a line for the user) with the exit code sspack
// ends with for them. The command line prints the messages and returns the
// code; nothing reads meaning back out of a message's text.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ss::pack {

// sspack's exit codes. The command table (tools/CommandTable.h) gives each its
// meaning for --help, the manual page and tools/README.md.
enum ExitCode : int {
  kExitOk = 0,
  kExitFault = 1,  // a fault in the manifest, an input file or the installer
  kExitUsage = 2,  // a wrong command line
  kExitWrite = 3,  // an output could not be written
};

class [[nodiscard]] ToolResult {
 public:
  ToolResult() = default;  // success

  static ToolResult Fault(std::string message, ExitCode code = kExitFault) {
    ToolResult r;
    r.code_ = code;
    r.messages_.push_back(std::move(message));
    return r;
  }
  // Every fault found at once; success when there is none.
  static ToolResult Faults(std::vector<std::string> messages, ExitCode code = kExitFault) {
    ToolResult r;
    if (!messages.empty()) r.code_ = code;
    r.messages_ = std::move(messages);
    return r;
  }
  static ToolResult WriteFault(std::string message) { return Fault(std::move(message), kExitWrite); }

  bool ok() const { return code_ == kExitOk; }
  ExitCode exitCode() const { return code_; }
  const std::vector<std::string>& messages() const { return messages_; }
  // The messages, one per line ("" on success).
  std::string message() const {
    std::string text;
    for (const std::string& m : messages_) text += (text.empty() ? "" : "\n") + m;
    return text;
  }
  // Puts `prefix` before every message ("manifest.json: ").
  ToolResult& Prefixed(const std::string& prefix) {
    for (std::string& m : messages_) m = prefix + m;
    return *this;
  }

 private:
  ExitCode code_ = kExitOk;
  std::vector<std::string> messages_;
};

}  // namespace ss::pack
