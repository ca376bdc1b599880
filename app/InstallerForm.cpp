// The installer window.
#include "app/InstallerForm.h"

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "app/PreparingWnd.h"
#include "app/WindowForm.h"
#include "core/DebugLog.h"
#include "core/Strings.h"
#include "winsys/LMT_FileUtils.h"

namespace ss {

TInstallerForm* InstallerForm = nullptr;

namespace {

constexpr char kClassName[] = "TInstallerForm";
constexpr UINT kPauseTimerId = 1;

// The buttons, the progress bar and the status line are laid out against
// the button panel's design width; the ones anchored right keep their
// distance to its right edge from then on.
constexpr int kPanelDesignWidth = 352;

// Design positions (left, top, width, height) inside the parent.
constexpr int kContentLeft = 0, kContentTop = -1, kContentWidth = 352, kContentHeight = 152;
constexpr int kImageLeft = 1, kImageTop = 1, kImageWidth = 350, kImageHeight = 150;
constexpr int kLabelLeft = 2, kLabelTop = 3, kLabelWidth = 360, kLabelHeight = 13;
constexpr int kProgressLeft = 1, kProgressTop = 20, kProgressWidth = 347, kProgressHeight = 11;
constexpr int kInstallLeft = 182, kButtonTop = 36, kButtonWidth = 80, kButtonHeight = 25;
constexpr int kCancelLeft = 268;

}  // namespace

TInstallerForm::TInstallerForm(StartUp startUp)
    : pauseTimer(kPauseTimerId, kPauseMilliseconds), startUp_(std::move(startUp)) {}

TInstallerForm::~TInstallerForm() {
  if (InstallerForm == this) InstallerForm = nullptr;
  App().SetMessageHook(nullptr);
}

bool TInstallerForm::create() {
  InstallerForm = this;
  // Stays on top of other windows; created off-screen like the preparing
  // window, and shown when the start-up has prepared it.
  if (!createForm(kClassName, WS_EX_TOPMOST, "", -3000, -3000, kDesignWidth, kDesignHeight, true)) {
    InstallerForm = nullptr;
    return false;
  }
  return true;
}

void TInstallerForm::createComponents() {
  const int width = clientWidth();
  const int height = clientHeight();
  pauseTimer.setOwner(hwnd_);

  contentPanel.create(hwnd_, kContentLeft, kContentTop, kContentWidth, kContentHeight,
                      kAnchorLeft | kAnchorTop | kAnchorRight, width, height, true);
  bmpPanel.create(contentPanel.handle(), kImageLeft, kImageTop, kImageWidth, kImageHeight, kAnchorLeftTop,
                  kContentWidth, kContentHeight);

  buttonPanel.create(hwnd_, 0, height - kButtonStripHeight, kPanelDesignWidth, kButtonStripHeight, kAnchorLeftTop,
                     width, height, false);
  HWND panel = buttonPanel.handle();
  const int panelHeight = kButtonStripHeight;

  labCopying.attach(CreateChild("STATIC", "", SS_LEFT | SS_NOPREFIX, 0, panel, kLabCopyingId, kLabelLeft,
                                kLabelTop, kLabelWidth, kLabelHeight),
                    kAnchorLeftTop, kPanelDesignWidth, panelHeight);
  HWND progress = CreateChild(PROGRESS_CLASSA, "", WS_VISIBLE, 0, panel, kProgressBarId, kProgressLeft,
                              kProgressTop, kProgressWidth, kProgressHeight);
  SendMessageA(progress, PBM_SETRANGE32, 0, 100);
  SendMessageA(progress, PBM_SETSTEP, 1, 0);
  progressBar.attach(progress, kAnchorLeft | kAnchorTop | kAnchorRight, kPanelDesignWidth, panelHeight);

  const DWORD buttonStyle = BS_PUSHBUTTON | WS_TABSTOP;
  installBtn.attach(CreateChild("BUTTON", "&Install", buttonStyle | WS_VISIBLE, 0, panel, kInstallBtnId,
                                kInstallLeft, kButtonTop, kButtonWidth, kButtonHeight),
                    kAnchorTop | kAnchorRight, kPanelDesignWidth, panelHeight);
  doneBtn.attach(CreateChild("BUTTON", "", buttonStyle, 0, panel, kDoneBtnId, kCancelLeft, kButtonTop,
                             kButtonWidth, kButtonHeight),
                 kAnchorTop | kAnchorRight, kPanelDesignWidth, panelHeight);
  cancelBtn.attach(CreateChild("BUTTON", "Cancel", buttonStyle | WS_VISIBLE, 0, panel, kCancelBtnId, kCancelLeft,
                               kButtonTop, kButtonWidth, kButtonHeight),
                   kAnchorTop | kAnchorRight, kPanelDesignWidth, panelHeight);
  for (Control* control : {&labCopying, &progressBar, &installBtn, &doneBtn, &cancelBtn}) {
    buttonPanel.addAnchored(control);
  }

  HWND box = CreateChild("EDIT", "",
                         ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP | WS_CLIPSIBLINGS,
                         WS_EX_CLIENTEDGE, hwnd_, kLicenseBoxId, 0, kContentTop + kContentHeight + 2, width,
                         kLicenseBoxHeight);
  SendMessageA(box, EM_LIMITTEXT, 0, 0);
  licenseScrollBox.attach(box, kAnchorLeftTop, width, height);
  licenseScrollBox.setMinHeight(kLicenseBoxHeight);
  // At the smallest window size the text box's minimum height reaches into
  // the button strip; the strip stays above it so that the status line and
  // the buttons are never covered.
  SetWindowPos(buttonPanel.handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  // ApplicationEvents1: the hook sees the messages of every window of the
  // application, not only of this one.
  App().SetMessageHook(&TInstallerForm::ApplicationEvents1Message);
  componentsReady_ = true;
  FormResize();
}

// ---------------------------------------------------------------- handlers

void TInstallerForm::FormCreate() {
  setBorderSizeable(false);
  if (startUp_) {
    startUp_(*this);
  } else {
    ShowReadyPhase(*this, LoadStr(StringId::Install) + " " + LoadStr(StringId::ScreenSaver), nullptr);
  }
}

void TInstallerForm::FormShow() {
  if (preparingInstallWnd != nullptr) preparingInstallWnd->hide();
}

void TInstallerForm::FormResize() {
  if (!componentsReady_) return;
  const int width = clientWidth();
  const int height = clientHeight();
  Control& content = contentPanel.control;
  content.setBounds(content.left(), content.top(), width, content.height());
  const int stripTop = height - kButtonStripHeight;
  buttonPanel.control.setBounds(0, stripTop, width, kButtonStripHeight);
  const int contentBottom = content.top() + content.height();
  // The text box keeps its own minimum height even when this comes out less.
  licenseScrollBox.setBounds(0, contentBottom + 2, width, (stripTop - 2) - (contentBottom + 4));
}

bool TInstallerForm::FormCloseQuery() { return !run.installRunning; }

void TInstallerForm::FormClose() {
  if (displayMode != dmSilent && moviePanel1 != nullptr) moviePanel1->stopMovie();
  if (moviePanel1 != nullptr) moviePanel1->removeTempFiles();
  const Result removed = RemoveWorkDirectoryAtExit(workDirectory_);
  if (removed != kOk) DebugLog("work directory not removed: " + std::to_string(removed) + " " + workDirectory_);
  release();
  App().Terminate();
}

void TInstallerForm::FormEndSession() {
  if (closed()) return;
  if (run.installRunning) run.cancelRequested = true;
  FormClose();
}

void TInstallerForm::installBtnClick() {
  if (run.installRunning) return;
  if (!installAction_) {
    DebugLog("install: no install run available");
    return;
  }
  run.installRunning = true;
  run.cancelRequested = false;
  const Result result = installAction_(*this, run);
  run.installRunning = false;
  // The last attempt's result is the program's exit code, so that a caller
  // never reads a failed or cancelled install as a success.
  App().SetExitCode(result);
  if (result == kOk) close();
}

void TInstallerForm::cancelBtnClick() {
  if (run.installRunning) {
    run.cancelRequested = true;
    setStatus(LoadStr(StringId::AbortedCleaningUp));
    setProgressPosition(0);
    App().ProcessMessages();
    pause();
    pause();
    return;
  }
  close();
}

void TInstallerForm::doneBtnClick() { close(); }

void TInstallerForm::pauseTimerTimer() { pauseTimer.setEnabled(false); }

void TInstallerForm::ApplicationEvents1Message(MSG& message, bool& handled) {
  if (message.message == WM_RBUTTONDOWN) handled = true;
}

void TInstallerForm::onCommand(UINT id, UINT code, HWND /*control*/) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case kInstallBtnId:
      installBtnClick();
      break;
    case kCancelBtnId:
      cancelBtnClick();
      break;
    case kDoneBtnId:
      doneBtnClick();
      break;
    default:
      break;
  }
}

void TInstallerForm::onTimer(UINT id) {
  if (id == pauseTimer.id()) pauseTimerTimer();
}

HBRUSH TInstallerForm::controlBrush(HWND control, HDC dc) {
  // The licence text reads as a document: window colour, not button face.
  if (control != nullptr && control == licenseScrollBox.handle()) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return GetSysColorBrush(COLOR_WINDOW);
  }
  return nullptr;
}

// ---------------------------------------------------------------- primitives

void TInstallerForm::setStatus(const std::string& text) {
  if (displayMode == dmSilent) return;
  labCopying.setVisible(true);
  labCopying.setText(text);
  if (HWND label = labCopying.handle()) {
    InvalidateRect(label, nullptr, TRUE);
    UpdateWindow(label);
  }
}

void TInstallerForm::stepProgress() {
  if (displayMode == dmSilent) return;
  SendMessageA(progressBar.handle(), PBM_STEPIT, 0, 0);
  pause();
}

void TInstallerForm::pause() {
  pauseTimer.setEnabled(true);
  // The timer's handler ends the loop. A window that goes away or an
  // application that ends meanwhile ends it too: no timer would come then.
  while (pauseTimer.enabled() && exists() && !App().Terminated()) App().HandleMessage();
  if (pauseTimer.enabled()) pauseTimer.setEnabled(false);
  App().BringToFront();
}

void TInstallerForm::prepareFormForInstall() {
  if (displayMode == dmSilent) return;
  installBtn.setEnabled(false);
  cancelBtn.setVisible(true);
  App().ProcessMessages();
  setStatus(LoadStr(StringId::InstallingScreenSaver));
  App().ProcessMessages();
}

void TInstallerForm::resetFormAfterCancel() {
  if (displayMode == dmSilent) return;
  setProgressPosition(0);
  setStatus(std::string());
  cancelBtn.setEnabled(true);
  App().ProcessMessages();
  installBtn.setEnabled(true);
}

void TInstallerForm::configureForLicense() {
  licenseScrollBox.setVisible(true);
  setBorderSizeable(true);
  setMinimumSize(kLicenseMinWidth, kLicenseMinHeight);
  licenseScrollBox.setHeight(kLicenseBoxHeight);
  installBtn.setWidth(kAcceptInstallWidth);
  installBtn.setText(LoadStr(StringId::AcceptAndInstall));
  cancelBtn.setVisible(true);
}

void TInstallerForm::configureWithoutLicense() {
  installBtn.setWidth(kInstallWidth);
  installBtn.setText(LoadStr(StringId::Install));
  licenseScrollBox.setVisible(false);
  setBorderSizeable(false);
}

void TInstallerForm::placeInstallButton() {
  installBtn.setLeft(cancelBtn.left() - installBtn.width() - kButtonGap);
  cancelBtn.setText(LoadStr(StringId::Cancel));
  doneBtn.setText(LoadStr(StringId::Close));
}

void TInstallerForm::layoutForm() {
  setWidth(kLayoutWidth);
  sizeFormToContent();
}

void TInstallerForm::sizeFormToContent() {
  const int frame = height() - clientHeight();
  int content = contentPanel.control.top() + contentPanel.control.height();
  if (showLicense) content += licenseScrollBox.height() + 4;
  setHeight(frame + content + buttonPanel.control.height());
}

void TInstallerForm::showInstallerWindow() {
  setProgressMax(kProgressMax);
  setNormalState();
  layoutForm();
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  setPosition((screenWidth - width()) / 2, (screenHeight - height()) / 2);
  show();
}

void TInstallerForm::showCompletePhase() {
  if (displayMode == dmSilent) return;
  setStatus(LoadStr(StringId::InstallComplete));
  doneBtn.setVisible(true);
  doneBtn.setFocus();
  installBtn.setVisible(false);
  cancelBtn.setVisible(false);
  App().ProcessMessages();
  installBtn.setEnabled(false);
}

void TInstallerForm::setMoviePanel(MoviePanelSlot* slot, HWND window) {
  moviePanel1 = slot;
  if (window == nullptr || GetParent(window) != contentPanel.handle()) return;
  // Measured against the design size, then stretched to the present one.
  RECT area{};
  GetClientRect(contentPanel.handle(), &area);
  MoveWindow(window, kImageLeft, kImageTop, kImageWidth, kImageHeight, FALSE);
  movieWindow_.attach(window, kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom, kContentWidth,
                      kContentHeight);
  movieWindow_.parentResized(area.right, area.bottom);
  contentPanel.addAnchored(&movieWindow_);
}

void TInstallerForm::setLicenseText(const std::string& text) {
  // The text box breaks lines at CR LF only; files may use bare LF.
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) lines.push_back('\r');
    lines.push_back(text[i]);
  }
  licenseScrollBox.setText(lines);
}

void TInstallerForm::setProgressPosition(int position) {
  SendMessageA(progressBar.handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int TInstallerForm::progressPosition() const {
  return static_cast<int>(SendMessageA(progressBar.handle(), PBM_GETPOS, 0, 0));
}

int TInstallerForm::progressMax() const {
  return static_cast<int>(SendMessageA(progressBar.handle(), PBM_GETRANGE, FALSE, 0));
}

void TInstallerForm::setProgressMax(int maximum) {
  const int minimum = static_cast<int>(SendMessageA(progressBar.handle(), PBM_GETRANGE, TRUE, 0));
  SendMessageA(progressBar.handle(), PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}

// ---------------------------------------------------------------- free functions

void ShowReadyPhase(TInstallerForm& form, const std::string& caption, const std::string* licenseText) {
  if (preparingInstallWnd != nullptr) preparingInstallWnd->centreOnScreen();
  form.setCaption(caption);
  App().SetTitle(caption);
  form.showLicense = licenseText != nullptr;
  if (licenseText != nullptr) {
    form.setLicenseText(*licenseText);
    form.configureForLicense();
  } else {
    form.configureWithoutLicense();
  }
  form.placeInstallButton();
  if (preparingInstallWnd != nullptr) preparingInstallWnd->moveOffScreen();
  form.showInstallerWindow();
}

int RunInstallerWindows(TInstallerForm::StartUp startUp) {
  Application& app = App();
  app.Initialize();
  // Lower-case "installation": the title differs from the window's label.
  app.SetTitle("Preparing installation...");
  auto* preparing = new TpreparingInstallWnd();
  if (!preparing->create()) return 1;
  preparing->setCaption(ExeFileName(ModulePath()));
  while (preparingInstallWnd == nullptr) app.ProcessMessages();
  app.ProcessMessages();

  auto* installer = new TInstallerForm(std::move(startUp));
  if (!installer->create()) return 1;
  app.Run();
  if (installer->exists() && !installer->closed()) installer->close();
  return app.ExitCode();
}

}  // namespace ss
