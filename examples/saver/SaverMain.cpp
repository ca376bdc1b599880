// The sample screen saver engine. Started by the system as screen savers
// are: "/s" full screen, "/p <hwnd>" preview, "/c" settings; and by the
// list of installed programs with "/u" to remove itself.
#include <windows.h>

#include <string>

#include "core/ResultCodes.h"
#include "examples/saver/SaverPaths.h"
#include "examples/saver/SaverText.h"
#include "examples/saver/SaverUninstall.h"
#include "examples/saver/SaverWindow.h"

namespace {

using namespace ss::sample;

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
  const std::string self = OwnEnginePath();
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
