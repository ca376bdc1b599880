// The installer's entry point, in place of the C runtime's start-up code
// (linked with -nostartfiles). The runtime's version prepares for what the
// installer never does: thread-local storage and its callbacks, data
// imported from libraries by address (pseudo relocations), floating-point
// error hooks, unwinding registration. What the installer needs of it is
// done here, in the runtime's order:
// - msvcrt told that this is a windowed program, so that the runtime's own
//   error reports (an abnormal end) come as a message box;
// - the command line split into msvcrt's __argc/__argv (the quiet switch is
//   read from them), without wildcard expansion, as the runtime does by
//   default;
// - the static constructors, whose destructors msvcrt runs at exit;
// - WinMain, with the arguments the runtime passes;
// - exit() with WinMain's result, which runs what was registered with
//   atexit (static objects' destructors) and ends the process.
#include <windows.h>

#include <cstdlib>

extern "C" {

// msvcrt's command-line splitter (what the runtime's start-up calls).
struct StartupInfo {
  int newMode;
};
_CRTIMP int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expandWildcards, StartupInfo* info);
// msvcrt's kind of program: 2, a windowed one.
_CRTIMP void __cdecl __set_app_type(int type);

// Runs the static constructors once and registers their destructors with
// atexit (libgcc's, from the constructor list the linker builds).
void __main();

// Static objects register their destructors here. msvcrt keeps the table
// and runs it in exit(); the runtime's own atexit would need the start-up's
// tables.
int __cdecl atexit(void (__cdecl* function)()) {
  return _onexit(reinterpret_cast<_onexit_t>(function)) != nullptr ? 0 : -1;
}

// The entry point the linker names for a windowed program.
void WinMainCRTStartup() {
  int argc = 0;
  char** argv = nullptr;
  char** env = nullptr;
  StartupInfo info = {0};
  __set_app_type(2);
  __getmainargs(&argc, &argv, &env, 0, &info);
  __main();

  // The command line after the program's name, as WinMain receives it.
  char* line = GetCommandLineA();
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line > ' ') ++line;
  }
  while (*line != '\0' && *line <= ' ') ++line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
  std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, line, show));
}

}  // extern "C"
