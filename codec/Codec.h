// Our implementation of the PKWARE Data Compression Library's implode format
// (the "DCL implode" of the classic library, not the ZIP "implode" method).
//
// Contract, in the spirit of zlib's contrib/blast:
//  - Both directions stream through caller callbacks, exactly as the classic
//    library does; no function here allocates memory. Explode keeps its state
//    in the caller's work buffer of kExplodeWorkSize bytes, implode in
//    kImplodeWorkSize bytes (plus a few locals on the stack). The work buffer
//    need not be aligned or zeroed.
//  - The read callback may deliver any number of bytes per call, from 1 to
//    *size; returning 0 means end of input.
//  - Return codes are the classic ones (kCmp*). Every invalid stream ends
//    with a nonzero code and never reads or writes out of bounds: bad header
//    bytes, a distance reaching before the start of the output, a truncated
//    stream (no end code) all give kCmpBadData, except the header checks
//    which give kCmpInvalidDictSize / kCmpInvalidMode as the classic
//    library does.
//  - Format notes: codec/FORMAT.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ss::codec {

// Literal modes (first byte of a stream).
constexpr unsigned kCmpBinary = 0;  // literals are 8 raw bits
constexpr unsigned kCmpAscii = 1;   // literals use the fixed literal code

// Classic return codes.
constexpr unsigned kCmpNoError = 0;
constexpr unsigned kCmpInvalidDictSize = 1;
constexpr unsigned kCmpInvalidMode = 2;
constexpr unsigned kCmpBadData = 3;
constexpr unsigned kCmpAbort = 4;

// Work buffer sizes the classic library asks for.
constexpr size_t kExplodeWorkSize = 12596;
constexpr size_t kImplodeWorkSize = 36312;

// Classic callbacks. `size` points to the number of bytes wanted (read) or
// given (write); `param` is the caller's parameter passed through unchanged.
using ReadFn = unsigned (*)(char* buf, unsigned* size, void* param);
using WriteFn = void (*)(char* buf, unsigned* size, void* param);

// Classic implode: compresses everything the read callback delivers.
// *type is kCmpBinary or kCmpAscii, *dictSize 1024, 2048 or 4096 (pointers,
// as in the classic ABI). work must hold kImplodeWorkSize bytes.
unsigned Implode(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                 unsigned* type, unsigned* dictSize);

// Pieces. A long input may be imploded as consecutive pieces, each on its
// own (on several threads, say): the pieces' bit strings, joined end to end
// with AppendPieceBits, are one stream that explodes to the whole input.
// The first piece carries the header (kPieceFirst), the last the end code
// (kPieceLast); a single piece with both is what Implode writes. Each piece
// is given the bytes just before it as history (`prime`, at most 4096; a
// larger value is refused with kCmpAbort): the read callback delivers them
// first, and they only fill the match finder, so that matches reach back
// across the join as in one run. *tailBits receives how many bits of the
// last byte written are the piece's (1-7), or 0 when all eight are; the rest
// are zero.
constexpr unsigned kPieceFirst = 1;
constexpr unsigned kPieceLast = 2;
unsigned ImplodePiece(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                      unsigned* type, unsigned* dictSize, unsigned prime, unsigned flags,
                      unsigned* tailBits);

// Appends a piece (its bytes and tail bits, as ImplodePiece gave them) to a
// stream held in *stream whose last byte holds *tailBits bits (0: all
// eight), and updates *tailBits. An empty stream starts with tail 0.
void AppendPieceBits(std::vector<uint8_t>* stream, unsigned* tailBits, const uint8_t* piece,
                     size_t size, unsigned pieceTailBits);

// A floor under the size in bytes of every binary-mode stream of these
// bytes, whatever the parse and dictionary size: a byte that no match can
// cover must be a literal of 9 bits, and the header and end code take 4
// bytes. A byte can be covered only when a 2-byte string around it was seen
// in the 256 bytes before (length 2) or a 3-byte string around it in the
// 4096 before (longer matches). One pass and no parse, so it tells data
// that cannot shrink (already-compressed files) far faster than imploding
// it would. Hash collisions only lower the floor.
size_t ImplodedSizeFloor(const uint8_t* data, size_t size);

// The same count by parts, for several threads: the bytes of [from, to)
// that no match can cover (each looks at the 4096 bytes before it and the
// two after). ImplodedSizeFloor is 4 bytes plus 9 bits for each byte the
// parts count together.
uint64_t UncoverableBytes(const uint8_t* data, size_t size, size_t from, size_t to);

// Classic explode: expands one stream. work must hold kExplodeWorkSize bytes.
unsigned Explode(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param);

// Explode with an output limit: once the output would pass maxOut bytes, the
// first maxOut bytes are written and kCmpAbort is returned.
unsigned ExplodeLimited(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                        uint64_t maxOut);

// ExplodeLimited with the decoder's bit buffer `bufferBits` (32 or 64) wide.
// ExplodeLimited uses the width of the machine it is built for (32 bits in
// the i686 impborl.dll); the two decoders must agree on every stream, in
// code and output, and the tests and the fuzz target hold them to that on a
// machine that would otherwise run only one.
unsigned ExplodeLimitedWithBuffer(ReadFn readBuf, WriteFn writeBuf, char* workBuf, void* param,
                                  uint64_t maxOut, unsigned bufferBits);

// Whole-buffer helpers. ImplodeBuffer: dictSize is 1024, 2048 or 4096.
// Returns the classic code; *out receives the stream (cleared first).
unsigned ImplodeBuffer(const uint8_t* data, size_t size, unsigned type, unsigned dictSize,
                       std::vector<uint8_t>* out);
// ExplodeBuffer stops with kCmpAbort once the output would pass maxOut bytes
// (bomb guard); returns the classic code; *out holds what was produced.
unsigned ExplodeBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>* out,
                       size_t maxOut);

// The classic library's crc32: the standard reflected CRC-32 update with no
// inversion inside. Seeded with ~0 and inverted by the caller it gives the
// usual CRC-32 (0xCBF43926 for "123456789").
uint32_t Crc32(const void* data, size_t size, uint32_t crc);

}  // namespace ss::codec
