// Packing the items of a build (the segments of an installer, the entries
// of a data file) side by side on worker threads. The outcome of every item
// is decided from its own results alone, so the bytes never depend on the
// thread count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/build/BuildInput.h"
#include "tools/common/PackCodec.h"
#include "tools/common/ToolResult.h"

namespace ss::pack {

// Reports each item as it is packed: a text naming it, and its number and the
// count of items, so that a terminal can show progress.
using Progress = std::function<void(const std::string& item, size_t done, size_t total)>;

// What one item asks for.
struct ItemInput {
  const std::vector<uint8_t>* data = nullptr;  // null: nothing to pack (a copied entry)
  Compression how = Compression::kAuto;
};

// One item packed: either imploded, as the pieces of one stream, or stored,
// in which case the caller copies the item's own bytes (so a stored item is
// never held twice).
struct PackedItem {
  std::vector<Piece> pieces;
  bool compressed = false;
  ToolResult packed;  // the fault of the item's first piece that failed
  size_t size = 0;    // of the stream
};

// Packs the items on `jobs` threads (0: DefaultJobs()). `name` gives an
// item's text for `progress`, which, when given, is told of every item as
// its last piece is done, under a lock, with the number finished so far.
std::vector<PackedItem> PackAll(const std::vector<ItemInput>& inputs, unsigned jobs,
                                const std::function<std::string(size_t)>& name,
                                const Progress& progress);

}  // namespace ss::pack
