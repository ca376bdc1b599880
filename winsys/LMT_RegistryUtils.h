// The uninstall entry in the system's list of installed programs, the
// classification of the running Windows version, and the clean-up after a
// failed or cancelled install. Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/ResultCodes.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {

// The key of a screen saver's uninstall entry, relative to its root.
std::string UninstallKeyPath(const std::string& title);

// The six flags from the operating system's version query (all 0 when the
// query fails or the version is none of the six).
WindowsVersionFlags IdentifyWindowsVersion();

// The names the engine of `title` (system directory + title + ".scr") goes
// by in an uninstall command: its long path, its short form while the file
// exists, and under WOW64 its path under the real name of SysWOW64.
std::vector<std::string> EngineCommandNames(const std::string& title);

// Whose the uninstall entry of a title under one root is.
enum class EntryOwner {
  kNone,        // no such key
  kThisEngine,  // its UninstallString starts this screen saver's engine
  kOther,       // another program's: its UninstallString starts something
                // else, it has none, or it cannot be read
};

// Reads the entry of `title` under `root` (UninstallCommandNamesEngine on
// EngineCommandNames; a command this process wrote there counts as this
// engine's too). A title that is not a plain name gives kOther.
EntryOwner UninstallEntryOwner(const std::string& title, HKEY root);

// The check before an install writes anything: -607 when HKEY_LOCAL_MACHINE
// or HKEY_CURRENT_USER holds an entry of `title` that is another program's,
// 0 when neither does (no entry, or this screen saver's from an earlier
// install, which the install takes over); -603 for a bad title. Reads only.
Result FindForeignUninstallEntry(const std::string& title);

// Writes "DisplayName" and "UninstallString" under `root` (creating the key),
// and keeps, for UndoUninstallEntry, whether this created the key and the
// values it replaced. 0, or -2201 when the key cannot be opened or a value
// cannot be written; -607 (nothing written) when the key there is another
// program's; -603 for a title that is not a plain name.
Result WriteUninstallEntry(const std::string& title, HKEY root);

// HKEY_LOCAL_MACHINE first, HKEY_CURRENT_USER when that cannot be written
// (-2201). Another program's entry under the machine root (-607) is no
// reason to write a second one for the user.
Result RegisterUninstallEntry(const std::string& title);

// Removes the two values and the key under `root`. A missing key is success;
// -2202 when a value or the key cannot be deleted; -603 for a bad title.
Result DeleteUninstallEntry(const std::string& title, HKEY root);

// HKEY_LOCAL_MACHINE first, HKEY_CURRENT_USER when that fails.
Result UnregisterUninstallEntry(const std::string& title);

// The uninstall-entry part of the clean-up after a failed or cancelled
// install, under each root. Another program's entry is never touched. An
// entry of this engine is deleted (key and subkeys) when this process
// created the key, or when the engine it names is gone (the clean-up
// removed it); when the engine is still there and this process replaced the
// values of an earlier entry, they are put back. Forgets what it undid.
void UndoUninstallEntry(const std::string& title);

// Undoes what an interrupted install may have left: the files of the system
// directory this run replaced or created (RestoreSystemFiles), the install
// directory (system directory + title + " dir\"), the engine file in the
// system directory, and the uninstall entry (UndoUninstallEntry). Results
// are ignored; a title or engine name that is not a plain file name is
// skipped rather than used in a path.
void CleanUpInstallation(const std::string& title, const std::string& engineFileName);

}  // namespace ss
