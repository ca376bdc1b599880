// Builds small SWF movies byte by byte for the inspection tests: a header, a
// bit-packed frame rectangle, tags, and free bytes after the colour tag.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace swftest {

using Bytes = std::vector<uint8_t>;

// Packs values most significant bit first.
class BitWriter {
 public:
  void put(uint32_t value, int bits) {
    for (int b = bits - 1; b >= 0; --b) {
      if (used_ % 8 == 0) out_.push_back(0);
      if ((value >> b) & 1) out_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
      ++used_;
    }
  }
  Bytes bytes() const { return out_; }

 private:
  Bytes out_;
  int used_ = 0;
};

inline Bytes Rect(int nbits, uint32_t xmin, uint32_t xmax, uint32_t ymin, uint32_t ymax) {
  BitWriter w;
  w.put(static_cast<uint32_t>(nbits), 5);
  for (uint32_t v : {xmin, xmax, ymin, ymax}) w.put(v, nbits);
  Bytes r = w.bytes();
  if (r.empty()) r.push_back(0);
  return r;
}

inline void PutU16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void PutU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A tag with a short header (body under 63 bytes) or, when asked or needed,
// a long one.
inline Bytes Tag(int code, const Bytes& body, bool forceLong = false) {
  Bytes t;
  if (body.size() < 63 && !forceLong) {
    PutU16(t, static_cast<uint32_t>(code << 6) | static_cast<uint32_t>(body.size()));
  } else {
    PutU16(t, static_cast<uint32_t>(code << 6) | 63u);
    PutU32(t, static_cast<uint32_t>(body.size()));
  }
  t.insert(t.end(), body.begin(), body.end());
  return t;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Movie {
  std::string signature = "FWS";
  uint8_t version = 7;
  Bytes rect = Rect(15, 0, 11000, 0, 8000);  // 550 x 400 pixels
  Bytes tagsBefore;                          // tags ahead of the colour tag
  Bytes colour = {0x33, 0x66, 0x99};
  Bytes after = Tag(0, {});                  // bytes after the colour tag
  long declaredAdjust = 0;                   // added to the true length

  Bytes build() const {
    Bytes b(signature.begin(), signature.end());
    b.push_back(version);
    PutU32(b, 0);
    b.insert(b.end(), rect.begin(), rect.end());
    PutU16(b, 12 << 8);  // frame rate 12.0
    PutU16(b, 1);        // one frame
    b.insert(b.end(), tagsBefore.begin(), tagsBefore.end());
    Bytes c = Tag(9, colour);
    b.insert(b.end(), c.begin(), c.end());
    b.insert(b.end(), after.begin(), after.end());
    const uint32_t length = static_cast<uint32_t>(static_cast<long>(b.size()) + declaredAdjust);
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    return b;
  }
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace swftest
