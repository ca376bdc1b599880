#include "tests/support/PackFixtures.h"

#include <algorithm>

#include "core/PackageOffset.h"
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

std::vector<uint8_t> MakePeStub() {
  StandInLibrary program;
  program.dll = false;
  std::vector<uint8_t> stub = MakeStandInLibrary(program);
  // The last 16 bytes of the section are free.
  const size_t slot = stub.size() - 16;
  std::copy(kPackageOffsetTag, kPackageOffsetTag + kPackageOffsetTagSize, stub.begin() + static_cast<std::ptrdiff_t>(slot));
  PutLE32(stub.data() + slot + kPackageOffsetTagSize, static_cast<int32_t>(stub.size()));
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

std::vector<uint8_t> MakeStandInLibrary(const StandInLibrary& o) {
  // Headers in the first 0x200 bytes, then one section of 0x200 bytes at
  // relative address 0x1000: the export directory, its three arrays, the
  // names, and (when asked for) a thread-local storage directory.
  constexpr uint32_t kSection = 0x200, kRva = 0x1000;
  std::vector<uint8_t> b(2 * kSection, 0);
  auto put16 = [&](size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) { PutLE32(&b[at], static_cast<int32_t>(v)); };
  b[0] = 'M';
  b[1] = 'Z';
  put32(0x3C, 0x40);
  b[0x40] = 'P';
  b[0x41] = 'E';
  const size_t file = 0x44, opt = file + 20;
  const uint32_t optSize = o.pe32Plus ? 240 : 224;
  put16(file, o.machine);
  put16(file + 2, 1);
  put16(file + 16, optSize);
  put16(file + 18, 0x0102 | (o.dll ? 0x2000 : 0));  // executable image, 32-bit words
  put16(opt, o.pe32Plus ? 0x20B : 0x10B);
  put32(opt + 32, 0x1000);  // section alignment
  put32(opt + 36, 0x200);   // file alignment
  put16(opt + 40, 4);       // system version 4.0
  put16(opt + 48, 4);       // subsystem version 4.0
  put32(opt + 56, 0x2000);  // image size
  put32(opt + 60, kSection);
  put16(opt + 68, 2);       // GUI
  const size_t dirs = opt + (o.pe32Plus ? 108 : 92);
  put32(dirs, 16);
  put32(dirs + 4, kRva);  // exports
  put32(dirs + 8, 0x100);
  if (o.tls) {
    put32(dirs + 4 + 9 * 8, kRva + 0x1C0);
    put32(dirs + 8 + 9 * 8, 24);
  }
  const size_t section = opt + optSize;
  std::copy_n(".edata", 6, b.begin() + static_cast<std::ptrdiff_t>(section));
  put32(section + 8, kSection);
  put32(section + 12, kRva);
  put32(section + 16, kSection);
  put32(section + 20, kSection);
  put32(section + 36, 0x40000040);  // initialised, readable

  const size_t dir = kSection;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(o.exports.size(), 8));
  put32(dir + 20, n);
  put32(dir + 24, n);
  put32(dir + 28, kRva + 0x40);  // functions
  put32(dir + 32, kRva + 0x80);  // names
  put32(dir + 36, kRva + 0xC0);  // name ordinals
  uint32_t text = 0x100;
  for (uint32_t i = 0; i < n; ++i) {
    const std::string& name = o.exports[i];
    put32(dir + 0x40 + i * 4, kRva);
    put32(dir + 0x80 + i * 4, kRva + text);
    put16(dir + 0xC0 + i * 2, i);
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(name.size(), 12)),
              b.begin() + static_cast<std::ptrdiff_t>(dir + text));
    text += 14;
  }
  if (!o.imports.empty()) {
    // At 0x2000: the descriptors, then for each library its lookup and
    // address tables, its name and its functions' hint/name entries.
    constexpr uint32_t kImportRva = 0x2000;
    std::vector<uint8_t> idata((o.imports.size() + 1) * 20, 0);
    const uint32_t thunk = o.pe32Plus ? 8 : 4;
    auto append = [&](const std::string& text) {
      idata.insert(idata.end(), text.begin(), text.end());
      idata.push_back(0);
    };
    for (size_t i = 0; i < o.imports.size(); ++i) {
      const auto& [library, names] = o.imports[i];
      const uint32_t tables = static_cast<uint32_t>(idata.size());
      const uint32_t tableSize = static_cast<uint32_t>(thunk * (names.size() + 1));
      idata.resize(tables + 2 * tableSize, 0);
      const uint32_t nameAt = static_cast<uint32_t>(idata.size());
      append(library);
      for (size_t j = 0; j < names.size(); ++j) {
        if (idata.size() % 2 != 0) idata.push_back(0);
        const uint32_t hint = static_cast<uint32_t>(idata.size());
        idata.push_back(0);
        idata.push_back(0);
        append(names[j]);
        PutLE32(&idata[tables + j * thunk], static_cast<int32_t>(kImportRva + hint));
        PutLE32(&idata[tables + tableSize + j * thunk], static_cast<int32_t>(kImportRva + hint));
      }
      PutLE32(&idata[i * 20], static_cast<int32_t>(kImportRva + tables));
      PutLE32(&idata[i * 20 + 12], static_cast<int32_t>(kImportRva + nameAt));
      PutLE32(&idata[i * 20 + 16], static_cast<int32_t>(kImportRva + tables + tableSize));
    }
    const uint32_t used = static_cast<uint32_t>(idata.size());
    idata.resize((used + kSection - 1) / kSection * kSection, 0);
    const size_t second = section + 40;
    std::copy_n(".idata", 6, b.begin() + static_cast<std::ptrdiff_t>(second));
    put32(second + 8, used);
    put32(second + 12, kImportRva);
    put32(second + 16, static_cast<uint32_t>(idata.size()));
    put32(second + 20, static_cast<uint32_t>(b.size()));
    put32(second + 36, 0xC0000040);  // initialised, readable, writable
    put16(file + 2, 2);
    put32(opt + 56, kImportRva + (used + 0xFFF) / 0x1000 * 0x1000);
    put32(dirs + 12, kImportRva);  // imports
    put32(dirs + 16, static_cast<uint32_t>((o.imports.size() + 1) * 20));
    b.insert(b.end(), idata.begin(), idata.end());
  }
  return b;
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
  if (library.empty()) library = MakeStandInLibrary();
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
    data.entries.push_back(CopyEntry("movie.swf"));
  }
  uint32_t seed = 100;
  for (const std::string& name : o.entryNames) {
    // Alternate text and noise so that both storage forms appear.
    auto bytes = (seed % 2) ? MakeNoiseBytes(1200 + seed, seed) : MakeTextBytes(3000 + seed, seed);
    data.entries.push_back(Entry(name, std::move(bytes), o.entryCompression, "fixture " + name));
    ++seed;
  }
  std::vector<uint8_t> dataBytes;
  // The options above always give a sound data file; a fault shows up as an
  // empty segment 8, which the builder then refuses.
  (void)BuildSaverDataFile(data, &dataBytes);
  in.segments[kSegDataFile] = Segment(o.title + ".ssd", dataBytes, c);
  return in;
}

bool BuildFixtureInstaller(const std::vector<uint8_t>& stub, const FixtureOptions& options,
                           std::vector<uint8_t>* out, std::string* error) {
  const ToolResult built = BuildInstaller(stub, MakeFixtureInput(options), out);
  *error = built.message();
  return built.ok();
}

}  // namespace ss::pack
