#include "tools/common/PackNames.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <vector>

#include "package/SegmentTargets.h"
#include "winsys/LMT_StringUtils.h"

namespace ss::pack {
namespace {

// Unicode code points of Windows-1252 bytes 0x80 to 0x9F; 0 marks the five
// bytes the code page leaves undefined.
constexpr std::array<uint16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsDeviceName(const std::string& name) {
  // The part before the first dot decides: "con.txt" is the console too.
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
  for (const char* n : kNames) {
    if (base == n) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '1' && base[3] <= '9') {
    return true;
  }
  return false;
}

// Bytes a terminal could take for a command: the C0 controls, DEL, and the
// five bytes the code page leaves undefined, which come out as the C1
// controls of the same value (U+009D starts an operating-system command,
// U+0090 a device control string).
bool IsUnprintable(unsigned char c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0 && kHighControls[c - 0x80] == 0);
}

bool IsBadChar(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' ||
         c == '|' || c == '?' || c == '*';
}

std::vector<std::string> SplitBackslash(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = path.find('\\', start);
    parts.push_back(path.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

}  // namespace

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* bad) {
  ansi->clear();
  size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = 0;
    size_t len = 0;
    if (lead < 0x80) {
      cp = lead;
      len = 1;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F;
      len = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F;
      len = 3;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07;
      len = 4;
    } else {
      if (bad) *bad = "\\x" + std::string(1, "0123456789ABCDEF"[lead >> 4]) + "0123456789ABCDEF"[lead & 15];
      return false;
    }
    if (i + len > utf8.size()) {
      if (bad) *bad = utf8.substr(i);
      return false;
    }
    for (size_t k = 1; k < len; ++k) {
      const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
      if ((c & 0xC0) != 0x80) {
        if (bad) *bad = utf8.substr(i, k + 1);
        return false;
      }
      cp = (cp << 6) | (c & 0x3F);
    }
    const std::string seq = utf8.substr(i, len);
    i += len;
    // Overlong forms and surrogates are malformed.
    const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
      if (bad) *bad = seq;
      return false;
    }
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      ansi->push_back(static_cast<char>(cp));
      continue;
    }
    bool found = false;
    for (size_t k = 0; k < kHighControls.size(); ++k) {
      if (kHighControls[k] != 0 && kHighControls[k] == cp) {
        ansi->push_back(static_cast<char>(0x80 + k));
        found = true;
        break;
      }
    }
    if (!found) {
      if (bad) *bad = seq;
      return false;
    }
  }
  return true;
}

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x80 && c < 0xA0 && kHighControls[c - 0x80] != 0) {
      AppendUtf8(kHighControls[c - 0x80], &out);
    } else {
      AppendUtf8(c, &out);
    }
  }
  return out;
}

std::string DisplayName(const std::string& ansi) {
  std::string out;
  for (char ch : ansi) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (IsUnprintable(c)) {
      out += "\\x";
      out += "0123456789ABCDEF"[c >> 4];
      out += "0123456789ABCDEF"[c & 15];
    } else {
      out += AnsiToUtf8(std::string(1, ch));
    }
  }
  return out;
}

namespace {

// Why `name` is no usable name, or "". `endsFree` lets it end with a dot or a
// space (a title, which is always followed by more).
std::string NameFault(const std::string& name, size_t maxLength, bool endsFree) {
  if (name.empty()) return "the name is empty";
  if (name.size() > maxLength) {
    return "the name is longer than " + std::to_string(maxLength) + " characters";
  }
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (IsBadChar(c)) {
      if (c < 0x20) return "the name holds a control character";
      return std::string("the name holds the character '") + ch + "'";
    }
  }
  if (name == "." || name == "..") return "the name is \"" + name + "\"";
  if (!endsFree && (name.back() == '.' || name.back() == ' ')) return "the name ends with a dot or a space";
  if (name.find_first_not_of(". ") == std::string::npos) return "the name holds nothing but dots and spaces";
  if (IsDeviceName(name)) return "the name is a device name";
  return std::string();
}

}  // namespace

std::string FileNameFault(const std::string& name, size_t maxLength) {
  const std::string fault = NameFault(name, maxLength, false);
  if (!fault.empty()) return fault;
  // The installer's own rule has the last word.
  if (!IsSafeSegmentName(name)) return "the installer refuses the name";
  return std::string();
}

std::string RelativePathFault(const std::string& path, size_t maxLength) {
  if (path.empty()) return "the name is empty";
  if (path.size() > maxLength) {
    return "the name is longer than " + std::to_string(maxLength) + " characters";
  }
  for (const std::string& part : SplitBackslash(path)) {
    if (part.empty()) return "the name has an empty folder part";
    const std::string fault = FileNameFault(part, maxLength);
    if (!fault.empty()) return fault + " (in the part \"" + DisplayName(part) + "\")";
  }
  if (!IsSafeEntryName(path)) return "the installer refuses the name";
  return std::string();
}

std::string TitleFault(const std::string& title) {
  if (title.size() > 64) return "the title is longer than 64 characters";
  std::string fault = NameFault(title, 64, true);
  // The installer's own rule has the last word.
  if (fault.empty() && !IsPlainTitle(title)) fault = "the installer refuses it";
  if (!fault.empty()) return "the title is not a usable file name: " + fault;
  return std::string();
}

std::string SafeRelativePath(const std::string& ansiPath) {
  std::string out;
  for (std::string part : SplitBackslash(ansiPath)) {
    if (part.empty()) continue;
    if (part == "." || part == "..") {
      part = "_";
    } else if (!FileNameFault(part).empty()) {
      for (char& ch : part) {
        if (IsBadChar(static_cast<unsigned char>(ch))) ch = '_';
      }
      if (part.back() == '.' || part.back() == ' ') part.back() = '_';
      if (IsDeviceName(part)) part.insert(part.begin(), '_');
      if (part.size() > 255) part.resize(255);
    }
    // Windows takes these bytes in a name, but a host name with them would
    // reach the terminal as controls when extract lists what it wrote.
    for (char& ch : part) {
      if (IsUnprintable(static_cast<unsigned char>(ch))) ch = '_';
    }
    if (!out.empty()) out.push_back('/');
    out += AnsiToUtf8(part);
  }
  if (out.empty()) out = "_";
  return out;
}

}  // namespace ss::pack
