// The installer window: the presentation (movie or picture), the optional
// licence text, the status line, the progress bar and the Install, Cancel
// and Done buttons. This is the window as a component: its parts and their
// geometry, the layout arithmetic, the status and progress primitives, the
// pause, the event handlers and the button states of each phase. What runs
// at creation (the start-up) and on Install (the install run) is plugged in
// from outside. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "app/RunState.h"
#include "app/WindowForm.h"
#include "core/ResultCodes.h"
#include "core/Window.h"
#include "core/WindowStatus.h"
#include "package/PackageRecords.h"
#include "package/PackageRoles.h"

namespace ss {

// The place of the Flash movie panel inside the presentation area. The
// panel itself lives with the Flash code; the window only needs to stop the
// movie when it closes.
class MoviePanelSlot {
 public:
  virtual ~MoviePanelSlot() = default;
  virtual void stopMovie() = 0;
  // The panel's temporary files go with the installer window (also when the
  // Windows session ends, when the process may end before any destructor).
  virtual void removeTempFiles() = 0;
};

// Puts any panel with stopMovie() and removeTempDirectory() (the Flash movie
// panel) into the slot.
template <typename MoviePanel>
class MoviePanelAdapter : public MoviePanelSlot {
 public:
  explicit MoviePanelAdapter(MoviePanel& panel) : panel_(panel) {}
  void stopMovie() override { panel_.stopMovie(); }
  void removeTempFiles() override { panel_.removeTempDirectory(); }

 private:
  MoviePanel& panel_;
};

class TInstallerForm : public Form, public InstallProgress {
 public:
  // Outer size at creation.
  static constexpr int kDesignWidth = 352;
  static constexpr int kDesignHeight = 370;
  // Outer width of the shown window.
  static constexpr int kLayoutWidth = 359;
  static constexpr int kButtonStripHeight = 63;
  static constexpr int kLicenseBoxHeight = 103;
  static constexpr int kLicenseMinWidth = 359;
  static constexpr int kLicenseMinHeight = 340;
  static constexpr int kInstallWidth = 80;
  static constexpr int kAcceptInstallWidth = 115;
  // Gap between the right edge of Install and the left edge of Cancel.
  static constexpr int kButtonGap = 6;
  static constexpr int kProgressMax = 10;
  static constexpr UINT kPauseMilliseconds = 100;

  enum ControlId : UINT { kInstallBtnId = 101, kDoneBtnId = 102, kCancelBtnId = 103, kLabCopyingId = 104,
                          kProgressBarId = 105, kLicenseBoxId = 106 };

  // The start-up that FormCreate runs to its end; without one the window
  // is brought to its Ready phase with a general caption.
  using StartUp = std::function<void(TInstallerForm& form)>;
  // What the Install button runs, handed the window and its run state; its
  // result decides whether the window closes (0) or stays open.
  using InstallAction = std::function<Result(TInstallerForm& form, RunState& run)>;

  explicit TInstallerForm(StartUp startUp = nullptr);
  ~TInstallerForm() override;

  // Creates the window (off-screen), runs FormCreate with the start-up, and
  // sets the global reference. False when the window could not be created.
  bool create();

  // ---- components
  Panel contentPanel;        // the presentation area
  ImagePanel bmpPanel;       // the picture
  MoviePanelSlot* moviePanel1 = nullptr;
  Panel buttonPanel;         // status line, progress and buttons
  Control labCopying;        // the status line
  Control progressBar;
  Control installBtn;
  Control doneBtn;
  Control cancelBtn;
  Control licenseScrollBox;  // the licence text
  FormTimer pauseTimer;

  // ---- state
  // A presentation kind (DisplayMode, package records): while it is dmSilent
  // the status line and the progress bar are never touched.
  uint8_t displayMode = 0;
  bool showLicense = false;
  // The run this window is the face of; the buttons set its flags, the
  // start-up and the install steps are handed it.
  RunState run;

  // ---- primitives for the start-up and the install run
  void setStatus(const std::string& text) override;
  void stepProgress() override;
  // Runs the message loop for about 100 ms, then brings the application to
  // the front.
  void pause();
  void prepareFormForInstall();
  void resetFormAfterCancel();
  void configureForLicense();
  void configureWithoutLicense();
  // Puts Install 6 pixels left of Cancel and sets the Cancel and Done
  // captions; runs after either configuration.
  void placeInstallButton();
  void layoutForm();
  void sizeFormToContent();
  // Progress range 0 to 10, normal state, layout, centred on the screen, shown.
  void showInstallerWindow();
  // The Complete phase: status text, Done visible and focused, Install and
  // Cancel hidden, Install disabled.
  void showCompletePhase();

  // Puts the movie panel into the presentation area: `window` (a child of
  // contentPanel) is made to fill the area inside its bevel and follows it
  // when the window is resized; FormClose stops the movie through `slot`.
  void setMoviePanel(MoviePanelSlot* slot, HWND window);

  void setLicenseText(const std::string& text);
  void setProgressPosition(int position);
  int progressPosition() const;
  int progressMax() const;
  void setProgressMax(int maximum);

  // The work directory that closing the window removes with its contents.
  void setWorkDirectory(const std::string& directory) { workDirectory_ = directory; }
  const std::string& workDirectory() const { return workDirectory_; }
  void setInstallAction(InstallAction action) { installAction_ = std::move(action); }

  // ---- event handlers
  void FormCreate() override;
  void FormShow() override;
  void FormResize() override;
  bool FormCloseQuery() override;
  void FormClose() override;
  // The session may end when the window may close; when it ends, the window
  // closes at once (an install running is asked to stop), so that the work
  // directory goes before the system ends the process.
  bool FormQueryEndSession() override { return FormCloseQuery(); }
  void FormEndSession() override;
  void installBtnClick();
  void cancelBtnClick();
  void doneBtnClick();
  void pauseTimerTimer();
  // The application-wide hook: drops every right-button press (message
  // 516), whatever window it is for; all other messages pass.
  static void ApplicationEvents1Message(MSG& message, bool& handled);

 protected:
  void createComponents() override;
  void onCommand(UINT id, UINT code, HWND control) override;
  void onTimer(UINT id) override;
  HBRUSH controlBrush(HWND control, HDC dc) override;

 private:
  StartUp startUp_;
  InstallAction installAction_;
  Control movieWindow_;
  std::string workDirectory_;
  bool componentsReady_ = false;
};

// The program's reference to its installer window.
extern TInstallerForm* InstallerForm;

// Brings a created window to its Ready phase: caption (also the application
// title), licence text or none, Install placement, preparing window moved
// off-screen, window shown and centred. The placeholder start-up uses it.
void ShowReadyPhase(TInstallerForm& form, const std::string& caption, const std::string* licenseText);

// The installer's windows from start to end: the application and its title,
// the preparing window (which becomes the main window), then the installer
// window, whose creation runs `startUp` to its end; then the message loop
// until the application terminates. A loop ended from outside (WM_QUIT) with
// the window still open closes it. Returns the exit code: the application's,
// or 1 when a window could not be created. Both windows live until the
// process ends.
int RunInstallerWindows(TInstallerForm::StartUp startUp);

}  // namespace ss
