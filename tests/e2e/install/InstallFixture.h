// The test fixture of the installer's end-to-end tests: builds installers
// from the real stub and library with the package builder, runs them as
// separate processes, reads back what they installed, and removes all of it
// again (engine, install directory, uninstall entry, system.ini line, the
// stand-in Flash registration, version settings), so that the tests can run
// in any order.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "package/PackageRecords.h"
#include "tests/e2e/install/E2eUtil.h"
#include "tests/support/PackFixtures.h"
#include "tools/build/PackageBuilder.h"

namespace e2e {

// What a test installer holds, with the bytes of every file it installs.
struct Package {
  ss::pack::PackageInput input;
  std::map<std::string, Bytes> dataEntries;  // data-file entries by relative name
  const Bytes& segment(int index) const { return input.segments[index]->data; }
};

// Options beyond the builder's fixture options.
struct PackagePlan {
  std::string title = "E2E Aqua";
  uint8_t displayMode = ss::dmSilent;
  bool license = false;
  bool document = false;
  uint8_t flashVersionIndex = 0;
  bool showDisplayProperties = false;
  ss::pack::Compression compression = ss::pack::Compression::kAuto;
  Bytes presentation;          // empty: the builder fixture's bytes
  size_t engineSize = 0;       // 0: the fixture's engine; else noise of this size
  size_t supportSize = 0;      // 0: the fixture's support file; else noise of this size
};

class InstallE2e : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static const Bytes& Stub();
  static const Bytes& Library();

  // The following installers are built on the stub at `buildPath` (a path
  // of the build tree) instead of the shipped one; false when unreadable.
  bool UseStub(const std::string& buildPath);

  Package MakePackage(const PackagePlan& plan);
  // Writes the installer of `package` as `exeName` into the scratch folder;
  // `patch` may change the bytes after the stub (the package) first.
  std::string WriteInstaller(const Package& package, const std::string& exeName = "Setup.exe",
                             const std::function<void(Bytes&)>& patch = nullptr);
  // The header inside installer bytes, and writing it back.
  static ss::TPackageHeader HeaderOf(const Bytes& installer);
  static void PutHeader(Bytes& installer, const ss::TPackageHeader& header);

  // Starts `exe` with `args` in the current folder `currentDir` (empty: the
  // test's); the debug log goes to a file in the scratch folder.
  std::unique_ptr<ChildProcess> Start(const std::string& exe, const std::string& args,
                                      const std::string& currentDir = "");
  // Runs to the end (bounded) and returns the process.
  std::unique_ptr<ChildProcess> RunToEnd(const std::string& exe, const std::string& args, DWORD timeoutMs = 60000,
                                         const std::string& currentDir = "");

  // Driving a running installer. The installer window: "Install: <title>"
  // or "Install Screen Saver: <title>".
  static HWND WaitForInstaller(const ChildProcess& child, const std::string& title, DWORD timeoutMs = 30000);
  static bool HasChildText(HWND parent, const std::string& text);
  // Some visible window of `pid` shows `text` among its controls.
  static bool ProcessShowsText(DWORD pid, const std::string& text);
  static bool WaitForChildText(HWND parent, const std::string& text, DWORD timeoutMs);
  static bool ButtonUsable(HWND parent, const std::string& caption);
  // Waits for the process to end, answering every box it shows with its
  // first button; returns the boxes seen.
  static std::vector<Box> FinishAnsweringBoxes(ChildProcess& child, DWORD timeoutMs = 60000);

  // Read-back of an install.
  static std::string EnginePath(const std::string& title);
  static std::string InstallDir(const std::string& title);
  static bool UninstallEntryExists(const std::string& title);
  void ExpectInstalled(const Package& package);
  void ExpectNothingInstalled(const std::string& title);
  // Another program's uninstall entry named like `title` under `root`: its
  // Publisher, DisplayName and own UninstallString, or (withCommand false) a
  // key without UninstallString. The fixture removes it with the title.
  void PutForeignEntry(HKEY root, const std::string& title, bool withCommand = true);
  // A run refused for such an entry (-607) changed nothing: the entry is as
  // PutForeignEntry wrote it, value for value, the other root has none, and
  // there is no engine, install directory, work directory or change to
  // system.ini (`iniBefore`, its bytes before the run).
  void ExpectRefusedUntouched(HKEY root, const std::string& title, bool withCommand, const Bytes& iniBefore);
  // Work directories ("LMF<n>") that were not there when the test began.
  std::vector<std::string> NewWorkDirs() const;

  // The stand-in Flash control (7.19) registered under the Flash class, or none.
  void RegisterFlashControl(const std::string& dllPath);
  void UnregisterFlashControl();
  // The Windows version Wine reports to one program.
  void SetWindowsVersion(const std::string& exeName, const std::string& version);
  // The stand-in Display control panel in the system directory.
  void PlaceDisplayPanel();
  // The stand-in panel's window (a dialog of its own process), or nullptr
  // after the timeout; closing it waits until it is gone.
  static HWND WaitForDisplayPanel(DWORD timeoutMs);
  static void CloseDisplayPanel(HWND panel);
  // Saves a picture of `w` under the screenshot folder.
  static void Screenshot(HWND w, const std::string& name);

  const Bytes* stub_ = nullptr;  // null: Stub()
  std::string scratch_;
  std::vector<std::string> titles_;       // cleaned at the end
  std::vector<std::string> versionExes_;  // AppDefaults keys to remove
  std::vector<std::string> workDirsBefore_;
  std::string screenSaverBefore_;
  bool deskPlaced_ = false;
  int runs_ = 0;
};

}  // namespace e2e
