// The sample screen saver engine. Started by the system as screen savers
// are: "/s" full screen, "/p <hwnd>" preview, "/c" settings; and by the
// list of installed programs with "/u" to remove itself.
#include <windows.h>

#include <string>
#include <vector>

#include "app/ResultCodes.h"
#include "examples/saver/SaverText.h"
#include "examples/saver/SaverUninstall.h"
#include "examples/saver/SaverWindow.h"

namespace {

using namespace ss::sample;

// The long form of a path. The system starts screen savers by the short
// name written in "system.ini", and the title must come from the long one.
std::string LongPath(const std::string& path) {
  using GetLongPathNameFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
  // Looked up at run time: Windows 95 lacks it.
  const auto getLong = reinterpret_cast<GetLongPathNameFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetLongPathNameA")));
  if (getLong) {
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = getLong(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
      buf.resize(n + 1);
      n = getLong(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    }
    if (n > 0 && n < buf.size()) return std::string(buf.data(), n);
  }
  // The file's own long name is enough for the title; the directory works
  // in either form.
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA(path.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return path;
  FindClose(find);
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(0, slash + 1) + fd.cFileName;
}

std::string OwnPath() {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return "";
    if (n < buf.size() - 1) return LongPath(std::string(buf.data(), n));
    buf.resize(buf.size() * 2);
  }
}

int ShowError(const std::string& caption, const std::string& text, int code) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  const SaverCommand cmd = ParseSaverCommandLine(commandLine ? commandLine : "");
  if (cmd.mode == SaverMode::kInvalid) {
    return ShowError("Screen Saver", cmd.error, ERROR_INVALID_PARAMETER);
  }

  SaverLocation location;
  std::string error;
  const std::string self = OwnPath();
  if (!LocateSaver(self, &location, &error)) {
    // Without a title there is no install directory to read or remove.
    if (cmd.mode == SaverMode::kPreview) return ss::kErrBadTitle;
    return ShowError("Screen Saver", error, ss::kErrBadTitle);
  }

  switch (cmd.mode) {
    case SaverMode::kUninstall: {
      UninstallReport report;
      const ss::Result rc = UninstallSaver(location, &report);
      if (rc != ss::kOk) {
        return ShowError(location.title,
                         location.title + " could not be removed completely:\r\n" + report.error, rc);
      }
      return 0;
    }
    case SaverMode::kShow:
      return RunSlideShow(instance, LoadSlideShowContent(location));
    case SaverMode::kPreview:
      return RunPreview(instance, reinterpret_cast<HWND>(cmd.window), LoadSlideShowContent(location));
    case SaverMode::kConfigure: {
      const SlideShowContent content = LoadSlideShowContent(location);
      HWND owner = reinterpret_cast<HWND>(cmd.window);
      if (owner && !IsWindow(owner)) owner = nullptr;
      MessageBoxA(owner, SettingsNoteText(location, content).c_str(), location.title.c_str(),
                  MB_OK | MB_ICONINFORMATION);
      return 0;
    }
    case SaverMode::kInvalid:
      break;
  }
  return ERROR_INVALID_PARAMETER;
}
