// Helper of the ordinary-user fault test, run under Wine as the same user
// and in the same prefix as the installer it watches. Commands:
//   ready MILLISECONDS   waits for the installer window to be shown; prints
//                        installer.found and the Install button's caption
//   click ID             posts BM_CLICK to the installer window's button ID
//   settle MILLISECONDS  after Install: waits until an error box is up or the
//                        status line shows an outcome (not one of the texts
//                        of a running install) and no box follows within
//                        two seconds; prints status=, box.found=
//                        and, with a box, box.caption=, box.text= and
//                        box.buttons=
//   answer ID            posts BM_CLICK to the box's button ID
//   gone MILLISECONDS    waits until no box is shown any more
// Texts are printed with CR, LF and backslash as C escapes, the way
// core/strings.def writes them. Exit code 0 on success, 1 when the window or
// box was not found in time, 2 on bad usage. The times are for the CPU
// itself; an emulated CPU stretches them (SS_WINE_SLOW).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/InstallerForm.h"
#include "core/Strings.h"
#include "tests/e2e/WindowProbe.h"

namespace {

using e2e_probe::ChildById;
using e2e_probe::Slow;
using e2e_probe::TextOf;
using sstest::Children;
using sstest::ClassOf;

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

HWND Installer() {
  HWND form = FindWindowA("TInstallerForm", nullptr);
  return form != nullptr && IsWindowVisible(form) ? form : nullptr;
}

// A visible dialog box (the installer's boxes use the standard dialog class).
HWND VisibleBox() {
  HWND box = nullptr;
  while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
    if (IsWindowVisible(box)) return box;
  }
  return nullptr;
}

std::string StatusText() {
  HWND form = Installer();
  return form != nullptr ? TextOf(ChildById(form, ss::TInstallerForm::kLabCopyingId)) : std::string();
}

// Status texts a running install shows on its way; anything else is where
// it ended.
bool IsRunningStatus(const std::string& status) {
  using ss::StringId;
  for (StringId id : {StringId::InstallingScreenSaver, StringId::WritingScreenSaverFiles, StringId::ExpandingFiles,
                      StringId::WritingSaverDataFile, StringId::AbortedCleaningUp, StringId::PreparingInstallation}) {
    if (status == ss::LoadStr(id)) return true;
  }
  return status.empty();
}

int Ready(DWORD timeout) {
  timeout = Slow(timeout);
  const DWORD start = GetTickCount();
  HWND form = nullptr;
  while ((form = Installer()) == nullptr && GetTickCount() - start < timeout) Sleep(50);
  if (form == nullptr) {
    std::printf("installer.found=0\n");
    return 1;
  }
  // Let it paint before anyone looks at it.
  Sleep(Slow(500));
  std::printf("installer.found=1\n");
  std::printf("install.text=%s\n", TextOf(ChildById(form, ss::TInstallerForm::kInstallBtnId)).c_str());
  return 0;
}

int Click(int id) { return e2e_probe::PostClick(Installer(), id) ? 0 : 1; }

int Settle(DWORD timeout) {
  timeout = Slow(timeout);
  const DWORD start = GetTickCount();
  HWND box = nullptr;
  std::string status;
  for (;;) {
    box = VisibleBox();
    status = StatusText();
    if (box != nullptr || !IsRunningStatus(status)) break;
    if (GetTickCount() - start >= timeout) {
      std::printf("status=%s\nbox.found=0\nsettled=0\n", Escaped(status).c_str());
      return 1;
    }
    Sleep(50);
  }
  // The window shows its outcome first and opens the box right after: a
  // settled status without a box yet gets two more seconds for one.
  for (const DWORD shown = GetTickCount(); box == nullptr && GetTickCount() - shown < Slow(2000);) {
    Sleep(50);
    box = VisibleBox();
  }
  if (box != nullptr) {
    // Let the box lay itself out and paint.
    Sleep(Slow(400));
    status = StatusText();
  }
  std::printf("settled=1\nstatus=%s\nbox.found=%d\n", Escaped(status).c_str(), box != nullptr ? 1 : 0);
  if (box != nullptr) {
    std::printf("box.caption=%s\n", Escaped(TextOf(box)).c_str());
    std::string text;
    std::string buttons;
    for (HWND child : Children(box)) {
      const std::string cls = ClassOf(child);
      const std::string t = TextOf(child);
      if (lstrcmpiA(cls.c_str(), "Button") == 0) {
        buttons += (buttons.empty() ? "" : ",") + std::to_string(GetDlgCtrlID(child)) + ":" + t;
      } else if (lstrcmpiA(cls.c_str(), "Static") == 0 && t.size() > text.size()) {
        text = t;  // the message; the icon's static has no text
      }
    }
    std::printf("box.text=%s\nbox.buttons=%s\n", Escaped(text).c_str(), Escaped(buttons).c_str());
  }
  std::fflush(stdout);
  return 0;
}

int Answer(int id) {
  HWND box = VisibleBox();
  if (box == nullptr) return 1;
  HWND button = GetDlgItem(box, id);
  if (button == nullptr) return 1;
  return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
}

int Gone(DWORD timeout) {
  timeout = Slow(timeout);
  const DWORD start = GetTickCount();
  while (VisibleBox() != nullptr) {
    if (GetTickCount() - start >= timeout) return 1;
    Sleep(50);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const long number = argc > 2 ? std::strtol(argv[2], nullptr, 10) : -1;
  if (number >= 0) {
    if (command == "ready") return Ready(static_cast<DWORD>(number));
    if (command == "click") return Click(static_cast<int>(number));
    if (command == "settle") return Settle(static_cast<DWORD>(number));
    if (command == "answer") return Answer(static_cast<int>(number));
    if (command == "gone") return Gone(static_cast<DWORD>(number));
  }
  std::fprintf(stderr, "usage: %s ready MS | click ID | settle MS | answer ID | gone MS\n",
               argc > 0 ? argv[0] : "helper");
  return 2;
}
