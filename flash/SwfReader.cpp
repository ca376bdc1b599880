#include "flash/SwfReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <share.h>
#endif

#include "core/DebugLog.h"

namespace ss {
namespace {

// Where the inspection reads from: a file read piecewise, or bytes in
// memory. Every read and skip is checked against the end of the data.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads exactly n bytes; false (nothing consumed) when fewer remain.
  virtual bool read(uint8_t* out, size_t n) = 0;
  // Skips n bytes; false when fewer remain.
  virtual bool skip(uint64_t n) = 0;
  virtual uint64_t position() const = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool read(uint8_t* out, size_t n) override {
    if (n > size_ - pos_) return false;
    if (n > 0) std::copy(data_ + pos_, data_ + pos_ + n, out);
    pos_ += n;
    return true;
  }
  bool skip(uint64_t n) override {
    if (n > size_ - pos_) return false;
    pos_ += static_cast<size_t>(n);
    return true;
  }
  uint64_t position() const override { return pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A file opened for reading that others may read but not write.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path) {
#ifdef _WIN32
    f_ = _fsopen(path.c_str(), "rb", _SH_DENYWR);
#else
    f_ = std::fopen(path.c_str(), "rb");
#endif
    if (f_ == nullptr) return;
    if (std::fseek(f_, 0, SEEK_END) == 0) {
      const long end = std::ftell(f_);
      size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    std::fseek(f_, 0, SEEK_SET);
  }
  ~FileSource() override {
    if (f_ != nullptr) std::fclose(f_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool isOpen() const { return f_ != nullptr; }

  bool read(uint8_t* out, size_t n) override {
    if (n > size_ - pos_) return false;
    if (n > 0 && std::fread(out, 1, n, f_) != n) return false;
    pos_ += n;
    return true;
  }
  bool skip(uint64_t n) override {
    if (n > size_ - pos_) return false;
    // Skipped lengths stay below 2^31, so a long offset holds them.
    if (std::fseek(f_, static_cast<long>(n), SEEK_CUR) != 0) return false;
    pos_ += n;
    return true;
  }
  uint64_t position() const override { return pos_; }

 private:
  std::FILE* f_ = nullptr;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
};

// True when the path names an existing regular file; a missing path (or a
// directory) is no failure for either inspection.
bool isExistingFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The operating system's error for a file that exists but did not open
// (held by another program that denies reading, no permission).
Result openFailure() {
#ifdef _WIN32
  const int code = static_cast<int>(_doserrno);
#else
  const int code = errno;
#endif
  return code > 0 ? code : kOsAccessDenied;
}

std::string lowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void resetDescription(TMovieDescription& movie) {
  movie.bgRed = movie.bgGreen = movie.bgBlue = 255;
  movie.allowScale = 1;
  movie.fullScreen = 1;
  movie.swfVersion = 0;
}

Result inspect(ByteSource& in, TMovieDescription& movie) {
  uint8_t sig[3];
  if (!in.read(sig, 3) || std::string(reinterpret_cast<char*>(sig), 3) != "FWS") return kErrSwfSignature;

  uint8_t version = 0;
  if (!in.read(&version, 1)) return kErrSwfTruncated;
  movie.swfVersion = version;
  if (version > kMaxSwfVersion) return kErrSwfTooNew;
  if (version < kMinSwfVersion) return kErrSwfTooOld;

  uint8_t lengthBytes[4];
  if (!in.read(lengthBytes, 4)) return kErrSwfTruncated;
  // The declared length is held as a signed number; a value of 2^31 or more
  // becomes negative and so leaves no scan window.
  const uint32_t declaredRaw = static_cast<uint32_t>(lengthBytes[0]) | static_cast<uint32_t>(lengthBytes[1]) << 8 |
                               static_cast<uint32_t>(lengthBytes[2]) << 16 |
                               static_cast<uint32_t>(lengthBytes[3]) << 24;
  const int64_t declared = static_cast<int32_t>(declaredRaw);

  uint8_t rect[17];
  if (!in.read(rect, 1)) return kErrSwfTruncated;
  const int rectSize = rectByteCount(rect);
  if (!in.read(rect + 1, static_cast<size_t>(rectSize - 1))) return kErrSwfTruncated;
  readFrameSize(rect, static_cast<size_t>(rectSize), movie.frameWidth, movie.frameHeight);

  if (!in.skip(4)) return kErrSwfTruncated;  // frame rate and frame count

  // Walk the tags up to the background colour. Only the colour tag or the
  // end of the data ends the walk; each step consumes at least two bytes.
  for (;;) {
    uint8_t header[2];
    if (!in.read(header, 2)) return kErrSwfTruncated;
    int shortLength = 0;
    if (isBackgroundColorTag(header, shortLength)) {
      uint8_t body[63];
      if (!in.read(body, static_cast<size_t>(shortLength))) return kErrSwfTruncated;
      if (Result rc = readBackgroundColor(body, static_cast<size_t>(shortLength), movie); rc != kOk) return rc;
      break;
    }
    if (shortLength == 0) continue;
    int32_t tagLength = shortLength;
    if (shortLength == 63) {
      DebugLog("tagLength = 63");
      uint8_t longLength[4];
      if (!in.read(longLength, 4)) return kErrSwfTruncated;
      if (Result rc = convertBytesToDecimal(longLength, 4, tagLength); rc != kOk) return rc;
      DebugLog("after convertBytesToDecimal tagLength:" + std::to_string(tagLength));
    }
    if (!in.skip(static_cast<uint64_t>(tagLength))) return kErrSwfTagLength;
    DebugLog("read tag");
  }

  // The settings live in the action data after the colour tag: search at most
  // 2000 bytes and never beyond the declared length.
  const int64_t remaining = declared - static_cast<int64_t>(in.position());
  if (remaining <= 0) {
    movie.allowScale = kSettingNotFound;
    movie.fullScreen = kSettingNotFound;
    return kOk;
  }
  const int32_t window = static_cast<int32_t>(std::min<int64_t>(remaining, kScanWindowMax));
  std::vector<uint8_t> text(static_cast<size_t>(window));
  if (!in.read(text.data(), text.size())) return kErrSwfTruncated;
  movie.allowScale = findFSCommandSetting("ALLOWSCALE", text.data(), window);
  movie.fullScreen = findFSCommandSetting("fullScreen", text.data(), window);
  return kOk;
}

}  // namespace

bool isBitSet(const uint8_t* bytes, size_t size, int index) {
  if (index < 0 || index > 255 || static_cast<size_t>(index / 8) >= size) return false;
  return (bytes[index / 8] >> (7 - index % 8)) & 1;
}

uint32_t setBit(uint32_t value, int n) {
  if (n < 0 || n > 31) return value;
  return value | (uint32_t{1} << n);
}

int rectFieldBits(const uint8_t* bytes) { return bytes[0] >> 3; }

int rectByteCount(const uint8_t* bytes) { return ((4 * rectFieldBits(bytes) + 5) / 8) + 1; }

void swapBytePairs(uint8_t* bytes, size_t size, size_t first, size_t pairs) {
  for (size_t k = 0; k < pairs; ++k) {
    const size_t i = first + 2 * k;
    if (i + 1 >= size || i + 1 < i) return;
    std::swap(bytes[i], bytes[i + 1]);
  }
}

Result convertBytesToDecimal(const uint8_t* bytes, int count, int32_t& value) {
  uint64_t v = 0;
  for (int i = std::min(count, 4) - 1; i >= 0; --i) v = (v << 8) | bytes[i];
  if (v >= (uint64_t{1} << 31)) return kErrSwfTagLength;
  value = static_cast<int32_t>(v);
  return kOk;
}

uint32_t readBitField(const uint8_t* bytes, size_t size, int start, int bits) {
  uint32_t v = 0;
  for (int b = 0; b < bits; ++b) {
    v <<= 1;
    if (isBitSet(bytes, size, start + b)) v = setBit(v, 0);
  }
  return v;
}

void readFrameSize(const uint8_t* rect, size_t size, int32_t& width, int32_t& height) {
  const int nbits = rectFieldBits(rect);
  const uint32_t xmax = readBitField(rect, size, 5 + nbits, nbits);
  const uint32_t ymax = readBitField(rect, size, 5 + 3 * nbits, nbits);
  width = static_cast<int32_t>(xmax / 20);
  height = static_cast<int32_t>(ymax / 20);
}

bool isBackgroundColorTag(const uint8_t header[2], int& length) {
  // The header is a little-endian u16: code in the upper 10 bits, short
  // length in the lower 6. Swapping the pair gives the most-significant-first
  // order the bit routines read.
  uint8_t swapped[2] = {header[0], header[1]};
  swapBytePairs(swapped, 2, 0, 1);
  const int code = static_cast<int>(readBitField(swapped, 2, 0, 10));
  length = static_cast<int>(readBitField(swapped, 2, 10, 6));
  DebugLog("tagNumber:" + std::to_string(code));
  DebugLog("tagLength:" + std::to_string(length));
  return code == kBackgroundColorTagCode;
}

Result readBackgroundColor(const uint8_t* body, size_t size, TMovieDescription& movie) {
  if (size < 3) return kErrSwfColourTag;
  movie.bgRed = body[0];
  movie.bgGreen = body[1];
  movie.bgBlue = body[2];
  return kOk;
}

int32_t findFSCommandSetting(const std::string& name, const uint8_t* window, int32_t windowLength) {
  const int32_t nameLength = static_cast<int32_t>(name.size());
  if (nameLength < 2 || windowLength <= 0 || window == nullptr) return kSettingNotFound;
  const std::string wanted = lowerCase(name);
  // The name and the two bytes after it (its terminating zero and the first
  // character of the value) must lie inside the window.
  for (int32_t s = 0; s < windowLength - nameLength - 1; ++s) {
    bool match = true;
    for (int32_t k = 0; k < nameLength && match; ++k)
      match = std::tolower(window[s + k]) == static_cast<unsigned char>(wanted[static_cast<size_t>(k)]);
    if (!match) continue;
    const int value = std::tolower(window[s + nameLength + 1]);
    if (value == 'f') return kSettingFalse;
    if (value == 't') return kSettingTrue;
    return kSettingOther;
  }
  return kSettingNotFound;
}

Result readSWFFileFormatType(const std::string& path, std::string& signature) {
  DebugLog("readSWFFileFormatType");
  if (!isExistingFile(path)) {
    DebugLog("readSWFFileFormatType");
    return kOk;
  }
  FileSource in(path);
  if (!in.isOpen()) return openFailure();
  uint8_t sig[3] = {};
  Result rc = kErrSwfSignature;
  if (in.read(sig, 3)) {
    signature.assign(reinterpret_cast<char*>(sig), 3);
    if (signature == "FWS" || signature == "CWS") rc = kOk;
  } else {
    signature.clear();
  }
  DebugLog("readSWFFileFormatType: successful");
  DebugLog("readSWFFileFormatType");
  return rc;
}

Result readSWFFile_FWS_Format(const std::string& path, TMovieDescription& movie) {
  DebugLog("readSWFFile_FWS_Format " + path);
  resetDescription(movie);
  Result rc = kOk;
  if (isExistingFile(path)) {
    FileSource in(path);
    rc = in.isOpen() ? inspect(in, movie) : openFailure();
  }
  DebugLog("readSWFFile_FWS_Format " + std::to_string(rc));
  return rc;
}

Result inspectFwsMovie(const uint8_t* data, size_t size, TMovieDescription& movie) {
  resetDescription(movie);
  MemorySource in(data, size);
  return inspect(in, movie);
}

}  // namespace ss
