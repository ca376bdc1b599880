#include "examples/saver/SampleSettings.h"

#include <cstring>

#include "package/ByteOrder.h"

namespace ss::sample {

namespace {

constexpr uint8_t kMagic[4] = {'S', 'M', 'P', 'L'};
constexpr size_t kMagicOffset = 0;
constexpr size_t kVersionOffset = 4;
constexpr size_t kSlideOffset = 8;
constexpr size_t kColourOffset = 12;
constexpr size_t kFlagsOffset = 16;
constexpr size_t kCaptionOffset = 20;
static_assert(kCaptionOffset + kCaptionField <= kEntryCountOffset,
              "our settings stay in front of the entry count");

uint32_t GetU32(const uint8_t* p) { return static_cast<uint32_t>(GetLE32(p)); }
void PutU32(uint8_t* p, uint32_t v) { PutLE32(p, static_cast<int32_t>(v)); }

}  // namespace

bool EncodeSettingsBlob(const SampleSettings& settings, std::vector<uint8_t>* blob,
                        std::string* error) {
  if (settings.slideSeconds < kMinSlideSeconds || settings.slideSeconds > kMaxSlideSeconds) {
    *error = "slide time " + std::to_string(settings.slideSeconds) + " s is outside 1 to 3600 s";
    return false;
  }
  if (settings.caption.size() >= kCaptionField) {
    *error = "caption has " + std::to_string(settings.caption.size()) +
             " characters; at most 63 fit";
    return false;
  }
  if (settings.caption.find('\0') != std::string::npos) {
    *error = "caption holds a zero byte";
    return false;
  }
  blob->assign(kSettingsBlobSize, 0);
  uint8_t* b = blob->data();
  std::memcpy(b + kMagicOffset, kMagic, sizeof kMagic);
  PutU32(b + kVersionOffset, kSettingsVersion);
  PutU32(b + kSlideOffset, settings.slideSeconds);
  PutU32(b + kColourOffset, settings.backgroundColour & 0x00FFFFFFu);
  PutU32(b + kFlagsOffset, settings.showCaptions ? kFlagShowCaptions : 0);
  std::memcpy(b + kCaptionOffset, settings.caption.data(), settings.caption.size());
  return true;
}

std::vector<uint8_t> SaverDatFromBlob(const std::vector<uint8_t>& blob, int32_t entryCount,
                                      int32_t contentKind) {
  std::vector<uint8_t> dat(kSaverDatSize, 0);
  const size_t n = blob.size() < kSettingsBlobSize ? blob.size() : kSettingsBlobSize;
  // The blob is the header with the two installer fields cut out.
  for (size_t i = 0; i < n; ++i) {
    size_t at = i;
    if (at >= kEntryCountOffset) at += 4;
    if (at >= kContentKindOffset) at += 4;
    dat[at] = blob[i];
  }
  PutLE32(dat.data() + kEntryCountOffset, entryCount);
  PutLE32(dat.data() + kContentKindOffset, contentKind);
  return dat;
}

bool ParseSaverDat(const uint8_t* data, size_t size, SampleSettings* settings, std::string* error) {
  if (size != kSaverDatSize) {
    *error = "saver.dat is " + std::to_string(size) + " bytes; expected 1240";
    return false;
  }
  if (std::memcmp(data + kMagicOffset, kMagic, sizeof kMagic) != 0) {
    *error = "saver.dat does not hold this screen saver's settings";
    return false;
  }
  const uint32_t version = GetU32(data + kVersionOffset);
  if (version != kSettingsVersion) {
    *error = "saver.dat has settings version " + std::to_string(version) + "; this engine reads 1";
    return false;
  }
  const uint32_t slide = GetU32(data + kSlideOffset);
  if (slide < kMinSlideSeconds || slide > kMaxSlideSeconds) {
    *error = "saver.dat gives a slide time of " + std::to_string(slide) + " s (1 to 3600 allowed)";
    return false;
  }
  const uint8_t* caption = data + kCaptionOffset;
  const void* end = std::memchr(caption, 0, kCaptionField);
  if (!end) {
    *error = "saver.dat's caption has no terminating zero";
    return false;
  }
  settings->slideSeconds = slide;
  settings->backgroundColour = GetU32(data + kColourOffset) & 0x00FFFFFFu;
  settings->showCaptions = (GetU32(data + kFlagsOffset) & kFlagShowCaptions) != 0;
  settings->caption.assign(reinterpret_cast<const char*>(caption),
                           static_cast<const uint8_t*>(end) - caption);
  return true;
}

}  // namespace ss::sample
