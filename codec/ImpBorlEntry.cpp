// impborl.dll's entry point (see ss_runtime_free_library) and the storage of
// the codec's tables. The library carries the code lengths only: it builds
// the tables when a process attaches it, under the loader's lock and before
// LoadLibrary returns, so no export can run before them and no two threads
// build them at once. A second build would write the same values.
#include "codec/Tables.h"

#ifndef SS_CODEC_TABLES_AT_RUN_TIME
#error "impborl.dll builds the codec with SS_CODEC_TABLES_AT_RUN_TIME (codec/CMakeLists.txt)"
#endif

namespace ss::codec::detail {
CodecTables gCodecTables;
}  // namespace ss::codec::detail

namespace {
constexpr unsigned long kProcessAttach = 1;  // DLL_PROCESS_ATTACH
}  // namespace

extern "C" int __stdcall impborl_entry(void* module, unsigned long reason, void* reserved) {
  (void)module;
  (void)reserved;
  if (reason == kProcessAttach) ss::codec::detail::BuildTables(&ss::codec::detail::gCodecTables);
  return 1;
}
