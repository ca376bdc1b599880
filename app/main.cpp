// Entry point of the installer: the preparing window first (it becomes the
// main window), then the installer window, whose creation runs the start-up
// to its end; then the message loop until the installer window ends the
// application. The exit code is 0 unless the start-up stored another.
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "app/DebugLog.h"
#include "app/InstallerForm.h"
#include "app/MessageDlg.h"
#include "app/PackageOffset.h"
#include "app/PreparingWnd.h"
#include "app/Strings.h"
#include "app/WindowForm.h"
#include "package/PackageRecords.h"

namespace {

bool QuietSwitch() {
  for (int i = 1; i < __argc; ++i) {
    std::string parameter = __argv[i] != nullptr ? __argv[i] : "";
    ss::DebugLog("command line parameter:" + parameter);
    for (char& c : parameter) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (parameter == "/q") return true;
  }
  return false;
}

// 0 when a whole package header follows the program in its file.
ss::Result CheckPackageAttached(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<ss::Result>(GetLastError());
  LARGE_INTEGER size{};
  const BOOL known = GetFileSizeEx(file, &size);
  const ss::Result error = known ? ss::kOk : static_cast<ss::Result>(GetLastError());
  CloseHandle(file);
  if (!known) return error;
  const long long needed = static_cast<long long>(PackageOffset) + static_cast<long long>(ss::kPackageHeaderSize);
  return size.QuadPart < needed ? ss::kErrShortHeader : ss::kOk;
}

// Stands in for the start-up sequence until it exists: a run without an
// attached package fails like a damaged installer (box, or exit code only
// with "/q"); a quiet run cannot install yet and says so through its exit
// code; otherwise the window goes to its Ready phase.
void PlaceholderStartUp(ss::TInstallerForm& form) {
  const bool quiet = QuietSwitch();
  if (quiet) {
    form.displayMode = ss::dmSilent;
    if (ss::preparingInstallWnd != nullptr) ss::preparingInstallWnd->moveOffScreen();
  }
  ss::Result result = CheckPackageAttached(ss::ModulePath());
  if (result == ss::kOk && quiet) {
    ss::DebugLog("quiet install: not available in this build");
    result = ss::kErrGeneric;
  }
  if (result != ss::kOk) {
    ss::DebugLog("install error: " + std::to_string(result));
    if (!quiet) ss::ShowStartupFailure(result);
    ss::App().SetExitCode(result);
    form.close();
    ss::App().Terminate();
    return;
  }
  ss::ShowReadyPhase(form, ss::LoadStr(ss::StringId::Install) + " " + ss::LoadStr(ss::StringId::ScreenSaver),
                     nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ss::Application& app = ss::App();
  app.Initialize();
  // Lower-case "installation": the title differs from the window's label.
  app.SetTitle("Preparing installation...");

  // Both windows live until the process ends.
  auto* preparing = new ss::TpreparingInstallWnd();
  if (!preparing->create()) return 1;
  preparing->setCaption(ss::ExeFileName(ss::ModulePath()));
  while (ss::preparingInstallWnd == nullptr) app.ProcessMessages();
  app.ProcessMessages();

  auto* installer = new ss::TInstallerForm(&PlaceholderStartUp);
  if (!installer->create()) return 1;

  app.Run();
  return app.ExitCode();
}
