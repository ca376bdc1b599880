// Prints what the inspection reads from each movie named on the command line,
// one line per movie: path, result, version, frame size, colour, settings.
// The yaswfp cross-check compares these lines with that parser's reading.
#include <cstdio>

#include "flash/SwfReader.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    ss::TMovieDescription d;
    const ss::Result rc = ss::readSWFFile_FWS_Format(argv[i], d);
    std::printf("%s %d %d %d %d %d %d %d %d %d\n", argv[i], rc, d.swfVersion, d.frameWidth, d.frameHeight, d.bgRed,
                d.bgGreen, d.bgBlue, d.allowScale, d.fullScreen);
  }
  return 0;
}
