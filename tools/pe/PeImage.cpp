#include "tools/pe/PeImage.h"

#include <algorithm>

#include "tools/common/PackNames.h"

namespace ss::pack {
namespace {

// Hostile files may claim any count; real ones stay far below these.
constexpr uint32_t kMaxSections = 96;
constexpr size_t kMaxName = 512;

enum Directory { kDirExport = 0, kDirImport = 1, kDirSecurity = 4, kDirTls = 9, kDirDelayImport = 13 };

struct Section {
  uint32_t address, rawOffset, rawSize;
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool Has(uint64_t offset, uint64_t size) const { return offset + size <= bytes_.size(); }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(bytes_[at] | (bytes_[at + 1] << 8)); }
  uint32_t U32(size_t at) const {
    return static_cast<uint32_t>(bytes_[at]) | (static_cast<uint32_t>(bytes_[at + 1]) << 8) |
           (static_cast<uint32_t>(bytes_[at + 2]) << 16) | (static_cast<uint32_t>(bytes_[at + 3]) << 24);
  }
  uint64_t U64(size_t at) const { return U32(at) | (static_cast<uint64_t>(U32(at + 4)) << 32); }

  void SetSections(std::vector<Section> sections) { sections_ = std::move(sections); }

  // File offset of `size` bytes at the relative address `rva`; false when
  // they do not lie within one section's bytes in the file.
  bool Offset(uint32_t rva, uint32_t size, size_t* offset) const {
    for (const Section& s : sections_) {
      // Only the section's bytes in the file can be read; the rest of its
      // memory image is zeros that the loader supplies.
      if (rva >= s.address && static_cast<uint64_t>(rva) + size <= static_cast<uint64_t>(s.address) + s.rawSize) {
        const uint64_t at = static_cast<uint64_t>(s.rawOffset) + (rva - s.address);
        if (!Has(at, size)) return false;
        *offset = static_cast<size_t>(at);
        return true;
      }
    }
    return false;
  }

  // A NUL-terminated name at `rva`.
  bool Name(uint32_t rva, std::string* name) const {
    size_t at = 0;
    if (!Offset(rva, 1, &at)) return false;
    name->clear();
    while (at < bytes_.size() && bytes_[at] != 0) {
      if (name->size() == kMaxName) return false;
      name->push_back(static_cast<char>(bytes_[at++]));
    }
    return at < bytes_.size();
  }

 private:
  const std::vector<uint8_t>& bytes_;
  std::vector<Section> sections_;
};

// What the tables read so far have used of the caller's budgets.
struct Budget {
  const PeReadLimits& limits;
  uint64_t nameBytes = 0;
  uint32_t functions = 0;

  // Counts one name; false with a message once the names together pass
  // their budget.
  bool Name(const std::string& name, std::string* error) {
    nameBytes += name.size() + 1;
    if (nameBytes <= limits.maxNameBytes) return true;
    *error = "the names of the import and export tables pass " + std::to_string(limits.maxNameBytes) +
             " bytes (a damaged or hostile file)";
    return false;
  }
};

bool ReadExports(const Reader& r, uint32_t rva, Budget* budget, PeImage* image, std::string* error) {
  size_t dir = 0;
  if (!r.Offset(rva, 40, &dir)) {
    *error = "the export table lies outside the file";
    return false;
  }
  const uint32_t count = r.U32(dir + 24);
  const uint32_t namesRva = r.U32(dir + 32);
  size_t names = 0;
  if (count > budget->limits.maxExports) {
    *error = "the export table names " + std::to_string(count) + " functions, more than " +
             std::to_string(budget->limits.maxExports) + " (a damaged or hostile file)";
    return false;
  }
  if (count > 0 && !r.Offset(namesRva, count * 4, &names)) {
    *error = "the export names lie outside the file";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    std::string name;
    if (!r.Name(r.U32(names + i * 4), &name)) {
      *error = "an export name lies outside the file";
      return false;
    }
    if (!budget->Name(name, error)) return false;
    image->exports.push_back(std::move(name));
  }
  return true;
}

bool ReadImports(const Reader& r, uint32_t rva, Budget* budget, PeImage* image, std::string* error) {
  const uint32_t thunkSize = image->pe32Plus ? 8 : 4;
  for (uint32_t i = 0;; ++i) {
    size_t desc = 0;
    if (!r.Offset(rva + i * 20, 20, &desc)) {
      *error = "the import table lies outside the file or does not end";
      return false;
    }
    const uint32_t lookup = r.U32(desc);
    const uint32_t nameRva = r.U32(desc + 12);
    const uint32_t firstThunk = r.U32(desc + 16);
    if (lookup == 0 && nameRva == 0 && firstThunk == 0) return true;
    if (i == budget->limits.maxLibraries) {
      *error = "the import table names more than " + std::to_string(budget->limits.maxLibraries) +
               " libraries (a damaged or hostile file)";
      return false;
    }
    PeImport lib;
    if (!r.Name(nameRva, &lib.library)) {
      *error = "an imported library's name lies outside the file";
      return false;
    }
    if (!budget->Name(lib.library, error)) return false;
    // The lookup table when there is one; the address table holds the same
    // entries until the loader binds them.
    const uint32_t table = lookup != 0 ? lookup : firstThunk;
    for (uint32_t j = 0;; ++j) {
      size_t at = 0;
      if (!r.Offset(table + j * thunkSize, thunkSize, &at)) {
        *error = "the imports from " + DisplayName(lib.library) + " lie outside the file or do not end";
        return false;
      }
      const uint64_t entry = image->pe32Plus ? r.U64(at) : r.U32(at);
      if (entry == 0) break;
      if (++budget->functions > budget->limits.maxFunctions) {
        *error = "the import table names more than " + std::to_string(budget->limits.maxFunctions) +
                 " functions (a damaged or hostile file)";
        return false;
      }
      const uint64_t byOrdinal = image->pe32Plus ? (1ull << 63) : (1ull << 31);
      if (entry & byOrdinal) {
        lib.ordinals.push_back(static_cast<uint16_t>(entry & 0xFFFF));
        continue;
      }
      std::string name;
      // Past the two-byte hint.
      if (entry > 0x7FFFFFFF || !r.Name(static_cast<uint32_t>(entry) + 2, &name)) {
        *error = "a name imported from " + DisplayName(lib.library) + " lies outside the file";
        return false;
      }
      if (!budget->Name(name, error)) return false;
      lib.names.push_back(std::move(name));
    }
    image->imports.push_back(std::move(lib));
  }
}

bool ReadImage(const std::vector<uint8_t>& bytes, PeImage* image, std::string* error,
               const PeReadLimits& limits) {
  *image = PeImage();
  Reader r(bytes);
  if (!r.Has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z') {
    *error = "not a Windows program or library (no \"MZ\" header)";
    return false;
  }
  const uint32_t pe = r.U32(0x3C);
  if (!r.Has(pe, 24) || bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 || bytes[pe + 3] != 0) {
    *error = "an MS-DOS program, not a Windows one (no \"PE\" header)";
    return false;
  }
  const size_t fileHeader = pe + 4;
  image->machine = r.U16(fileHeader);
  const uint32_t sectionCount = r.U16(fileHeader + 2);
  const uint32_t optionalSize = r.U16(fileHeader + 16);
  image->characteristics = r.U16(fileHeader + 18);
  const size_t opt = fileHeader + 20;
  if (optionalSize < 2 || !r.Has(opt, optionalSize)) {
    *error = "the optional header lies outside the file";
    return false;
  }
  const uint16_t magic = r.U16(opt);
  if (magic != 0x10B && magic != 0x20B) {
    *error = "unknown optional header";
    return false;
  }
  image->pe32Plus = magic == 0x20B;
  const size_t countAt = image->pe32Plus ? 108 : 92;
  if (optionalSize < countAt + 4) {
    *error = "the optional header is too short";
    return false;
  }
  image->osMajor = r.U16(opt + 40);
  image->osMinor = r.U16(opt + 42);
  image->subsystemMajor = r.U16(opt + 48);
  image->subsystemMinor = r.U16(opt + 50);
  image->subsystem = r.U16(opt + 68);
  const uint32_t dirCount = std::min<uint32_t>(r.U32(opt + countAt), (optionalSize - countAt - 4) / 8);
  auto directory = [&](uint32_t index, uint32_t* rva, uint32_t* size) {
    *rva = *size = 0;
    if (index >= dirCount) return;
    *rva = r.U32(opt + countAt + 4 + index * 8);
    *size = r.U32(opt + countAt + 8 + index * 8);
  };

  const size_t table = opt + optionalSize;
  if (sectionCount > kMaxSections || !r.Has(table, sectionCount * 40ull)) {
    *error = "the section table lies outside the file";
    return false;
  }
  std::vector<Section> sections;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const size_t s = table + i * 40;
    sections.push_back({r.U32(s + 12), r.U32(s + 20), r.U32(s + 16)});
  }
  r.SetSections(std::move(sections));

  uint32_t rva = 0, size = 0;
  directory(kDirSecurity, &rva, &size);
  if (rva != 0 && size != 0) {
    image->certificateOffset = rva;
    image->certificateSize = size;
  }
  directory(kDirTls, &rva, &size);
  image->hasTls = rva != 0 && size != 0;
  directory(kDirDelayImport, &rva, &size);
  image->hasDelayImports = rva != 0 && size != 0;
  Budget budget{limits};
  directory(kDirExport, &rva, &size);
  if (limits.exports && rva != 0 && size != 0 && !ReadExports(r, rva, &budget, image, error)) return false;
  directory(kDirImport, &rva, &size);
  if (limits.imports && rva != 0 && size != 0 && !ReadImports(r, rva, &budget, image, error)) return false;
  return true;
}

}  // namespace

bool PeImage::exportsName(const std::string& name) const {
  return std::find(exports.begin(), exports.end(), name) != exports.end();
}

ToolResult ReadPeImage(const std::vector<uint8_t>& bytes, PeImage* image, const PeReadLimits& limits) {
  std::string error;
  if (!ReadImage(bytes, image, &error, limits)) return ToolResult::Fault(error);
  return ToolResult();
}


std::string DecompressionLibraryFault(const std::vector<uint8_t>& bytes) {
  PeImage image;
  if (const ToolResult read = ReadPeImage(bytes, &image); !read.ok()) return read.message();
  if (image.machine != kPeMachineI386 || image.pe32Plus) {
    return "not a 32-bit x86 library (the installer is a 32-bit program and cannot load it)";
  }
  if (!image.isDll()) return "a program, not a library";
  for (const char* name : {"_explode", "_implode", "_crc32"}) {
    if (!image.exportsName(name)) return std::string("does not export ") + name;
  }
  if (image.hasTls) {
    return "has a thread-local storage directory, which Windows before Vista does not set up for a "
           "library loaded at run time";
  }
  return std::string();
}

}  // namespace ss::pack
