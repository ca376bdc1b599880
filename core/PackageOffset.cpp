// The slot that the post-link step stamps with the program's file size.
#include "core/PackageOffset.h"

namespace {

struct PackageOffsetSlot {
  uint8_t tag[ss::kPackageOffsetTagSize];
  int32_t value;  // 0 until the post-link step has run
};

// Kept even when nothing reads it yet: the post-link step needs to find it.
// Volatile: the value changes after the link, so no compiler may fold the
// placeholder 0 into code that reads it, not even when it optimises across
// translation units (the stub is linked with LTO).
__attribute__((used)) const volatile PackageOffsetSlot kSlot = {
    {ss::kPackageOffsetTag[0], ss::kPackageOffsetTag[1], ss::kPackageOffsetTag[2],
     ss::kPackageOffsetTag[3], ss::kPackageOffsetTag[4], ss::kPackageOffsetTag[5],
     ss::kPackageOffsetTag[6], ss::kPackageOffsetTag[7], ss::kPackageOffsetTag[8],
     ss::kPackageOffsetTag[9], ss::kPackageOffsetTag[10], ss::kPackageOffsetTag[11]},
    0};

}  // namespace

// Other translation units read the value through this reference.
const volatile int32_t& PackageOffset = kSlot.value;
