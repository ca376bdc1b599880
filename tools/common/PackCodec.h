// The codec as the package builder and inspector use it: imploded streams in
// binary mode with a 4096-byte dictionary, as the installer expects them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/ToolResult.h"

namespace ss::pack {

// The two encoders of one stream format: the optimal parse (codec::Implode)
// and the hash-chain one (codec::ImplodeFast), 2-3 times as fast.
enum class Encoder { kThorough, kFast };

// Which encoder an item gets. Short items (under 64 KiB) get the thorough
// one. Longer ones are probed: three 16 KiB samples (the middles of its thirds) go
// through the fast encoder, and where its output is at least 3 % larger
// than the samples (random bytes: 12 %), the item is taken as incompressible
// and gets the fast one. On such items (JPEG, PNG and gzip files, random
// bytes) the fast encoder's output measured within 0.1 % of the thorough
// one's; everywhere else it costs more (noisy photographs 0.3-0.6 %, drawn
// pictures 0.4-4 %, programs 1-2 %, text 2-7 %), so they get the thorough
// one. The choice depends on the bytes alone.
Encoder ChooseEncoder(const uint8_t* data, size_t size);

// A long item is imploded in pieces of kPieceSize bytes (the last one
// shorter), each on its own and each given the 4096 bytes before it as
// history, so that one item can keep several threads busy; the pieces
// joined bit after bit are one stream (codec::ImplodePiece). The split
// depends on the size alone, so the stream does not depend on how many
// threads made it.
constexpr size_t kPieceSize = 512 * 1024;
inline size_t PieceCount(size_t size) {
  return size <= kPieceSize ? 1 : (size + kPieceSize - 1) / kPieceSize;
}

// The bytes of piece k of data[0, size) that no match can cover
// (codec::UncoverableBytes). No stream of an item is smaller than
// SizeFloor(the sum over its pieces): when that is not below the item's
// size, "auto" stores it without imploding.
uint64_t UncoverableInPiece(const uint8_t* data, size_t size, size_t k);
inline uint64_t SizeFloor(uint64_t uncoverable) { return 4 + (9 * uncoverable + 7) / 8; }

struct Piece {
  std::vector<uint8_t> bytes;
  unsigned tailBits = 0;  // bits of the last byte that are the piece's; 0: all
};

// Shared by the pieces of one item that is only wanted when it shrinks: they
// count what they write, and once that reaches `limit` (the item's size plus
// its piece count, which the joined stream cannot undercut) they stop early,
// and the item is known not to shrink.
struct ShrinkWatch {
  explicit ShrinkWatch(size_t itemSize) : limit(itemSize + PieceCount(itemSize)) {}
  std::atomic<size_t> written{0};
  const size_t limit;
  bool gaveUp() const { return written.load() >= limit; }
};

// Implodes piece k of data[0, size) with `encoder` into *out. watch may be
// null.
ToolResult ImplodePieceOf(const uint8_t* data, size_t size, size_t k, Encoder encoder,
                          ShrinkWatch* watch, Piece* out);

// The bytes of the pieces joined.
size_t JoinedSize(const std::vector<Piece>& pieces);

// Appends the pieces joined to *out, freeing each as it goes.
void AppendJoined(std::vector<Piece>* pieces, std::vector<uint8_t>* out);

// The whole stream in one run, always with the thorough encoder.
ToolResult Implode(const std::vector<uint8_t>& data, std::vector<uint8_t>* out);

// Expands one stream. Stops with a message when the stream is damaged or
// would expand beyond maxOut bytes (the size the record promises, so a
// hostile stream cannot exhaust memory).
ToolResult Explode(const uint8_t* data, size_t size, size_t maxOut, std::vector<uint8_t>* out);

}  // namespace ss::pack
