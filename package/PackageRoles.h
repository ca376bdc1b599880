// The package's own names and tables, written once for the builder, the
// checks and the listing: the segment type each role is written with, the
// roles' names, the Flash setup's two file names, the display modes'
// names and what a presentation's bytes must begin with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/PackageRecords.h"

namespace ss {

// Segment 1, the decompression library, is stored as "impborl.dat" and
// written to the work directory as "impborl.dll", where the installer loads
// it from.
constexpr const char* kLibrarySegmentName = "impborl.dat";
constexpr const char* kLibraryFileName = "impborl.dll";

// The presentation's segment name for a display mode: "installer.bmp",
// "installer.swf" (both Flash modes) or "installer.jpg"; "" for the quiet
// mode and for an unknown one. The movie is staged under its own name.
constexpr const char* kMovieName = "installer.swf";
const char* PresentationName(uint8_t displayMode);

// The two names the Flash setup (segment 2, type 3) may have; with any other
// name a type-3 segment is a library written to the system directory.
constexpr const char* kFlashSetupNames[2] = {"flashax7.exe", "install_flash_player_active_x.msi"};
// The same for messages: both names in double quotes, joined by "or".
std::string FlashSetupNamesText();
// Exactly one of the two names (the installer compares them as they stand).
bool IsFlashSetupName(const std::string& name);

// The segment type each role is written with (0 outside 0 to 10), and the
// role's name for messages and listings ("?" outside).
int32_t SegmentTypeFor(int index);
const char* SegmentRole(int index);
// "segment 2 (Flash setup)".
std::string SegmentLabel(int index);

// Both Flash modes.
bool IsFlashMode(uint8_t displayMode);
// A display mode the installer knows (bitmap, Flash, none, JPEG).
bool IsKnownDisplayMode(uint8_t displayMode);
// "bitmap picture", "Flash movie", "none (quiet install)", "JPEG picture",
// or "invalid" for any other value.
const char* DisplayModeText(uint8_t displayMode);

// Why the presentation's bytes cannot be shown as `displayMode` says, or "":
// a Flash movie begins with "FWS" or "CWS" and a version from 3 to 8, a
// bitmap with "BM", a JPEG picture with FF D8 FF.
std::string PresentationFault(uint8_t displayMode, const std::vector<uint8_t>& bytes);

}  // namespace ss
