// The program's debug log. Operations write short lines ("install error: -31",
// "file created: C:\\...") that have no visible effect. On Windows the lines
// go to OutputDebugStringA, so a debugger or Wine's debugstr channel shows
// them; the thread's last-error value is left as it was found, so a log line
// between a failing call and its GetLastError() cannot change the code.
#pragma once

#include <string>

namespace ss {

using DebugSink = void (*)(const char* line);

void DebugLog(const std::string& line);

// Replaces the sink (nullptr restores the default) and returns the old one.
// Tests use it to capture the lines.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace ss
