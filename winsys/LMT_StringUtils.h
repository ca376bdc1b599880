// Name and path helpers of the installer. Pure string functions with no
// Windows dependency, so they build and are tested on the host as well.
#pragma once

#include <string>
#include <vector>

namespace ss {

// Case-insensitive containment: the ASCII letters A-Z of both strings are
// folded to lower case and the word is looked for anywhere in the text. Only
// the part of each string before its first NUL character takes part. An
// empty word matches nothing.
bool ContainsText(const std::string& text, const std::string& word);

// The text with the ASCII letters A-Z in lower case; every other byte as it is.
std::string AsciiLower(std::string text);

// The installer window's caption (also the application title):
// "Install: <name>" when the name already calls itself a screen saver,
// otherwise "Install Screen Saver: <name>".
std::string MakeInstallCaption(const std::string& name);

// The display name of the uninstall entry: the name itself when it contains
// the word saver (any letter case), otherwise name + " Screen Saver".
std::string MakeDisplayName(const std::string& name);

// `path` with a backslash appended when its last character is not one.
std::string WithTrailingBackslash(const std::string& path);

// Everything up to and including the last backslash or colon of `path`
// ("" when it has neither).
std::string DirectoryPart(const std::string& path);

// True when the extension of `path` (from its last dot after the last path
// separator) is ".scr" in any letter case.
bool HasScrExtension(const std::string& path);

// True for a name that can be used as a single file or registry key name:
// not empty, not "." or "..", no path separators, colons, wildcards, quotes,
// angle brackets, pipes or control characters, no trailing dot or space, and
// no reserved device name (CON, NUL, COM1, ... with any extension).
// Segment names come from the package and are checked with it before they
// become parts of paths.
bool IsPlainFileName(const std::string& name);

// True for a title, which is never a name by itself: it is always followed
// by ".scr", " dir" or ".ssd", or is a registry key name. So a title may end
// with a dot or a space ("Sea Co." gives "Sea Co..scr" and "Sea Co. dir"),
// as long as it holds something besides dots and spaces;
// everything else IsPlainFileName refuses stays refused, device names too,
// which stay devices whatever follows them ("CON.scr" is the console).
bool IsPlainTitle(const std::string& title);

// The screen saver pair of directory `dir` (ending with a backslash) and
// name `name`: the engine file dir + name + ".scr" and the install directory
// dir + name + " dir\".
std::string EngineFilePath(const std::string& dir, const std::string& name);
std::string InstallDirectoryPath(const std::string& dir, const std::string& name);

// Length of the root of `path`: 3 for "C:\", 2 for "C:", the length of
// "\\server\share\" (or "\\server\share") for a share, 1 for a path starting
// with a single backslash, 0 for a relative path.
size_t PathRootLength(const std::string& path);

// The parent of directory `dir` (with or without a trailing backslash),
// ending with a backslash, or "" when `dir` is a root or has no parent part.
std::string ParentDirectory(const std::string& dir);

// The uninstall command for the engine `systemDir` + title + ".scr": the
// engine path followed by " /u". An engine path containing a space is put in
// double quotes, so that the program that runs the command cannot split it at
// the space and start something else; a path without spaces stays bare.
std::string MakeUninstallCommand(const std::string& systemDir, const std::string& title);

// Whether the uninstall command `command` starts one of `enginePaths`, the
// names this screen saver's engine goes by (its long path, its short form
// where the caller knows it, the other names of the same file under WOW64).
// The program path may be quoted or bare and differ in the case of A-Z;
// blanks before it are ignored, and only blanks (and arguments after them)
// may follow it: "C:\S\Aqua.scr.exe /u" starts another program. An empty
// command, and an empty name in the list, names nothing. Decides whether an
// existing entry is this screen saver's (taken over, removed by a failed
// install) or another program's (never changed or deleted).
bool UninstallCommandNamesEngine(const std::string& command, const std::vector<std::string>& enginePaths);

// The Windows version classes (each 0 or 1, at most one set).
struct WindowsVersionFlags {
  int win95 = 0;
  int win98 = 0;
  int winMe = 0;
  int winNt = 0;
  int win2000 = 0;
  int winXp = 0;
};

// Classifies a platform identifier (1: 9x family, 2: NT family) with its
// major and minor version. Combinations outside the six classes give no flag.
WindowsVersionFlags ClassifyWindowsVersion(unsigned platformId, unsigned major, unsigned minor);

}  // namespace ss
