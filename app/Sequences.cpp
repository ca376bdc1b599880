#include "app/Sequences.h"

#include <windows.h>

#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "app/FaultSeam.h"
#include "app/PictureLoader.h"
#include "app/PreparingWnd.h"
#include "app/WindowForm.h"
#include "core/DebugLog.h"
#include "core/MessageDlg.h"
#include "core/Messages.h"
#include "core/Strings.h"
#include "core/WinFile.h"
#include "flash/FlashPanel.h"
#include "flash/FlashPlayer.h"
#include "package/PackageReader.h"
#include "package/Staging.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/LMT_StringUtils.h"
#include "winsys/ScreenSaverActivation.h"
#include "winsys/Wow64Redirection.h"

namespace ss {
namespace {

// The movie panel lives as long as the program.
std::unique_ptr<TFlashPanel>& MoviePanel() {
  static std::unique_ptr<TFlashPanel> panel;
  return panel;
}
std::unique_ptr<MoviePanelAdapter<TFlashPanel>>& MovieSlot() {
  static std::unique_ptr<MoviePanelAdapter<TFlashPanel>> slot;
  return slot;
}

// The engine's file in the system directory, as its entry names it (the
// reading rules made sure that is the title followed by ".scr").
std::string EngineFileName() { return PackageHeader().segments[kSegEngine].name; }

ExtraFiles ExtraFilesOf(const TInstallerForm& form, const RunState& run) {
  const TPackageHeader& h = PackageHeader();
  ExtraFiles files;
  files.installDir = InstallDirectory();
  files.licenceName = h.segments[kSegLicense].name;
  files.documentName = h.segments[kSegCompanion].name;
  files.placeLicence = form.showLicense;
  files.placeDocument = run.hasCompanionFile;
  return files;
}

// The licence box takes texts up to this size; a larger file is not shown.
constexpr DWORD kMaxLicenceText = 16 * 1024 * 1024;

// Shows the picture presentation; a picture that cannot be loaded gives the
// "CorruptFile: " box and leaves the area empty.
void ShowPicture(TInstallerForm& form) {
  const std::string path = Dirs().workDir + PackageHeader().segments[kSegPresentation].name;
  HBITMAP bitmap = nullptr;
  const Result rc = LoadPicture(path, &bitmap);
  if (rc != kOk) {
    DebugLog("picture not loaded: " + std::to_string(rc) + " " + path);
    MessageDlg("CorruptFile: ", DlgType::Error, {kBtnAbort});
  } else {
    form.bmpPanel.setPicture(bitmap);
  }
  ShowWindow(form.bmpPanel.handle(), SW_SHOW);
  SetWindowPos(form.bmpPanel.handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// Plays the movie; any failure, no memory for the panel included, counts as
// a movie that cannot play.
Result PlayMovie(TInstallerForm& form) {
  const std::string path = Dirs().workDir + PackageHeader().segments[kSegPresentation].name;
  if (!MoviePanel()) {
    RECT area;
    GetClientRect(form.contentPanel.handle(), &area);
    MoviePanel().reset(new (std::nothrow) TFlashPanel(form.contentPanel.handle(), 0, 0, area.right, area.bottom));
    MovieSlot().reset(MoviePanel() ? new (std::nothrow) MoviePanelAdapter<TFlashPanel>(*MoviePanel()) : nullptr);
    if (!MovieSlot()) {
      DebugLog("playMovie failed: no memory for the panel");
      MoviePanel().reset();
      return kErrMovieNoControl;
    }
    form.setMoviePanel(MovieSlot().get(), MoviePanel()->handle());
  }
  return MoviePanel()->playMovie(path);
}

void EndProgram(TInstallerForm& form) {
  form.close();
  App().Terminate();
}

bool IsQuietSwitch(const std::string& parameter) { return AsciiLower(parameter) == "/q"; }

// Lets the windows repaint and answer. A quiet run has no window: it skips
// this, and so never connects to the display.
void PumpMessages(const TInstallerForm& form) {
  if (form.exists()) App().ProcessMessages();
}

}  // namespace

bool QuietSwitchGiven() {
  for (int i = 1; i < __argc; ++i) {
    if (__argv[i] != nullptr && IsQuietSwitch(__argv[i])) return true;
  }
  return false;
}

namespace {

// Start-up, step 1: the quiet switch (looked at first, so that a run meant to
// be unattended never waits on a box, whichever step fails), the work
// directory with its copy of the package, the header and the display mode.
Result OpenPackage(TInstallerForm& form, RunState& run, int32_t packageOffset) {
  run.quietSwitch = QuietSwitchGiven();
  SetUnattended(run.quietSwitch);

  const std::string executable = ModulePath();
  Result result = InitPaths(executable);
  if (result == kOk) form.setWorkDirectory(Dirs().workDir);
  if (result == kOk) result = CopyPackageToWorkDirectory(executable);
  if (result == kOk) result = ReadPackageHeader(packageOffset);
  if (result != kOk) return result;

  const TPackageHeader& header = PackageHeader();
  for (int i = 1; i < __argc; ++i) {
    DebugLog(std::string("command line parameter:") + (__argv[i] != nullptr ? __argv[i] : ""));
  }
  form.displayMode = header.displayMode;
  if (run.quietSwitch) form.displayMode = dmSilent;
  run.quietRun = form.displayMode == dmSilent;
  if (preparingInstallWnd != nullptr) {
    if (run.quietRun) {
      preparingInstallWnd->moveOffScreen();
    } else {
      preparingInstallWnd->centreOnScreen();
    }
  }
  PumpMessages(form);
  run.title = header.title;
  return kOk;
}

// Step 2: the companion file, and the Flash player: which one is needed,
// whether its setup is carried and started, and whether an old one goes.
Result SettleFlashPlayer(RunState& run) {
  const TPackageHeader& header = PackageHeader();
  run.hasCompanionFile = header.hasCompanionFile != 0;
  if (run.hasCompanionFile) {
    if (const Result result = StageCompanionFile(); result != kOk) return result;
  }
  getFlashPlugInVersion(run.flashFound, run.flashMajor, run.flashMinor);
  // Only two version indexes exist; any other value is a damaged package.
  if (requiredFlashVersion(header.flashVersionIndex, run.required) != kOk) return kErrBadFlashIndex;
  Result result = verifyFlashAXInstallerCanRunOnThisMachine(run.required.major);
  const bool carriesSetup = header.carriesFlashSetup != 0;
  if (result == kOk && carriesSetup) {
    DebugLog("carrying Flash PlugIn = true");
    result = StageFlashSetup();
  }
  if (result != kOk) return result;
  FlashPlayerOutcome outcome;
  result = applyFlashDecision(run.flashFound, run.flashMajor, run.flashMinor, run.required, carriesSetup,
                              Dirs().systemDir, outcome);
  run.flashUpdateNeeded = outcome.flashUpdateNeeded;
  run.flashControlInUse = outcome.flashControlInUse;
  if (result == kOk && run.flashUpdateNeeded && carriesSetup && !run.flashControlInUse) {
    // The setup runs on its own; whether it could start does not stop us.
    installFlashPlayer(header.segments[kSegFlashSetup].name, App().TitleWindow());
  }
  return result;
}

// Step 3, for a run with windows: the caption and the licence.
Result PrepareInstallerWindow(TInstallerForm& form, const RunState& run) {
  const TPackageHeader& header = PackageHeader();
  const std::string caption = MakeInstallCaption(run.title);
  form.setCaption(caption);
  App().SetTitle(caption);
  form.showLicense = header.showLicense != 0;
  if (form.showLicense) {
    const Result result = StageLicenseText();
    if (result != kOk) return result;
    std::string text;
    if (ReadWholeFile(Dirs().workDir + header.segments[kSegLicense].name, kMaxLicenceText, &text) == kOk) {
      form.setLicenseText(text);
    }
    form.configureForLicense();
  } else {
    form.configureWithoutLicense();
  }
  form.placeInstallButton();
  return kOk;
}

// Step 4, for a run with windows: the picture or the movie. A movie that
// cannot play turns the run into a direct install.
Result ShowPresentation(TInstallerForm& form, RunState& run) {
  if (form.displayMode == dmBitmap || form.displayMode == dmJpeg) {
    ShowPicture(form);
  } else if (IsFlashMode(form.displayMode)) {
    const Result movie = PlayMovie(form);
    if (movie != kOk) {
      DebugLog("movie not played: " + std::to_string(movie) + "; direct install");
      const Result result = directInstall(form, run);
      run.directInstallDone = true;
      App().ProcessMessages();
      return result;
    }
    SetForegroundWindow(form.handle());
    App().ProcessMessages();
    if (GetActiveWindow() == form.handle() && MoviePanel()) MoviePanel()->focusMovie();
  }
  return kOk;
}

// The last step: after a failure, a direct install or a quiet run the
// program ends here; otherwise the installer window waits for the user.
void FinishStartUp(TInstallerForm& form, const RunState& run, Result result) {
  const TPackageHeader& header = PackageHeader();
  if (result != kOk) {
    DebugLog("install error: " + std::to_string(result));
    ShowStartupFailure(result);
    // A run that failed before it could install reports the failure in its
    // exit code too; a caller of "/q" has nothing else to go by.
    App().SetExitCode(result);
    EndProgram(form);
  } else if (run.directInstallDone) {
    OfferDisplayProperties(header.showDisplayProperties != 0, App().TitleWindow());
    EndProgram(form);
  } else if (run.quietRun) {
    if (!run.quietSwitch) OpenDisplayProperties(header.showDisplayProperties != 0);
    EndProgram(form);
  }
}

}  // namespace

void startUp(TInstallerForm& form, RunState& run, int32_t packageOffset) {
  // The hourglass over the installer's windows, while there are any.
  std::optional<WaitCursor> cursor;
  if (form.exists()) cursor.emplace();
  PumpMessages(form);

  run = RunState();
  form.showLicense = false;
  SetInstallProgress(&form);

  Result result = OpenPackage(form, run, packageOffset);
  if (result == kOk) result = SettleFlashPlayer(run);
  if (result == kOk && !run.quietRun) result = PrepareInstallerWindow(form, run);
  // The presentation is staged whenever the package carries one, "/q" or not.
  if (result == kOk && PackageHeader().displayMode != dmSilent) result = StagePresentation();
  if (result == kOk && !run.quietRun) result = ShowPresentation(form, run);

  if (result == kOk && !run.quietRun && !run.directInstallDone) {
    if (preparingInstallWnd != nullptr) preparingInstallWnd->moveOffScreen();
    form.showInstallerWindow();
  }
  if (result == kOk && run.quietRun) quietInstall(form, run);
  // The work is done: what follows only asks (the closing box of a failed
  // start-up, the panel question) or waits for the user, under the cursor
  // there was before.
  cursor.reset();
  FinishStartUp(form, run, result);
}

namespace {

// One install step through the test build's fault hooks (empty in the
// shipped installer).
template <typename Body>
Result Step(RunState& run, const char* name, Body&& body) {
  FaultBeforeStep(name);
  return FaultAfterStep(name, body(), run);
}

// What the activation step did: its result decides the install's when there
// was no cancel, and an engine removed again gives the setting back.
struct Activation {
  Result result = kOk;
  bool done = false;
  std::string screenSaverBefore;
};

// Before anything is written: the title names the uninstall entry the
// install writes, and an entry of that name that is another program's stops
// the install before anything is written or closed (-607, `titleTaken`:
// there is nothing to clean up). Otherwise the Display control panel is
// closed and the target prepared, which may ask whether to overwrite; a
// "no" counts as a cancel.
Result PrepareTarget(TInstallerForm& form, RunState& run, bool& titleTaken) {
  titleTaken = !run.cancelRequested && FindForeignUninstallEntry(run.title) == kErrForeignUninstallEntry;
  if (titleTaken) return kErrForeignUninstallEntry;
  if (run.cancelRequested) return kOk;
  CloseDisplayProperties();
  // A cancel asked for meanwhile stops here, as before every step.
  if (run.cancelRequested) return kOk;
  const Result result = Step(run, "prepare", [&] {
    return PrepareScreenSaverTarget(Dirs().systemDir, run.title, form.displayMode != dmSilent,
                                    LoadStr(StringId::AlreadyExistsOverwrite));
  });
  if (result == kErrUserDeclined) run.cancelRequested = true;
  if (preparingInstallWnd != nullptr) UpdateWindow(preparingInstallWnd->handle());
  return result;
}

// The install proper: the files, the data file and its settings, the
// activation, the extra files, the document and the uninstall entry; each
// step only while there is neither a cancel nor a failure.
Result InstallScreenSaver(TInstallerForm& form, RunState& run, Result result, Activation& activation) {
  auto guarded = [&] { return !run.cancelRequested && result == kOk; };
  if (guarded()) {
    result = Step(run, "extract", [&run] {
      Result rc = StageScreenSaverFiles([&run] { return run.cancelRequested; });
      // Under WOW64 the engine also goes where the 64-bit system looks.
      if (rc == kOk && !run.cancelRequested) rc = PlaceNativeEngineCopy(EngineFileName());
      return rc;
    });
  }
  if (guarded()) result = Step(run, "header", [] { return ReadSaverDataHeader(); });
  if (guarded()) result = Step(run, "expand", [] { return ExpandSaverDataFile(); });
  if (guarded()) result = Step(run, "write", [] { return WriteSaverSettings(); });
  activation.screenSaverBefore = CurrentScreenSaver();
  if (guarded()) {
    activation.result = Step(run, "activate", [] { return ActivateScreenSaver(EngineFileName()); });
    activation.done = activation.result == kOk;
  }
  const ExtraFiles files = ExtraFilesOf(form, run);
  if (guarded()) result = Step(run, "place", [&] { return PlaceExtraFiles(files); });
  if (guarded()) OpenDocument(files);
  if (guarded()) {
    RegisterUninstallEntry(run.title);
    result = kOk;
  }
  return result;
}

// After the steps: a failed or cancelled install is removed again (not after
// a declined overwrite, and not when the title was another program's), and
// the window shows the outcome. Returns the install's result.
Result ConcludeInstall(TInstallerForm& form, RunState& run, Result result, bool titleTaken,
                       const Activation& activation) {
  bool removed = false;
  if (result != kOk && result != kErrUserDeclined && !titleTaken) {
    CleanUpInstallation(run.title, EngineFileName());
    removed = true;
  }
  if (!run.cancelRequested && activation.result != kOk) result = activation.result;
  if (!run.cancelRequested) {
    setupFormForInstallationComplete(form, run, result);
  } else {
    form.setStatus(LoadStr(StringId::AbortedCleaningUp));
    if (result != kErrUserDeclined) {
      CleanUpInstallation(run.title, EngineFileName());
      removed = true;
    }
    form.resetFormAfterCancel();
    // A cancel between two steps leaves the result at 0; it is still no
    // success, and must not end the program as one.
    if (result == kOk) result = kErrUserDeclined;
  }
  // An engine removed again must not stay the active screen saver: the
  // setting goes back to what it was before this install.
  if (removed && activation.done) RestoreScreenSaver(activation.screenSaverBefore);
  return result;
}

}  // namespace

Result runInstall(TInstallerForm& form, RunState& run) {
  std::optional<WaitCursor> cursor;
  if (form.exists()) cursor.emplace();
  form.prepareFormForInstall();
  bool titleTaken = false;
  Activation activation;
  Result result = PrepareTarget(form, run, titleTaken);
  result = InstallScreenSaver(form, run, result, activation);
  DeleteFileForced(SaverDataFilePath());
  result = ConcludeInstall(form, run, result, titleTaken, activation);
  DebugLog("runInstall: " + std::to_string(result));
  return result;
}

Result installAndOfferDisplayProperties(TInstallerForm& form, RunState& run) {
  const Result result = runInstall(form, run);
  if (!run.cancelRequested && result == kOk) {
    OfferDisplayProperties(PackageHeader().showDisplayProperties != 0, App().TitleWindow());
  }
  return result;
}

Result directInstall(TInstallerForm& form, RunState& run) {
  const uint8_t saved = form.displayMode;
  form.displayMode = dmSilent;
  if (preparingInstallWnd != nullptr) {
    preparingInstallWnd->setCaption(form.caption());
    preparingInstallWnd->setText(LoadStr(StringId::InstallingScreenSaver));
  }
  const Result result = runInstall(form, run);
  if (preparingInstallWnd != nullptr) {
    preparingInstallWnd->setText(result == kOk ? LoadStr(StringId::InstallSuccessful)
                                               : LoadStr(StringId::InstallFailedError) + std::to_string(result));
  }
  form.displayMode = saved;
  return result;
}

void quietInstall(TInstallerForm& form, RunState& run) { App().SetExitCode(runInstall(form, run)); }

void setupFormForInstallationComplete(TInstallerForm& form, const RunState& run, Result code) {
  DebugLog("setupFormForInstallationComplete: " + std::to_string(code));
  if (form.displayMode == dmSilent) return;
  if (code == kOk) form.setProgressPosition(form.progressMax());
  form.pause();
  form.pause();
  form.setProgressPosition(0);
  if (code == kOk) {
    form.showCompletePhase();
  } else if (code == kOsAccessDenied) {
    form.setStatus(LoadStr(StringId::PrivilegesStatus));
    showInstallError(kOsAccessDenied, "5");
  } else if (code == kErrEngineBusy) {
    form.setStatus(LoadStr(StringId::EngineBusyStatus));
    showInstallError(kErrEngineBusy, "");
  } else if (code == kErrForeignUninstallEntry) {
    form.setStatus(CompletionStatus(code));
    showInstallError(code, run.title);
  } else {
    form.setStatus(CompletionStatus(code));
  }
}

}  // namespace ss
