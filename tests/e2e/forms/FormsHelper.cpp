// Helper of the windows' end-to-end test, run under Wine beside the program
// under test.
//   show-licence        shows the installer window in its Ready phase with a
//                       licence text, like the stub does without one, and
//                       runs until the window ends the application
//   probe MILLISECONDS  waits for the installer window to be shown, then
//                       prints what the user would see as key=value lines
//   click ID            clicks (posts BM_CLICK to) the installer window's
//                       button with that control id
// Exit code 0 on success, 1 when the window was not found, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/InstallerForm.h"
#include "tests/e2e/WindowProbe.h"

namespace {

using e2e_probe::ChildById;
using e2e_probe::Slow;
using e2e_probe::TextOf;

const char kLicence[] =
    "END USER LICENCE AGREEMENT\r\n\r\n"
    "This screen saver is provided as is, without warranty of any kind. You may install it on any number of "
    "computers you own and give unchanged copies of the installer to others.\r\n\r\n"
    "By clicking \"Accept and Install\" you accept these terms.\r\n";

int ShowWithLicence() {
  const std::string licence = kLicence;
  return ss::RunInstallerWindows([&licence](ss::TInstallerForm& form) {
    ss::ShowReadyPhase(form, "Install Sample Screen Saver", &licence);
  });
}

void PrintRect(const char* key, HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  std::printf("%s=%ld,%ld,%ld,%ld\n", key, rect.left, rect.top, rect.right, rect.bottom);
}

int Probe(DWORD timeout) {
  timeout = Slow(timeout);
  const DWORD start = GetTickCount();
  HWND form = nullptr;
  while (GetTickCount() - start < timeout) {
    form = FindWindowA("TInstallerForm", nullptr);
    if (form != nullptr && IsWindowVisible(form)) break;
    form = nullptr;
    Sleep(50);
  }
  if (form == nullptr) {
    std::printf("installer.found=0\n");
    return 1;
  }
  // Give the window time to paint before anyone looks at it.
  Sleep(Slow(700));
  HWND preparing = FindWindowA("TpreparingInstallWnd", nullptr);
  RECT outer{};
  GetWindowRect(form, &outer);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const bool centred = outer.left == (screenWidth - (outer.right - outer.left)) / 2 &&
                       outer.top == (screenHeight - (outer.bottom - outer.top)) / 2;
  std::printf("installer.found=1\n");
  std::printf("installer.caption=%s\n", TextOf(form).c_str());
  PrintRect("installer.rect", form);
  std::printf("installer.centred=%d\n", centred ? 1 : 0);
  std::printf("installer.sizeable=%d\n", (GetWindowLongA(form, GWL_STYLE) & WS_THICKFRAME) ? 1 : 0);
  HWND install = ChildById(form, ss::TInstallerForm::kInstallBtnId);
  HWND cancel = ChildById(form, ss::TInstallerForm::kCancelBtnId);
  std::printf("install.text=%s\n", TextOf(install).c_str());
  PrintRect("install.rect", install);
  PrintRect("cancel.rect", cancel);
  RECT installRect{}, cancelRect{};
  GetWindowRect(install, &installRect);
  GetWindowRect(cancel, &cancelRect);
  std::printf("install.gap=%ld\n", cancelRect.left - installRect.right);
  // The application title rides on a window of its own, shown (as the
  // taskbar button) and owning the forms.
  HWND title = FindWindowA("SsApplication", nullptr);
  std::printf("app.title=%s\n", title != nullptr ? TextOf(title).c_str() : "");
  std::printf("app.title.shown=%d\n", title != nullptr && IsWindowVisible(title) ? 1 : 0);
  std::printf("installer.owned=%d\n", title != nullptr && GetWindow(form, GW_OWNER) == title ? 1 : 0);
  std::printf("preparing.found=%d\n", preparing != nullptr ? 1 : 0);
  if (preparing != nullptr) {
    std::printf("preparing.caption=%s\n", TextOf(preparing).c_str());
    std::printf("preparing.visible=%d\n", IsWindowVisible(preparing) ? 1 : 0);
  }
  std::fflush(stdout);
  return 0;
}

int Click(int id) { return e2e_probe::PostClick(FindWindowA("TInstallerForm", nullptr), id) ? 0 : 1; }

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "show-licence") return ShowWithLicence();
  if (command == "probe" && argc > 2) return Probe(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
  if (command == "click" && argc > 2) return Click(std::atoi(argv[2]));
  std::fprintf(stderr, "usage: %s show-licence | probe MILLISECONDS | click ID\n", argc > 0 ? argv[0] : "helper");
  return 2;
}
