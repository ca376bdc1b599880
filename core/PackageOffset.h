// Where the appended package begins in the installer's own file.
//
// The package header sits right after the installer program, at an offset
// equal to the program's file size. That size is only known after linking, so
// the value lives in a small slot in the program's read-only data: a 12-byte
// tag followed by the little-endian int32 value. A post-link step
// (app/package_offset.cmake) finds the tag in the linked program and writes
// the file's size after it; the package builder finds the same tag to check a
// stub before appending to it. The tag must occur exactly once in the program.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ss {

constexpr size_t kPackageOffsetTagSize = 12;
// Bytes chosen not to occur by chance in code or text: a high byte, a name
// and a control byte.
constexpr uint8_t kPackageOffsetTag[kPackageOffsetTagSize] = {
    0x8F, 'S', 'S', 'P', 'a', 'c', 'k', 'O', 'f', 'f', 0x1A, 0x00};

}  // namespace ss

// The file offset of the package header (the installer program's own size),
// stamped into the program after linking. Read it like a constant (it is
// volatile so that no optimisation reads the placeholder instead).
extern const volatile int32_t& PackageOffset;
