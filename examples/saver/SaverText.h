// Text rules of the sample screen saver that need no Windows calls: the
// command line screen savers are started with, where the engine's files are
// found from its own path, which program an uninstall command starts, and
// the picture captions file. Portable.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace ss::sample {

enum class SaverMode {
  kConfigure,  // "/c" (or no switch): the settings note
  kShow,       // "/s": full screen
  kPreview,    // "/p <hwnd>": drawn into the given window
  kUninstall,  // "/u": removes what the installer put in place
  kInvalid,
};

struct SaverCommand {
  SaverMode mode = SaverMode::kInvalid;
  uintptr_t window = 0;  // the parent of "/p" and "/c" (0: none)
  std::string error;     // why the command line was refused
};

// Reads the arguments (without the program name). The switch may start with
// "/" or "-" in any letter case; a window handle follows after a colon or
// blanks ("/p:1234", "/p 1234", "/c:1234"). "/p" needs a handle; anything
// after a handle, or an unknown switch, is refused.
SaverCommand ParseSaverCommandLine(const std::string& args);

// Where an engine's files are: the engine dir\<title>.scr, its install
// directory dir\<title> dir\ and "saver.dat" inside it.
struct SaverLocation {
  std::string dir;         // ends with a backslash
  std::string title;       // the engine's file name without ".scr"
  std::string enginePath;  // dir + title + ".scr" as found
  std::string installDir;  // dir + title + " dir\"
  std::string settingsPath;
};

// Fills `location` from the engine's full long path. False with a reason
// when the path has no directory, the file is not a ".scr", or the title is
// no plain file name (then no install directory can be named from it).
bool LocateSaver(const std::string& enginePath, SaverLocation* location, std::string* error);

// The program an uninstall command line starts: the text inside leading
// quotes, or else the command without a trailing " /u" switch. Blanks around
// it are dropped. "" for an empty command.
std::string CommandProgram(const std::string& command);

// Path texts equal when ASCII letters are compared without case and "/"
// counts as "\" (the file system's own rule for the names we compare).
bool SamePathText(const std::string& a, const std::string& b);

// "captions.txt": one "picture=caption" line per picture; blank lines and
// lines starting with ";" are skipped, blanks around both parts dropped.
// Picture names are keyed in lower case.
std::map<std::string, std::string> ParseCaptions(const std::string& text);

// ASCII lower case of a name, the key ParseCaptions uses.
std::string LowerAscii(std::string text);

}  // namespace ss::sample
