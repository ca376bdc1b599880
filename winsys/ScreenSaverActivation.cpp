#include "winsys/ScreenSaverActivation.h"

#include <shellapi.h>

#include <vector>

#include "core/DebugLog.h"
#include "core/MessageDlg.h"
#include "core/Strings.h"
#include "core/WinFile.h"
#include "core/WinHandles.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"
#include "winsys/Wow64Redirection.h"

namespace ss {

namespace {

constexpr const char kDisplayPropertiesTitle[] = "Display Properties";
constexpr int kDisplayPanelSearches = 1000;
constexpr UINT kCloseClickTimeoutMs = 10000;
constexpr DWORD kPanelReadyWaitMs = 5000;
constexpr DWORD kPanelReadyPollMs = 20;
constexpr DWORD kPanelIdleTimeoutMs = 30000;

// Shows the hourglass for its lifetime and puts the previous cursor back.
class WaitCursor {
 public:
  WaitCursor() : old_(GetCursor()) { SetCursor(LoadCursor(nullptr, IDC_WAIT)); }
  ~WaitCursor() { SetCursor(old_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR old_;
};

Result PlaceOne(const std::string& name, const std::string& installDir) {
  if (!IsPlainFileName(name)) return kErrBadEntryName;
  const std::string source = Dirs().workDir + name;
  if (!FileExists(source)) return kErrFileMissing;
  if (!CopyFileClearingAttributes(source, installDir + name, false)) {
    const Result err = LastErrorOr(kErrGeneric);
    DebugLog("copy failed: " + source + " (error " + std::to_string(err) + ")");
    return err;
  }
  DebugLog("file created: " + installDir + name);
  return kOk;
}

// A path for a command line: quoted when it holds a space.
std::string QuotedArgument(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

std::string DisplayPanelCommand(const std::string& systemDir) {
  return QuotedArgument(systemDir + "rundll32.exe") + " " + QuotedArgument(systemDir + "shell32.dll") +
         ",Control_RunDLL " + QuotedArgument(systemDir + "desk.cpl") + ",,1";
}

namespace {

HWND FindDisplayPanel() {
  HWND panel = FindWindowA(nullptr, LoadStr(StringId::DisplayProperties).c_str());
  return panel ? panel : FindWindowA(nullptr, kDisplayPropertiesTitle);
}

}  // namespace

void CloseDisplayProperties() {
  HWND panel = FindDisplayPanel();
  if (!panel) return;
  // A panel that is still opening has its window, found by its title,
  // before its buttons: a dialog's controls are made after it. Such a panel
  // is waited for (within a bound) rather than passed over, or it would stay
  // open beside the install; on a slow machine that gap is long.
  HWND cancel = GetDlgItem(panel, IDCANCEL);
  const DWORD start = GetTickCount();
  while (cancel == nullptr && GetTickCount() - start < kPanelReadyWaitMs) {
    Sleep(kPanelReadyPollMs);
    panel = FindDisplayPanel();
    if (!panel) return;
    cancel = GetDlgItem(panel, IDCANCEL);
  }
  if (!cancel) return;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(cancel, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kCloseClickTimeoutMs, &ignored);
}

Result ActivateScreenSaver(const std::string& engineFileName) {
  if (!IsPlainFileName(engineFileName)) return kErrBadEntryName;
  const std::string path = Dirs().systemDir + engineFileName;
  std::string shortPath;
  {
    // Under WOW64 the setting is read by the 64-bit system, which looks in
    // the real System32: the short form is taken of the copy there (its
    // short name need not match the SysWOW64 copy's). Elsewhere this view
    // changes nothing.
    NativeSystemView native;
    if (RunsUnderWow64() && !native.active()) return kErrFileMissing;
    // The short form exists only for an existing file; a directory of that
    // name is no engine either.
    if (!FileExists(path)) return kErrFileMissing;
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = GetShortPathNameA(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
      buf.resize(n + 1);
      n = GetShortPathNameA(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    }
    if (n == 0 || n >= buf.size()) return kErrFileMissing;
    shortPath.assign(buf.data(), n);
  }

  if (!WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", shortPath.c_str(), "system.ini")) {
    const Result err = LastErrorOr(kErrGeneric);
    DebugLog("Unable to write to system.ini (error " + std::to_string(err) + ")");
    return err;
  }
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 1, nullptr, SPIF_SENDWININICHANGE);
  DebugLog("screen saver activated: " + shortPath);
  return kOk;
}

std::string CurrentScreenSaver() {
  std::vector<char> buf(1024);
  const DWORD n = GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", buf.data(), static_cast<DWORD>(buf.size()),
                                           "system.ini");
  return std::string(buf.data(), n);
}

Result RestoreScreenSaver(const std::string& previous) {
  if (!WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", previous.empty() ? nullptr : previous.c_str(),
                                  "system.ini")) {
    const Result err = LastErrorOr(kErrGeneric);
    DebugLog("Unable to write to system.ini (error " + std::to_string(err) + ")");
    return err;
  }
  DebugLog("screen saver setting restored: " + previous);
  return kOk;
}

Result PlaceExtraFiles(const ExtraFiles& files) {
  Result rc = kOk;
  if (files.placeLicence) rc = PlaceOne(files.licenceName, files.installDir);
  if (files.placeDocument) {
    const Result doc = PlaceOne(files.documentName, files.installDir);
    if (doc != kOk) rc = doc;
  }
  return rc;
}

void OpenDocument(const ExtraFiles& files) {
  if (!files.placeDocument || !IsPlainFileName(files.documentName)) return;
  const std::string path = files.installDir + files.documentName;
  // The program that opens it starts in the install directory, not in the
  // installer's current folder (often a downloads folder).
  ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, files.installDir.c_str(), SW_SHOWNORMAL);
}

void OpenDisplayProperties(bool offer) {
  if (!offer) return;
  WaitCursor wait;
  // rundll32, shell32 and the panel are all named by their full paths in the
  // system directory, which is also the panel's current folder: a program or
  // panel of those names beside the installer or in its current folder is
  // never taken. Nothing waits for the panel to end; its handles are closed
  // on the way out.
  std::string systemDir = Dirs().systemDir;
  if (systemDir.empty()) systemDir = GetSystemDirectoryPath();
  if (systemDir.empty()) return;
  const std::string program = systemDir + "rundll32.exe";
  std::string command = DisplayPanelCommand(systemDir);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, systemDir.c_str(),
                      &startup, &process)) {
    DebugLog("Display control panel not started (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  const KernelHandle thread(process.hThread), panel(process.hProcess);
  // As WinExec does: the panel's process has made its window and waits for
  // input before the search below looks for it (at most 30 s); a panel
  // pressed any earlier may miss the click. Looked up by name: the import
  // floor lists only user32 names checked against the reference of the
  // oldest systems, and this one has not been yet. Without it the search
  // alone gives the panel its moment.
  using WaitIdle = DWORD(WINAPI*)(HANDLE, DWORD);
  if (auto waitIdle = reinterpret_cast<WaitIdle>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleA("user32.dll"), "WaitForInputIdle")))) {
    waitIdle(panel.get(), kPanelIdleTimeoutMs);
  }
  // The search only gives the new process a moment to create its window.
  const std::string title = LoadStr(StringId::DisplayProperties);
  for (int i = 0; i < kDisplayPanelSearches; ++i) {
    if (FindWindowA(nullptr, title.c_str())) break;
  }
}

void OfferDisplayProperties(bool offer, HWND appWindow) {
  if (!offer) return;
  if (appWindow) SetForegroundWindow(appWindow);
  const int answer =
      MessageDlg(LoadStr(StringId::InstallSuccessOpenPanel), DlgType::Confirmation, {kBtnYes, kBtnNo});
  if (answer != kBtnYes) return;
  // The application's window goes to its taskbar button and takes the forms
  // it owns along; a form minimised by itself would stay behind as a caption
  // of its own.
  if (appWindow) ShowWindow(appWindow, SW_MINIMIZE);
  OpenDisplayProperties(offer);
}

}  // namespace ss
