// The installer's dealings with the desktop settings around an install:
// closing an open "Display Properties" window, making the new engine the
// active screen saver, placing the licence and document beside it, opening
// the document, and opening (or offering) the Display control panel.
// Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "core/ResultCodes.h"

namespace ss {

// The licence text and companion document that go into the install
// directory after the engine is in place. Sources are in the work directory.
struct ExtraFiles {
  std::string installDir;    // ends with a backslash
  std::string licenceName;   // file name of the licence text
  std::string documentName;  // file name of the companion document
  bool placeLicence = false;
  bool placeDocument = false;
};

// The command line that opens the Display control panel on its screen saver
// page, with rundll32, shell32 and the panel named by their full paths in
// `systemDir` (which ends with a backslash).
std::string DisplayPanelCommand(const std::string& systemDir);

// Presses the Cancel button (item 2) of an open "Display Properties" window
// and waits until the window has handled it (at most 10 s, so that a hung
// control panel cannot hang the installer). Nothing when no window is open.
void CloseDisplayProperties();

// Makes the engine `engineFileName` in the system directory the active
// screen saver: its short path becomes "SCRNSAVE.EXE" in "system.ini"
// section "boot", and the screen saver is switched on. Returns 0, -16 when
// the engine file is missing (nothing changed), -602 for a name that is not a
// plain file name, or the operating system's error when "system.ini" cannot
// be written.
Result ActivateScreenSaver(const std::string& engineFileName);

// The "SCRNSAVE.EXE" value of "system.ini" section "boot" ("" when unset).
std::string CurrentScreenSaver();

// Puts back a value read by CurrentScreenSaver (an empty one removes the
// line), after an install that activated its engine was undone. Returns 0
// or the operating system's error.
Result RestoreScreenSaver(const std::string& previous);

// Copies the announced licence and document from the work directory into the
// install directory. -16 when an announced file is missing (the other one is
// still copied), the operating system's error when a copy fails.
Result PlaceExtraFiles(const ExtraFiles& files);

// Opens the placed document with its associated program (when announced),
// started in the install directory. A document without an associated
// program is passed over.
void OpenDocument(const ExtraFiles& files);

// Starts the Display control panel (when `offer` is set) from the system
// directory (DisplayPanelCommand, run there) and waits, as WinExec did, until
// it is ready for input (at most 30 s), with the hourglass cursor shown
// while it is being looked for; the cursor is restored after.
void OpenDisplayProperties(bool offer);

// Asks whether to open the Display control panel (when `offer` is set); on
// Yes minimises `appWindow` (the application's window, which owns its forms
// and carries the taskbar button; may be null) and opens the panel.
void OfferDisplayProperties(bool offer, HWND appWindow);

}  // namespace ss
