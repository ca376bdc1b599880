// A faster implode: hash chains and a one-step lazy parse priced in bits,
// instead of Implode's optimal parse over a binary-tree match finder. Same
// stream format, classic codes and work-buffer contract as Implode
// (Codec.h). Measured at 1.2-2.7x StormLib's implode speed (Implode:
// 0.3-1.3x) for output 1-2.5 % larger than Implode's: 0.98-1.0x StormLib's on
// text, binaries, compressed and mixed data, but up to 3.4 % larger than
// StormLib's on short, record-like repeats. codec/README.md has the numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/Codec.h"

namespace ss::codec {

unsigned ImplodeFast(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param, unsigned* type,
                     unsigned* dictSize);

// One piece of a stream, as ImplodePiece (Codec.h), with this encoder's parse.
unsigned ImplodeFastPiece(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                          unsigned* type, unsigned* dictSize, unsigned prime, unsigned flags,
                          unsigned* tailBits);

// Whole-buffer form, as ImplodeBuffer.
unsigned ImplodeFastBuffer(const uint8_t* data, size_t size, unsigned type, unsigned dictSize,
                           std::vector<uint8_t>* out);

}  // namespace ss::codec
