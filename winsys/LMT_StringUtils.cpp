#include "winsys/LMT_StringUtils.h"

#include <cctype>

#include "core/Strings.h"

namespace ss {

namespace {

// The part of `s` before its first NUL, with A-Z folded to lower case.
std::string FoldedPrefix(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\0') break;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    out.push_back(c);
  }
  return out;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// True when the name calls itself a screen saver, trying the words in the
// order the installer always has.
bool NamesAScreenSaver(const std::string& name, bool withResourceWord) {
  static const char* const kWords[] = {"screen saver", "screensaver", "saver"};
  for (const char* w : kWords) {
    if (ContainsText(name, w)) return true;
  }
  return withResourceWord && ContainsText(name, LoadStr(StringId::ScreenSaver));
}

}  // namespace

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool ContainsText(const std::string& text, const std::string& word) {
  const std::string w = FoldedPrefix(word);
  if (w.empty()) return false;
  return FoldedPrefix(text).find(w) != std::string::npos;
}

std::string MakeInstallCaption(const std::string& name) {
  const std::string install = LoadStr(StringId::Install);
  if (NamesAScreenSaver(name, true)) return install + ": " + name;
  return install + " " + LoadStr(StringId::ScreenSaver) + ": " + name;
}

std::string MakeDisplayName(const std::string& name) {
  if (NamesAScreenSaver(name, false)) return name;
  return name + " " + LoadStr(StringId::ScreenSaver);
}

std::string WithTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

std::string DirectoryPart(const std::string& path) {
  const size_t pos = path.find_last_of("\\:");
  if (pos == std::string::npos) return std::string();
  return path.substr(0, pos + 1);
}

bool HasScrExtension(const std::string& path) {
  const size_t sep = path.find_last_of("\\/:");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return false;
  const std::string ext = FoldedPrefix(path.substr(dot));
  return ext == ".scr" && ext.size() == path.size() - dot;
}

namespace {

// The device names apply whatever the extension: "nul.txt" is NUL too.
bool IsReservedDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$") {
    return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

// The characters and names no part of a path may have; `endsFree` lets a
// name end with a dot or a space.
bool IsPlainName(const std::string& name, bool endsFree) {
  if (name.empty() || name == "." || name == "..") return false;
  if (IsReservedDeviceName(name)) return false;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20) return false;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?':
      case '"': case '<': case '>': case '|':
        return false;
      default:
        break;
    }
  }
  // Windows drops trailing dots and spaces, so "name." would silently name
  // another file than the one the caller built. A name free to end with them
  // still needs something else: a title of blanks and dots names nothing.
  if (endsFree) return name.find_first_not_of(". ") != std::string::npos;
  return name.back() != '.' && name.back() != ' ';
}

}  // namespace

bool IsPlainFileName(const std::string& name) { return IsPlainName(name, false); }

bool IsPlainTitle(const std::string& title) { return IsPlainName(title, true); }

std::string EngineFilePath(const std::string& dir, const std::string& name) {
  return dir + name + ".scr";
}

std::string InstallDirectoryPath(const std::string& dir, const std::string& name) {
  // The suffix " dir\" is string 65306 of the program's table.
  return dir + name + LoadStr(StringId::InstallDirSuffix);
}

size_t PathRootLength(const std::string& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share\ : the server name, then the share name.
    size_t pos = 2;
    for (int part = 0; part < 2; ++part) {
      while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
      if (pos < path.size()) ++pos;  // the separator after the part
    }
    return pos;
  }
  if (path.size() >= 2 && path[1] == ':') {
    return (path.size() >= 3 && IsSeparator(path[2])) ? 3 : 2;
  }
  if (!path.empty() && IsSeparator(path[0])) return 1;
  return 0;
}

std::string ParentDirectory(const std::string& dir) {
  const size_t root = PathRootLength(dir);
  std::string stripped = dir;
  if (stripped.size() > root && IsSeparator(stripped.back())) stripped.pop_back();
  if (stripped.size() <= root) return std::string();
  const size_t pos = stripped.find_last_of("\\/");
  // No separator: a relative single name has no parent, "C:name" has "C:".
  if (pos == std::string::npos) return root == 0 ? std::string() : dir.substr(0, root);
  if (pos + 1 <= root) return dir.substr(0, root);
  return stripped.substr(0, pos + 1);
}

std::string MakeUninstallCommand(const std::string& systemDir, const std::string& title) {
  const std::string engine = EngineFilePath(systemDir, title);
  if (engine.find(' ') != std::string::npos) return "\"" + engine + "\" /u";
  return engine + " /u";
}

bool UninstallCommandNamesEngine(const std::string& command, const std::vector<std::string>& enginePaths) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  const std::string text = FoldedPrefix(command);
  size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  if (start < text.size() && text[start] == '"') {
    // Quoted: the program is exactly the text between the quotes.
    const size_t close = text.find('"', start + 1);
    if (close == std::string::npos) return false;
    if (close + 1 < text.size() && !blank(text[close + 1])) return false;
    const std::string program = text.substr(start + 1, close - start - 1);
    for (const std::string& path : enginePaths) {
      if (!program.empty() && FoldedPrefix(path) == program) return true;
    }
    return false;
  }
  // Bare: a path may hold blanks of its own, so the engine path must be
  // followed by the end or a blank.
  for (const std::string& path : enginePaths) {
    const std::string p = FoldedPrefix(path);
    if (p.empty() || text.compare(start, p.size(), p) != 0) continue;
    const size_t end = start + p.size();
    if (end == text.size() || blank(text[end])) return true;
  }
  return false;
}

WindowsVersionFlags ClassifyWindowsVersion(unsigned platformId, unsigned major, unsigned minor) {
  WindowsVersionFlags f;
  if (platformId == 1) {
    if (major == 4 && minor == 0) f.win95 = 1;
    else if (major == 4 && minor == 10) f.win98 = 1;
    else if (major == 4 && minor == 90) f.winMe = 1;
  } else if (platformId == 2) {
    if (major <= 4) f.winNt = 1;
    else if (major == 5 && minor == 0) f.win2000 = 1;
    else if (major == 5 && minor == 1) f.winXp = 1;
  }
  return f;
}

}  // namespace ss
