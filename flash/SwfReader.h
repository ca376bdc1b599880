// Inspection of SWF movie files before they are handed to the Flash control.
//
// Layout of an uncompressed ("FWS") movie as far as it is read here:
//
//   offset  size  content
//   0       3     signature "FWS" ("CWS": zlib stream from offset 8)
//   3       1     version, accepted 3..8
//   4       4     declared file length, little-endian: end of the scan window
//   8       r     frame rectangle (RECT, 1..17 bytes, bit-packed MSB first)
//   8+r     2     frame rate   (skipped)
//   10+r    2     frame count  (skipped)
//   12+r    ...   tags: u16 header (code = h >> 6, short length = h & 63,
//                 63 means a u32 long length follows), walked up to the
//                 first tag with code 9 (SetBackgroundColor: R, G, B)
//
// After the colour tag, up to 2000 bytes (never beyond the declared length)
// are searched for the FSCommand settings "allowscale" and "fullscreen".
//
// Damaged input never escapes as anything but a result code: a read past the
// end of the data gives -611, a tag length of 2^31 or more or one that runs
// past the end gives -612, a colour tag shorter than 3 bytes gives -613.
// Portable code: no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/ResultCodes.h"

namespace ss {

// Setting values found by findFSCommandSetting.
constexpr int32_t kSettingNotFound = -1;
constexpr int32_t kSettingFalse = 0;
constexpr int32_t kSettingTrue = 1;
constexpr int32_t kSettingOther = -2;

constexpr uint8_t kMinSwfVersion = 3;
constexpr uint8_t kMaxSwfVersion = 8;
constexpr int32_t kScanWindowMax = 2000;
constexpr int kBackgroundColorTagCode = 9;

// The movie description the panel keeps. readSWFFile_FWS_Format resets the
// colour, the two settings and the version before reading; the frame size
// changes only when a rectangle was read.
struct TMovieDescription {
  std::string swfSignature;  // first three bytes of the movie, or empty
  uint8_t swfVersion = 0;
  int32_t frameWidth = 0;
  int32_t frameHeight = 0;
  int32_t bgRed = 255;
  int32_t bgGreen = 255;
  int32_t bgBlue = 255;
  int32_t allowScale = 1;
  int32_t fullScreen = 1;
};

// --- bit routines (bit index i is bit 7 - i%8 of byte i/8) ---

// True when bit index i of the first `size` bytes is set; an index outside
// them (or outside 0..255) is not set.
bool isBitSet(const uint8_t* bytes, size_t size, int index);
// value | (1 << n) for n in 0..31; other n leave value unchanged.
uint32_t setBit(uint32_t value, int n);
// The 5-bit Nbits of a RECT: first byte >> 3.
int rectFieldBits(const uint8_t* bytes);
// The bytes a RECT occupies, 1..17: ((4 * Nbits + 5) / 8) + 1.
int rectByteCount(const uint8_t* bytes);
// Swaps bytes first/first+1, first+2/first+3, ... for `pairs` pairs; pairs
// that would reach beyond `size` are left alone.
void swapBytePairs(uint8_t* bytes, size_t size, size_t first, size_t pairs);
// The first `count` (1..4) bytes as an unsigned little-endian number in
// `value`. 0, or -612 when the number is 2^31 or more (value untouched).
Result convertBytesToDecimal(const uint8_t* bytes, int count, int32_t& value);

// Reads the unsigned `bits`-bit field that starts at bit index `start`.
uint32_t readBitField(const uint8_t* bytes, size_t size, int start, int bits);

// Frame width and height in pixels from a whole RECT (Xmax / 20, Ymax / 20).
void readFrameSize(const uint8_t* rect, size_t size, int32_t& width, int32_t& height);

// Decodes a two-byte tag header: true when its code is 9; `length` receives
// the 6-bit short length.
bool isBackgroundColorTag(const uint8_t header[2], int& length);

// Sets the colour from the first three body bytes; -613 when there are fewer
// (the colour then stays as it was).
Result readBackgroundColor(const uint8_t* body, size_t size, TMovieDescription& movie);

// Classifies one FSCommand setting: the name (case ignored), then exactly
// one byte, then a value beginning with "f" (0), "t" (1) or anything else
// (-2). -1 when the name does not occur with two bytes after it inside the
// window, when the window is empty or negative, or the name is shorter than
// two characters.
int32_t findFSCommandSetting(const std::string& name, const uint8_t* window, int32_t windowLength);

// Reads the signature of the movie at `path` into `signature`. A missing file
// gives 0 and leaves `signature` as it was; a file of fewer than three bytes
// or another signature gives -404.
Result readSWFFileFormatType(const std::string& path, std::string& signature);

// Inspects the uncompressed movie at `path` (see the layout above). A missing
// file gives 0 with the defaults set.
Result readSWFFile_FWS_Format(const std::string& path, TMovieDescription& movie);

// The same inspection over bytes already in memory (used by the file form
// and by the fuzzer).
Result inspectFwsMovie(const uint8_t* data, size_t size, TMovieDescription& movie);

}  // namespace ss
