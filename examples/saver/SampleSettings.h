// The sample screen saver's own settings. They travel inside the data file's
// 1240-byte header: the installer writes that header out unchanged as
// "saver.dat" in the install directory, and the engine reads it back from
// there. The header's entry count (at 212) and content kind (at 1204) belong
// to the installer; everything else is ours. Only the first setting bytes
// are used; the rest stays zero so that a later version can grow into it.
//
// Setting bytes (offsets within saver.dat, little-endian):
//   0   4  magic "SMPL"
//   4   4  version (1)
//   8   4  seconds each picture stays on screen (1 to 3600)
//   12  4  background colour, 0x00BBGGRR
//   16  4  flags: bit 0 draws the picture captions
//   20  64 caption shown over the pictures, zero-terminated
// Portable: the media generator writes the settings on the build host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ss::sample {

constexpr size_t kSaverDatSize = 1240;
constexpr size_t kEntryCountOffset = 212;
constexpr size_t kContentKindOffset = 1204;
// The header without its two installer fields: 212 + 988 + 32 bytes, the
// form sspack's "settings" file takes.
constexpr size_t kSettingsBlobSize = kSaverDatSize - 8;
static_assert(kSettingsBlobSize == 212 + 988 + 32, "settings blob is the header minus two fields");

constexpr uint32_t kSettingsVersion = 1;
constexpr uint32_t kMinSlideSeconds = 1;
constexpr uint32_t kMaxSlideSeconds = 3600;
constexpr size_t kCaptionField = 64;  // including the terminating zero
constexpr uint32_t kFlagShowCaptions = 1;

struct SampleSettings {
  uint32_t slideSeconds = 6;
  uint32_t backgroundColour = 0x00301808;  // deep blue
  bool showCaptions = true;
  std::string caption = "Sample Aquarium";
};

// The 1232 setting bytes for sspack. False (with a reason) for values the
// engine would refuse: a slide time out of range, a caption of 64 characters
// or more, or one holding a zero byte.
bool EncodeSettingsBlob(const SampleSettings& settings, std::vector<uint8_t>* blob,
                        std::string* error);

// A whole saver.dat as the installer writes it from a blob: the blob's bytes
// around the entry count and content kind.
std::vector<uint8_t> SaverDatFromBlob(const std::vector<uint8_t>& blob, int32_t entryCount,
                                      int32_t contentKind);

// Reads the settings from the bytes of saver.dat. False with a reason the
// user can act on when the file is not ours: wrong size, wrong magic, another
// version, a slide time out of range, or a caption without its terminator.
bool ParseSaverDat(const uint8_t* data, size_t size, SampleSettings* settings, std::string* error);

}  // namespace ss::sample
