// The codec as the package builder and inspector use it: imploded streams in
// binary mode with a 4096-byte dictionary, as the installer expects them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ss::pack {

bool Implode(const std::vector<uint8_t>& data, std::vector<uint8_t>* out, std::string* error);

// Expands one stream. Stops with a message when the stream is damaged or
// would expand beyond maxOut bytes (the size the record promises, so a
// hostile stream cannot exhaust memory).
bool Explode(const uint8_t* data, size_t size, size_t maxOut, std::vector<uint8_t>* out,
             std::string* error);

}  // namespace ss::pack
