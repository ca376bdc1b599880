#include "tools/PackFixtures.h"

#include <algorithm>

#include "app/PackageOffset.h"
#include "package/ByteOrder.h"

namespace ss::pack {
namespace {

uint32_t NextRandom(uint32_t* state) {
  // xorshift32: fixed sequence for a seed, no library dependence.
  uint32_t x = *state ? *state : 0x9E3779B9u;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  *state = x;
  return x;
}

SegmentInput Segment(const std::string& name, std::vector<uint8_t> data, Compression c) {
  SegmentInput s;
  s.name = name;
  s.data = std::move(data);
  s.compression = c;
  s.source = "fixture " + name;
  return s;
}

}  // namespace

std::vector<uint8_t> MakeFakeStub(size_t size) {
  size = std::max<size_t>(size, 128);
  std::vector<uint8_t> stub(size);
  for (size_t i = 0; i < size; ++i) stub[i] = static_cast<uint8_t>(i * 7 + 3);
  stub[0] = 'M';
  stub[1] = 'Z';
  std::copy(kPackageOffsetTag, kPackageOffsetTag + kPackageOffsetTagSize, stub.begin() + 64);
  PutLE32(stub.data() + 64 + kPackageOffsetTagSize, static_cast<int32_t>(size));
  return stub;
}

std::vector<uint8_t> MakeTextBytes(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"deep ", "sea ", "aqua ", "fish ", "coral ", "wave ",
                                       "light ", "blue ", "\r\n"};
  std::vector<uint8_t> out;
  out.reserve(size);
  uint32_t state = seed;
  while (out.size() < size) {
    const char* w = kWords[NextRandom(&state) % 9];
    for (; *w && out.size() < size; ++w) out.push_back(static_cast<uint8_t>(*w));
  }
  return out;
}

std::vector<uint8_t> MakeNoiseBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> out(size);
  uint32_t state = seed;
  for (uint8_t& b : out) b = static_cast<uint8_t>(NextRandom(&state) >> 24);
  return out;
}

PackageInput MakeFixtureInput(const FixtureOptions& o) {
  PackageInput in;
  in.displayMode = o.displayMode;
  in.flashVersionIndex = o.flashVersionIndex;
  in.showDisplayProperties = o.showDisplayProperties;
  in.title = o.title;
  in.installerName = o.installerName;
  const Compression c = o.compression;

  std::vector<uint8_t> library = o.library;
  if (library.empty()) {
    library = MakeNoiseBytes(3000, 11);
    library[0] = 'M';
    library[1] = 'Z';
  }
  in.segments[kSegLibrary] = Segment("impborl.dat", library, Compression::kStore);
  if (o.flashSetup) in.segments[kSegFlashSetup] = Segment("flashax7.exe", MakeNoiseBytes(5000, 12), c);
  switch (o.displayMode) {
    case dmFlash:
    case dmFlashAlt: {
      std::vector<uint8_t> movie = MakeTextBytes(6000, 13);
      const uint8_t head[] = {'F', 'W', 'S', 6};
      std::copy(head, head + 4, movie.begin());
      in.segments[kSegPresentation] = Segment("installer.swf", movie, c);
      break;
    }
    case dmBitmap: {
      std::vector<uint8_t> picture = MakeTextBytes(4000, 14);
      picture[0] = 'B';
      picture[1] = 'M';
      in.segments[kSegPresentation] = Segment("installer.bmp", picture, c);
      break;
    }
    case dmJpeg: {
      std::vector<uint8_t> picture = MakeNoiseBytes(4000, 15);
      picture[0] = 0xFF;
      picture[1] = 0xD8;
      picture[2] = 0xFF;
      in.segments[kSegPresentation] = Segment("installer.jpg", picture, c);
      break;
    }
    default:
      break;
  }
  if (o.license) in.segments[kSegLicense] = Segment("license.txt", MakeTextBytes(2500, 16), c);
  if (o.document) in.segments[kSegCompanion] = Segment("readme.htm", MakeTextBytes(1800, 17), c);
  in.segments[kSegEngine] = Segment(o.title + ".scr", MakeNoiseBytes(7000, 18), c);
  in.segments[kSegSupportFile] = Segment("support.dat", MakeTextBytes(900, 19), c);
  in.segments[kSegSupportLib1] = Segment("helper1.dll", MakeNoiseBytes(1500, 20), c);
  in.segments[kSegSupportLib2] = Segment("helper2.dll", MakeTextBytes(1500, 21), c);

  DataFileInput data;
  for (size_t i = 0; i < data.settings.size(); ++i) data.settings[i] = static_cast<uint8_t>(i % 251);
  data.contentKind = o.contentKind;
  if (o.contentKind == TSaverDataHeader::kContentKindMovie) {
    DataEntryInput movie;
    movie.name = "movie.swf";
    movie.copy = true;
    data.entries.push_back(movie);
  }
  uint32_t seed = 100;
  for (const std::string& name : o.entryNames) {
    DataEntryInput e;
    e.name = name;
    // Alternate text and noise so that both storage forms appear.
    e.data = (seed % 2) ? MakeNoiseBytes(1200 + seed, seed) : MakeTextBytes(3000 + seed, seed);
    e.compression = o.entryCompression;
    e.source = "fixture " + name;
    data.entries.push_back(std::move(e));
    ++seed;
  }
  std::vector<uint8_t> dataBytes;
  std::string error;
  // The options above always give a sound data file; a fault shows up as an
  // empty segment 8, which the builder then refuses.
  BuildSaverDataFile(data, &dataBytes, &error);
  in.segments[kSegDataFile] = Segment(o.title + ".ssd", dataBytes, c);
  return in;
}

bool BuildFixtureInstaller(const std::vector<uint8_t>& stub, const FixtureOptions& options,
                           std::vector<uint8_t>* out, std::string* error) {
  return BuildInstaller(stub, MakeFixtureInput(options), out, error);
}

}  // namespace ss::pack
