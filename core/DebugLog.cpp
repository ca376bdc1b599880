#include "core/DebugLog.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ss {
namespace {

void DefaultSink(const char* line) {
#ifdef _WIN32
  const DWORD saved = GetLastError();
  OutputDebugStringA(line);
  SetLastError(saved);
#else
  (void)line;
#endif
}

DebugSink g_sink = DefaultSink;

}  // namespace

void DebugLog(const std::string& line) { g_sink(line.c_str()); }

DebugSink SetDebugSink(DebugSink sink) {
  DebugSink old = g_sink;
  g_sink = sink ? sink : DefaultSink;
  return old;
}

}  // namespace ss
