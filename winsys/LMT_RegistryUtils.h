// The uninstall entry in the system's list of installed programs, the
// classification of the running Windows version, and the clean-up after a
// failed or cancelled install. Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "core/ResultCodes.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {

// The key of a screen saver's uninstall entry, relative to its root.
std::string UninstallKeyPath(const std::string& title);

// Sets the six flags from the operating system's version query (all 0 when
// the query fails or the version is none of the six).
void IdentifyWindowsVersion(int& win95, int& win98, int& winMe, int& winNt, int& win2000,
                            int& winXp);
WindowsVersionFlags IdentifyWindowsVersion();

// Writes "DisplayName" and "UninstallString" under `root` (creating the key).
// 0, or -2201 when the key cannot be opened or a value cannot be written;
// -603 for a title that is not a plain name.
Result WriteUninstallEntry(const std::string& title, HKEY root);

// HKEY_LOCAL_MACHINE first, HKEY_CURRENT_USER when that fails.
Result RegisterUninstallEntry(const std::string& title);

// Removes the two values and the key under `root`. A missing key is success;
// -2202 when a value or the key cannot be deleted; -603 for a bad title.
Result DeleteUninstallEntry(const std::string& title, HKEY root);

// HKEY_LOCAL_MACHINE first, HKEY_CURRENT_USER when that fails.
Result UnregisterUninstallEntry(const std::string& title);

// Undoes what an interrupted install may have left: the files of the system
// directory this run replaced or created (RestoreSystemFiles), the install
// directory (system directory + title + " dir\"), the engine file in the
// system directory, and the uninstall entry. Results are ignored; a title or engine
// name that is not a plain file name is skipped rather than used in a path.
void CleanUpInstallation(const std::string& title, const std::string& engineFileName);

}  // namespace ss
