// Entry point of the installer: the preparing window first (it becomes the
// main window), then the installer window, whose creation runs the start-up
// to its end; then the message loop until the installer window ends the
// application. The exit code is 0 unless the start-up stored another. A
// quiet run ("/q") makes no window and runs the start-up directly.
#include <windows.h>

#include <string>

#include "app/InstallerForm.h"
#include "app/Sequences.h"
#include "app/WindowForm.h"
#include "core/DebugLog.h"
#include "core/PackageOffset.h"
#include "winsys/LMT_FileUtils.h"

namespace {

// Libraries loaded at run time come from the system directory only: never
// from the installer's own folder (often a downloads folder that may hold
// planted files) or the current directory. impborl.dll is loaded by its full
// path in the work directory.
void RestrictLibrarySearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  using SetDllDir = BOOL(WINAPI*)(LPCSTR);
  // Systems since Windows 7 (with its security update) and 8.
  if (auto setDefault = reinterpret_cast<SetDefaultDirs>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))) {
    setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
  }
  // Systems since XP SP1: takes the current directory out of the search.
  if (auto setDllDirectory = reinterpret_cast<SetDllDir>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")))) {
    setDllDirectory("");
  }
}

// Every way out of the program ends here. The work directory holds a full
// copy of the installer; whatever ended the run (a window that could not be
// created, a window that went without closing), it must not stay behind.
int LeaveProgram(int exitCode) {
  const ss::Result removed = ss::RemoveWorkDirectoryAtExit(ss::Dirs().workDir);
  if (removed != ss::kOk) ss::DebugLog("work directory not removed: " + std::to_string(removed));
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictLibrarySearch();
  // "/q" installs without any window: the start-up and the install run at
  // once on an installer form that is never created, with no preparing or
  // application window and no message loop; the result is the exit code.
  if (ss::QuietSwitchGiven()) {
    ss::TInstallerForm form;
    ss::startUp(form, form.run, PackageOffset);
    return LeaveProgram(ss::App().ExitCode());
  }
  return LeaveProgram(ss::RunInstallerWindows([](ss::TInstallerForm& form) {
    form.setInstallAction(&ss::installAndOfferDisplayProperties);
    ss::startUp(form, form.run, PackageOffset);
  }));
}
