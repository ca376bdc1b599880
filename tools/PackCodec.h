// The codec as the package builder and inspector use it: imploded streams in
// binary mode with a 4096-byte dictionary, as the installer expects them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ss::pack {

// The two encoders of one stream format: the optimal parse (codec::Implode)
// and the hash-chain one (codec::ImplodeFast), 2-3 times as fast.
enum class Encoder { kThorough, kFast };

// Which encoder an item gets. Short items (under 64 KiB) get the thorough
// one. Longer ones are probed: three 32 KiB pieces (start, middle, end) go
// through the fast encoder, and where it saves nothing on them the item is
// taken as incompressible, where the fast encoder's output measured within
// 0.3 % of the thorough one's (already-compressed files, photographs, a data
// file of imploded entries), so it gets the fast one; everything else, where
// the fast encoder costs 1-7 % more, gets the thorough one. The choice
// depends on the bytes alone.
Encoder ChooseEncoder(const uint8_t* data, size_t size);

// Implodes with the encoder ChooseEncoder picks. With smallerOnly the result
// is only wanted when it is smaller than the input: once the output reaches
// the input's size the encoder stops early and *smaller is false (*out is
// then of no use). Without it, *smaller tells the same of the whole output.
bool Implode(const uint8_t* data, size_t size, bool smallerOnly, std::vector<uint8_t>* out,
             bool* smaller, std::string* error);

// The whole stream, always with the thorough encoder.
bool Implode(const std::vector<uint8_t>& data, std::vector<uint8_t>* out, std::string* error);

// Expands one stream. Stops with a message when the stream is damaged or
// would expand beyond maxOut bytes (the size the record promises, so a
// hostile stream cannot exhaust memory).
bool Explode(const uint8_t* data, size_t size, size_t maxOut, std::vector<uint8_t>* out,
             std::string* error);

}  // namespace ss::pack
