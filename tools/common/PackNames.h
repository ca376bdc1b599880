// Names as the installer sees them: Windows file names in the ANSI code page
// (Windows-1252), and the conversions between those and the UTF-8 of the
// host's file system and of manifests.
#pragma once

#include <string>

namespace ss::pack {

// UTF-8 to Windows-1252. Fails (false, *bad holds the offending character as
// UTF-8) for malformed UTF-8 and for characters the code page lacks.
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* bad = nullptr);
// Windows-1252 to UTF-8; the five bytes the code page leaves undefined are
// passed through as the Latin-1 characters of the same value.
std::string AnsiToUtf8(const std::string& ansi);

// A name from a package for showing on a terminal: UTF-8, with every byte
// that could drive the terminal shown as \xNN: the control characters, DEL,
// and the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D), which would otherwise come out as C1 controls. Every name sspack
// prints (list, verify, extract's messages) passes through here.
std::string DisplayName(const std::string& ansi);

// Why a plain file name (no folders) is unusable on Windows, or "" when it is
// usable: empty, longer than maxLength, a control character or one of
// < > : " / \ | ? *, a trailing dot or space, "." or "..", or a device name
// such as CON or LPT1 (with or without an extension).
std::string FileNameFault(const std::string& ansiName, size_t maxLength = 255);

// The same for a name relative to a folder, whose parts are separated by
// backslashes: every part must be a usable file name, and the whole name at
// most maxLength characters.
std::string RelativePathFault(const std::string& ansiPath, size_t maxLength = 255);

// The title names the engine (title + ".scr"), the data file (title +
// ".ssd") and the install directory (title + " dir"): a usable file name of at
// most 64 characters, which may end with a dot or a space since something
// always follows it ("Sea Co." gives "Sea Co..scr").
std::string TitleFault(const std::string& ansiTitle);

// A name from a package made safe to create below a folder on this host:
// every part that is not a usable file name has its bad characters replaced
// by '_' ("." and ".." become "_"), as has every byte DisplayName would
// escape, and the parts are joined with '/'. The result is never absolute,
// never climbs out of the folder, and prints as it is.
std::string SafeRelativePath(const std::string& ansiPath);

}  // namespace ss::pack
