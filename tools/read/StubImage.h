// Finding PackageOffset in an installer program's bytes. The stub carries the
// value in a tagged slot (core/PackageOffset.h) that the post-link step stamps
// with the stub's file size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/ToolResult.h"

namespace ss::pack {

struct StubSlot {
  size_t tagAt = 0;    // file offset of the tag
  int32_t value = 0;   // the stamped PackageOffset
};

// Finds the slot among the first `limit` bytes (pass data.size() for a bare
// stub). The tag must occur exactly once there. A fault with a message when it
// does not, or when the slot runs past the end.
ToolResult FindStubSlot(const std::vector<uint8_t>& data, size_t limit, StubSlot* slot);

// Checks a bare stub before a package is appended to it: a Windows program
// ("MZ"), a slot, and a stamped value equal to the stub's size.
ToolResult CheckStub(const std::vector<uint8_t>& stub);

// Finds where the package of a finished installer begins: the slot's value,
// which must leave room for the package header, with the slot itself lying
// in the program part before it.
ToolResult LocatePackage(const std::vector<uint8_t>& installer, int32_t* packageOffset);

}  // namespace ss::pack
