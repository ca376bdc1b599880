// Loads the presentation picture: ".BMP" through the system's bitmap loader,
// ".jpg" through our JPEG decoder (codec/JpegDecoder.h). Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "core/ResultCodes.h"

namespace ss {

// Loads `path` into a new bitmap the caller owns. The decoder follows the
// extension (".bmp" or ".jpg"/".jpeg", any letter case). Returns 0, the
// system's error number, or kErrCorruptPicture when the file is not a
// picture the decoder can read.
Result LoadPicture(const std::string& path, HBITMAP* bitmap);

}  // namespace ss
