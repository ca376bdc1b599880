#include "examples/saver/SaverText.h"

#include <cctype>

#include "winsys/LMT_StringUtils.h"

namespace ss::sample {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// A window handle in decimal, as the system passes it. Zero, signs,
// overflow and trailing text are refused.
bool ParseHandle(const std::string& text, uintptr_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v == 0 || v > 0xFFFFFFFFu) return false;
  *value = static_cast<uintptr_t>(v);
  return true;
}

}  // namespace

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

SaverCommand ParseSaverCommandLine(const std::string& args) {
  SaverCommand cmd;
  const std::string text = Trim(args);
  if (text.empty()) {
    cmd.mode = SaverMode::kConfigure;
    return cmd;
  }
  if ((text[0] != '/' && text[0] != '-') || text.size() < 2) {
    cmd.error = "unknown command line \"" + text + "\"; use /s, /c, /p <window> or /u";
    return cmd;
  }
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[1])));
  std::string rest = text.substr(2);
  if (!rest.empty() && rest[0] == ':') {
    rest = rest.substr(1);
  } else if (!rest.empty() && !IsBlank(rest[0])) {
    cmd.error = "unknown switch \"" + text + "\"; use /s, /c, /p <window> or /u";
    return cmd;
  }
  rest = Trim(rest);

  SaverMode mode;
  switch (letter) {
    case 's': mode = SaverMode::kShow; break;
    case 'c': mode = SaverMode::kConfigure; break;
    case 'p': mode = SaverMode::kPreview; break;
    case 'u': mode = SaverMode::kUninstall; break;
    default:
      cmd.error = "unknown switch \"" + text.substr(0, 2) + "\"; use /s, /c, /p <window> or /u";
      return cmd;
  }
  const bool takesWindow = mode == SaverMode::kPreview || mode == SaverMode::kConfigure;
  if (takesWindow && !rest.empty()) {
    if (!ParseHandle(rest, &cmd.window)) {
      cmd.error = "\"" + rest + "\" is not a window handle";
      return cmd;
    }
  } else if (!rest.empty()) {
    cmd.error = "unexpected \"" + rest + "\" after " + text.substr(0, 2);
    return cmd;
  }
  if (mode == SaverMode::kPreview && cmd.window == 0) {
    cmd.error = "/p needs the window to draw the preview into";
    return cmd;
  }
  cmd.mode = mode;
  return cmd;
}

bool LocateSaver(const std::string& enginePath, SaverLocation* location, std::string* error) {
  const std::string dir = DirectoryPart(enginePath);
  if (dir.empty()) {
    *error = "the engine path \"" + enginePath + "\" has no directory";
    return false;
  }
  const std::string file = enginePath.substr(dir.size());
  if (!HasScrExtension(file)) {
    *error = "\"" + file + "\" is not installed as a screen saver (no .scr name)";
    return false;
  }
  const std::string title = file.substr(0, file.size() - 4);
  if (!IsPlainTitle(title)) {
    *error = "\"" + file + "\" gives no usable screen saver title";
    return false;
  }
  location->dir = WithTrailingBackslash(dir);
  location->title = title;
  location->enginePath = enginePath;
  location->installDir = InstallDirectoryPath(location->dir, title);
  location->settingsPath = location->installDir + "saver.dat";
  return true;
}

std::string CommandProgram(const std::string& command) {
  const std::string text = Trim(command);
  if (text.empty()) return "";
  if (text[0] == '"') {
    const size_t close = text.find('"', 1);
    return Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  }
  // An unquoted path may hold blanks of its own: only the switch is cut off.
  if (text.size() >= 3) {
    const std::string tail = LowerAscii(text.substr(text.size() - 3));
    if (tail == " /u" || tail == "\t/u") return Trim(text.substr(0, text.size() - 3));
  }
  return text;
}

bool SamePathText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] == '/' ? '\\' : a[i];
    char y = b[i] == '/' ? '\\' : b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::map<std::string, std::string> ParseCaptions(const std::string& text) {
  std::map<std::string, std::string> captions;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = Trim(line.substr(0, eq));
    if (name.empty()) continue;
    captions[LowerAscii(name)] = Trim(line.substr(eq + 1));
  }
  return captions;
}

}  // namespace ss::sample
