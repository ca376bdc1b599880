// Access to the program's string table (ids 65248-65311). The texts live in
// strings.def, which also feeds the STRINGTABLE of the Windows resources.
#pragma once

#include <cstdint>
#include <string>

namespace ss {

enum class StringId : uint16_t {
#define SS_STRING(id, name, text) name = id,
#include "core/strings.def"
#undef SS_STRING
};

constexpr uint16_t kFirstStringId = 65248;
constexpr uint16_t kLastStringId = 65311;

// The compiled-in text of an id, or nullptr when the table has none.
const char* StringTableText(uint16_t id);

// The text the user sees. On Windows it is loaded from the program's own
// string resource (falling back to the compiled-in table); elsewhere it is
// the table's text. An id without text gives an empty string.
std::string LoadStr(StringId id);

// Every id the table defines, in ascending order.
const uint16_t* StringTableIds(size_t* count);

}  // namespace ss
