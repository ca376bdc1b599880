#include "flash/FlashPlayer.h"

#include <shellapi.h>

#include <memory>
#include <vector>

#include "core/DebugLog.h"
#include "core/WinHandles.h"
#include "flash/FlashIds.h"
#include "flash/ShockwaveFlash.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {
namespace {

int32_t g_cachedFlashMajor = -1;

// One probe attempt: create the control without a window and ask its
// version. `created` tells whether the creation itself succeeded.
HRESULT ProbeOnce(int32_t& major, bool& created) {
  std::unique_ptr<TShockwaveFlash> probe;
  const RECT none = {0, 0, 0, 0};
  created = false;
  HRESULT hr = TShockwaveFlash::Create(nullptr, none, probe);
  if (FAILED(hr)) return hr;
  created = true;
  long version = 0;
  hr = probe->FlashVersion(version);
  if (FAILED(hr)) return hr;
  major = static_cast<int32_t>(static_cast<unsigned long>(version) >> 16);
  return S_OK;
}

// Runs up to `attempts` probes, pausing before each; stops at the first
// success, or when a created control failed to answer. True on success.
bool RunProbes(int32_t attempts, int32_t& major) {
  OleScope ole;
  for (int32_t count = 0; count < attempts; ++count) {
    Sleep(static_cast<DWORD>(flashProbeTiming().pauseMs));
    bool created = false;
    int32_t found = 0;
    if (SUCCEEDED(ProbeOnce(found, created))) {
      major = found;
      g_cachedFlashMajor = found;
      return true;
    }
    if (created) break;
  }
  return false;
}

}  // namespace

FlashProbeTiming& flashProbeTiming() {
  static FlashProbeTiming timing;
  return timing;
}

int32_t cachedFlashMajor() { return g_cachedFlashMajor; }
void resetCachedFlashMajor() { g_cachedFlashMajor = -1; }

Result getRegisteredFlashAXPath(std::string& path) {
  path.clear();
  RegKey key;
  // Read access is all that is needed; asking for more fails for users
  // without administrator rights.
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kFlashInprocKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < 32768) {
      std::vector<char> buf(size + 1, '\0');
      if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) ==
          ERROR_SUCCESS) {
        path.assign(buf.data());
        if (type == REG_EXPAND_SZ) {
          char expanded[MAX_PATH * 2];
          const DWORD n = ExpandEnvironmentStringsA(path.c_str(), expanded, sizeof expanded);
          if (n > 0 && n <= sizeof expanded) path.assign(expanded);
        }
      }
    }
  }
  return path.empty() ? kErrFlashMissing : kOk;
}

void getFlashPlugInVersionInfoFromFileProperties(int32_t& major, int32_t& minor) {
  DebugLog("getFlashPlugInVersionInfoFromFileProperties");
  std::string path;
  const Result rc = getRegisteredFlashAXPath(path);
  DebugLog("pathFlashAX: " + path);
  major = 0;
  minor = 0;
  if (rc == kOk && FileExists(path)) {
    int fileMajor = 0, fileRelease = 0;
    GetFileVersionNumbers(path, fileMajor, fileRelease);
    major = fileMajor;
    minor = fileRelease;
  }
  DebugLog("Computer Flash Version: " + std::to_string(major) + " r" + std::to_string(minor));
  DebugLog("getFlashPlugInVersionInfoFromFileProperties");
}

Result probeFlashControlVersion(bool& found, int32_t& major, int32_t attempts) {
  found = true;
  Result rc = kOk;
  if (g_cachedFlashMajor == -1) {
    major = 0;
    found = RunProbes(attempts, major);
    rc = found ? kOk : kErrFlashMissing;
  }
  major = g_cachedFlashMajor;
  return rc;
}

void probeFlashControlVersionQuiet(int32_t& major, int32_t attempts) {
  major = 0;
  if (g_cachedFlashMajor == -1) RunProbes(attempts, major);
}

void getFlashPlugInVersion(bool& found, int32_t& major, int32_t& minor) {
  found = false;
  major = 0;
  minor = 0;
  getFlashPlugInVersionInfoFromFileProperties(major, minor);
  if (major <= 0) probeFlashControlVersionQuiet(major, flashProbeTiming().quietProbeAttempts);
  found = major > 0;
}

int32_t getOSKind() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return kOsUnknown;
  return classifyOSKind(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.szCSDVersion);
}

Result verifyFlashAXInstallerCanRunOnThisMachine(int32_t requiredMajor) {
  DebugLog("verifyFlashAXInstallerCanRunOnThisMachine");
  const int32_t kind = getOSKind();
  DebugLog("version: " + std::to_string(kind));
  const Result rc = verifyFlashAXInstallerCanRunOnOSKind(kind, requiredMajor);
  DebugLog("verifyFlashAXInstallerCanRunOnThisMachine " + std::to_string(rc));
  return rc;
}

bool removeFlashAXFiles() { return removeFlashAXFiles(Dirs().systemDir); }

bool removeFlashAXFiles(const std::string& systemDir) {
  if (systemDir.empty()) return false;
  bool remains = false;
  for (const char* name : {"Macromed\\Flash\\Flash.ocx", "Macromed\\Flash\\swflash.ocx"}) {
    const std::string path = WithTrailingBackslash(systemDir) + name;
    if (!FileExists(path)) continue;
    DeleteFileRetry(path, 100);
    if (FileExists(path)) remains = true;
  }
  return remains;
}

Result runFlashAXInstaller(const std::string& name, HWND owner) {
  return runFlashAXInstaller(name, Dirs().workDir, owner);
}

Result runFlashAXInstaller(const std::string& name, const std::string& workDir, HWND owner) {
  // The name comes from the package: it must stay inside the work directory.
  if (!IsPlainFileName(name)) return kErrBadEntryName;
  const std::string path = WithTrailingBackslash(workDir) + name;
  if (!FileExists(path)) return kErrFlashSetupMissing;
  // Named by its full path and started in the work directory (private to
  // this user), never in the installer's current folder, where anyone may
  // have put libraries for the setup to find.
  const std::string directory = WithTrailingBackslash(workDir);
  const INT_PTR shell =
      reinterpret_cast<INT_PTR>(ShellExecuteA(owner, nullptr, path.c_str(), "/Q", directory.c_str(), SW_HIDE));
  // The owner is the application's window, named in the log by its title.
  char ownerTitle[128] = "";
  if (owner != nullptr) GetWindowTextA(owner, ownerTitle, sizeof ownerTitle);
  DebugLog("Flash setup started: " + std::to_string(shell) + ", owner \"" + ownerTitle + "\"");
  if (owner != nullptr) SetForegroundWindow(owner);
  if (shell > 32) return kOk;
  if (shell == 0) return kErrOutOfMemory;
  return static_cast<Result>(shell);
}

Result installFlashPlayer(const std::string& name, HWND owner) {
  const Result rc = runFlashAXInstaller(name, owner);
  if (rc != kOk) return rc;
  bool found = false;
  int32_t major = 0, minor = 0;
  getFlashPlugInVersion(found, major, minor);
  return kOk;
}

Result applyFlashDecision(bool found, int32_t major, int32_t minor, const RequiredFlashVersion& required,
                          bool carriesSetup, const std::string& systemDir, FlashPlayerOutcome& outcome) {
  outcome = FlashPlayerOutcome{};
  outcome.decision = decideFlashPlayer(found, major, minor, required, carriesSetup);
  if (const char* line = decisionLogLine(outcome.decision); *line != '\0') DebugLog(line);
  switch (outcome.decision) {
    case FlashDecision::Current:
      return kOk;
    case FlashDecision::DownloadRequired:
      return kErrFlashMissing;
    case FlashDecision::CleanInstall:
      outcome.flashUpdateNeeded = true;
      break;
    case FlashDecision::MajorUpdate:
    case FlashDecision::MinorUpdate:
      outcome.flashUpdateNeeded = true;
      // The old control goes only when the carried setup will replace it:
      // without a setup the user would be left with no player at all, while
      // an old one still plays most movies.
      if (carriesSetup) outcome.flashControlInUse = removeFlashAXFiles(systemDir);
      break;
  }
  return carriesSetup && !outcome.flashControlInUse ? kOk : kErrFlashMissing;
}

}  // namespace ss
