#include "core/Strings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ss {
namespace {

struct Entry {
  uint16_t id;
  const char* text;
};

constexpr Entry kTable[] = {
#define SS_STRING(id, name, text) {id, text},
#include "core/strings.def"
#undef SS_STRING
};

constexpr uint16_t kIds[] = {
#define SS_STRING(id, name, text) id,
#include "core/strings.def"
#undef SS_STRING
};

}  // namespace

const char* StringTableText(uint16_t id) {
  for (const Entry& e : kTable) {
    if (e.id == id) return e.text;
  }
  return nullptr;
}

const uint16_t* StringTableIds(size_t* count) {
  *count = sizeof(kIds) / sizeof(kIds[0]);
  return kIds;
}

std::string LoadStr(StringId id) {
#ifdef _WIN32
  // A string resource holds at most 4097 characters in the RC format; ours
  // are far shorter.
  char buf[1024];
  const DWORD saved = GetLastError();
  const int n = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), buf, sizeof buf);
  SetLastError(saved);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
#endif
  const char* text = StringTableText(static_cast<uint16_t>(id));
  return text ? text : "";
}

}  // namespace ss
