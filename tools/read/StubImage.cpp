#include "tools/read/StubImage.h"

#include <algorithm>

#include "core/PackageOffset.h"
#include "package/ByteOrder.h"
#include "package/PackageRecords.h"

namespace ss::pack {

ToolResult FindStubSlot(const std::vector<uint8_t>& data, size_t limit, StubSlot* slot) {
  limit = std::min(limit, data.size());
  const uint8_t* begin = data.data();
  const uint8_t* end = data.data() + limit;
  const uint8_t* tagBegin = kPackageOffsetTag;
  const uint8_t* tagEnd = kPackageOffsetTag + kPackageOffsetTagSize;
  const uint8_t* at = std::search(begin, end, tagBegin, tagEnd);
  if (at == end) {
    return ToolResult::Fault("no PackageOffset slot found: this is not an installer stub of this project");
  }
  if (std::search(at + 1, end, tagBegin, tagEnd) != end) {
    return ToolResult::Fault("the PackageOffset slot occurs more than once");
  }
  const size_t tagAt = static_cast<size_t>(at - begin);
  if (tagAt + kPackageOffsetTagSize + 4 > data.size()) {
    return ToolResult::Fault("the PackageOffset slot runs past the end of the file");
  }
  slot->tagAt = tagAt;
  slot->value = GetLE32(data.data() + tagAt + kPackageOffsetTagSize);
  return ToolResult();
}

ToolResult CheckStub(const std::vector<uint8_t>& stub) {
  if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') {
    return ToolResult::Fault("not a Windows program (no \"MZ\" signature)");
  }
  if (stub.size() > 0x7FFFFFFF - kPackageHeaderSize) {
    return ToolResult::Fault("the stub is too large for the package's 32-bit offsets");
  }
  StubSlot slot;
  if (ToolResult found = FindStubSlot(stub, stub.size(), &slot); !found.ok()) return found;
  if (slot.value != static_cast<int32_t>(stub.size())) {
    return ToolResult::Fault("its PackageOffset (" + std::to_string(slot.value) + ") differs from its size (" +
             std::to_string(stub.size()) +
             " bytes); the installer would look for the package in the wrong place. Use the stub "
             "exactly as the build produced it (the post-link step stamps the size)");
  }
  return ToolResult();
}

ToolResult LocatePackage(const std::vector<uint8_t>& installer, int32_t* packageOffset) {
  // The package may carry bytes that look like a slot (another installer as
  // a segment, say); only the first occurrence counts, and it must lie in the
  // program part that its own value delimits.
  const uint8_t* begin = installer.data();
  const uint8_t* end = begin + installer.size();
  const uint8_t* at = std::search(begin, end, kPackageOffsetTag,
                                  kPackageOffsetTag + kPackageOffsetTagSize);
  if (at == end) {
    return ToolResult::Fault("no PackageOffset slot found: not an installer of this project");
  }
  const size_t tagAt = static_cast<size_t>(at - begin);
  if (tagAt + kPackageOffsetTagSize + 4 > installer.size()) {
    return ToolResult::Fault("the PackageOffset slot runs past the end of the file");
  }
  const int32_t value = GetLE32(installer.data() + tagAt + kPackageOffsetTagSize);
  if (value <= 0 || static_cast<size_t>(value) < tagAt + kPackageOffsetTagSize + 4) {
    return ToolResult::Fault("the stub's PackageOffset (" + std::to_string(value) +
             ") was never stamped or is damaged");
  }
  StubSlot slot;
  if (ToolResult found = FindStubSlot(installer, static_cast<size_t>(value), &slot); !found.ok()) return found;
  if (static_cast<uint64_t>(value) + kPackageHeaderSize > installer.size()) {
    return ToolResult::Fault("the file ends before the package header: PackageOffset is " +
             std::to_string(value) + ", the header needs " + std::to_string(kPackageHeaderSize) +
             " bytes, the file has " + std::to_string(installer.size()));
  }
  *packageOffset = value;
  return ToolResult();
}

}  // namespace ss::pack
