// The staging steps: which segment of the package is written when, and the
// expansion of the screen saver data file into the install directory.
// Windows only. Start-up steps bring into the work directory what the
// installer window needs; install steps write the screen saver itself.
#pragma once

#include <functional>

#include "core/ResultCodes.h"

namespace ss {

// Start-up steps. Each returns -531 without a message when its segment has
// no name.
Result StageCompanionFile();  // segment 5
Result StageFlashSetup();     // segment 2
Result StageLicenseText();    // segment 4
// Segment 3. For a bitmap (displayMode 1) or JPEG (8) presentation the
// segment's name takes the extension ".BMP" or ".jpg" in the in-memory
// package header, so that the picture is loaded under that name.
Result StagePresentation();

// Install steps, in this order.
// Segments 5 (with a companion file) or 6 up to 10, one status and progress
// step each; `cancelled` is asked between segments.
Result StageScreenSaverFiles(const std::function<bool()>& cancelled);
// Reads the data file's 1240-byte header.
Result ReadSaverDataHeader();
// Expands every entry of the data file into the install directory; type-3
// entries are produced by copying.
Result ExpandSaverDataFile();
// Writes the data file's header as "saver.dat" into the install directory.
Result WriteSaverSettings();

}  // namespace ss
