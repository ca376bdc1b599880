// Feeds arbitrary bytes to the SWF inspection and to the setting search; any
// crash, sanitizer report or hang is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "flash/SwfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ss::TMovieDescription movie;
  const ss::Result rc = ss::inspectFwsMovie(data, size, movie);
  if (rc == ss::kOk && (movie.swfVersion < 3 || movie.swfVersion > 8)) std::abort();
  if (movie.bgRed < 0 || movie.bgRed > 255) std::abort();
  ss::findFSCommandSetting("ALLOWSCALE", data, static_cast<int32_t>(size > 4000 ? 4000 : size));
  return 0;
}
