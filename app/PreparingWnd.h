// The preparing window: the small box that says the installation is being
// prepared. It is the first window of the program (so its main window),
// lives for the whole run and doubles as the status window of an install
// that runs without the installer window. Windows only.
#pragma once

#include <string>

#include "app/WindowForm.h"
#include "core/Window.h"

namespace ss {

class TpreparingInstallWnd : public Form {
 public:
  static constexpr int kClientWidth = 264;
  static constexpr int kClientHeight = 91;
  // Created visible at this position, so it exists without being seen.
  static constexpr int kOffScreen = -3000;

  TpreparingInstallWnd() = default;
  ~TpreparingInstallWnd() override;

  // Creates the window (visible, off-screen) and sets the global reference.
  bool create();

  // Sets the label's text and pumps the pending messages, so that the new
  // text is painted at once.
  void setText(const std::string& text);
  std::string text() const { return Label1.text(); }
  void moveOffScreen();
  // Centres the window on the screen, then pumps the pending messages.
  void centreOnScreen();

  Control Label1;

 protected:
  void createComponents() override;
  void FormCreate() override;
  void FormResize() override;
  // The program ends through the installer window only, which removes the
  // work directory; a close request to this window is ignored.
  bool FormCloseQuery() override { return false; }
};

// The program's reference to its preparing window; set when the window is
// created, cleared when the object goes.
extern TpreparingInstallWnd* preparingInstallWnd;

// The name and extension of a program path, without its folder.
std::string ExeFileName(const std::string& path);

// The full path of the running program.
std::string ModulePath();

}  // namespace ss
