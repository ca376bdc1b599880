// impborl.dll: our codec behind the classic PKWARE Data Compression Library
// ABI. impborl.def exports exactly _implode, _explode and _crc32 (cdecl), the
// names the installer resolves. The classic library passes the
// mode, dictionary size, buffer size and old crc by address.
#include <cstdint>

#include "codec/Codec.h"

extern "C" {

unsigned __cdecl impborl_implode(ss::codec::ReadFn readBuf, ss::codec::WriteFn writeBuf,
                                 char* workBuf, void* param, unsigned* type, unsigned* dictSize) {
  return ss::codec::Implode(readBuf, writeBuf, workBuf, param, type, dictSize);
}

unsigned __cdecl impborl_explode(ss::codec::ReadFn readBuf, ss::codec::WriteFn writeBuf,
                                 char* workBuf, void* param) {
  return ss::codec::Explode(readBuf, writeBuf, workBuf, param);
}

unsigned long __cdecl impborl_crc32(char* buffer, unsigned* size, unsigned long* oldCrc) {
  return ss::codec::Crc32(buffer, *size, static_cast<uint32_t>(*oldCrc));
}

}  // extern "C"
