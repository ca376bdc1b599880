#include "examples/saver/SaverUninstall.h"

#include <windows.h>

#include <vector>

#include "core/WinFile.h"
#include "core/WinHandles.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/Wow64Redirection.h"

namespace ss::sample {

namespace {

std::string ShortPath(const std::string& path) {
  std::vector<char> buf(MAX_PATH + 1);
  DWORD n = GetShortPathNameA(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = GetShortPathNameA(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  }
  return (n > 0 && n < buf.size()) ? std::string(buf.data(), n) : std::string();
}

// The "UninstallString" of the title's entry under `root`; false when there
// is no such key or value.
bool ReadUninstallCommand(HKEY root, const std::string& title, std::string* command) {
  RegKey key;
  if (RegOpenKeyExA(root, UninstallKeyPath(title).c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), "UninstallString", nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  std::vector<char> buf(size + 1, '\0');
  if (RegQueryValueExA(key.get(), "UninstallString", nullptr, &type,
                       reinterpret_cast<BYTE*>(buf.data()), &size) != ERROR_SUCCESS) {
    return false;
  }
  command->assign(buf.data());  // stops at the first zero, stored or added
  return true;
}

void Note(std::string* error, const std::string& text) {
  if (!error->empty()) *error += "\r\n";
  *error += text;
}

}  // namespace

bool NamesEngine(const std::string& program, const std::string& enginePath) {
  if (program.empty()) return false;
  if (SamePathText(program, enginePath)) return true;
  // One of them may be the short form (system.ini holds it). Short forms are
  // only given for existing files, and equal short forms mean the same file.
  const std::string a = ShortPath(program);
  const std::string b = ShortPath(enginePath);
  return !a.empty() && !b.empty() && SamePathText(a, b);
}

Result RemoveUninstallEntries(const SaverLocation& location, int* removed) {
  *removed = 0;
  Result rc = kOk;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    std::string command;
    if (!ReadUninstallCommand(root, location.title, &command)) continue;
    if (!NamesEngine(CommandProgram(command), location.enginePath)) continue;
    const Result r = DeleteUninstallEntry(location.title, root);
    if (r == kOk) {
      ++*removed;
    } else if (rc == kOk) {
      rc = r;
    }
  }
  return rc;
}

Result RemoveProfileLine(const SaverLocation& location, bool* removed) {
  *removed = false;
  char value[1024];
  const DWORD n =
      GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", value, sizeof value, "system.ini");
  if (n == 0) return kOk;
  bool ours = NamesEngine(std::string(value, n), location.enginePath);
  if (!ours && RunsUnderWow64()) {
    // The installer names the copy in the real System32, whose short name
    // may differ from the one this 32-bit program sees in SysWOW64.
    NativeSystemView native;
    ours = native.active() && NamesEngine(std::string(value, n), location.enginePath);
  }
  if (!ours) return kOk;
  // A null value removes the key from the section.
  if (!WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", nullptr, "system.ini")) {
    return LastErrorOr(kErrGeneric);
  }
  *removed = true;
  // No screen saver is named any more: switch it off as well.
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDWININICHANGE);
  return kOk;
}

Result RemoveEngineFile(const std::string& enginePath, EngineRemoval* removal,
                        std::string* pendingPath) {
  pendingPath->clear();
  SetFileAttributesA(enginePath.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileA(enginePath.c_str())) {
    *removal = EngineRemoval::kGone;
    return kOk;
  }
  const Result deleteError = LastErrorOr(kErrGeneric);
  if (deleteError == ERROR_FILE_NOT_FOUND || deleteError == ERROR_PATH_NOT_FOUND) {
    *removal = EngineRemoval::kGone;
    return kOk;
  }

  // The running program's file: renaming works where deleting does not.
  // Moving it to the temporary folder clears the system directory at once;
  // a move across volumes is not tried (it would copy and then fail to
  // delete the original).
  std::string target = enginePath;
  bool moved = false;
  char tempDir[MAX_PATH + 1];
  char tempFile[MAX_PATH + 1];
  const DWORD t = GetTempPathA(sizeof tempDir, tempDir);
  if (t > 0 && t < sizeof tempDir && GetTempFileNameA(tempDir, "scr", 0, tempFile) != 0) {
    if (MoveFileExA(enginePath.c_str(), tempFile, MOVEFILE_REPLACE_EXISTING)) {
      target = tempFile;
      moved = true;
    } else {
      DeleteFileA(tempFile);
    }
  }

  if (MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    *removal = moved ? EngineRemoval::kMovedAndScheduled : EngineRemoval::kScheduledInPlace;
    *pendingPath = target;
    return kOk;
  }
  const DWORD scheduleError = GetLastError();
  if (scheduleError == ERROR_CALL_NOT_IMPLEMENTED) {
    // The 9x family deletes at start-up what "wininit.ini" [rename] sends to
    // NUL; it wants the short form.
    const std::string shortTarget = ShortPath(target);
    if (!shortTarget.empty() &&
        WritePrivateProfileStringA("rename", "NUL", shortTarget.c_str(), "wininit.ini")) {
      *removal = moved ? EngineRemoval::kMovedAndScheduled : EngineRemoval::kScheduledInPlace;
      *pendingPath = target;
      return kOk;
    }
  }
  if (moved) {
    *removal = EngineRemoval::kMovedOnly;
    *pendingPath = target;
    return kOk;
  }
  *removal = EngineRemoval::kKept;
  return scheduleError != 0 ? static_cast<Result>(scheduleError) : deleteError;
}

Result UninstallSaver(const SaverLocation& location, UninstallReport* report) {
  Result rc = kOk;
  auto keep = [&rc](Result r) {
    if (rc == kOk && r != kOk) rc = r;
  };

  Result r = RemoveProfileLine(location, &report->profileLineRemoved);
  if (r != kOk) Note(&report->error, "system.ini could not be changed (error " + std::to_string(r) + ")");
  keep(r);

  r = RemoveUninstallEntries(location, &report->entriesRemoved);
  if (r != kOk) Note(&report->error, "the entry in the list of installed programs could not be removed");
  keep(r);

  report->installDirRemoved = true;
  if (DirectoryExists(location.installDir)) {
    r = RemoveDirectoryTree(location.installDir);
    if (r != kOk) {
      report->installDirRemoved = false;
      Note(&report->error, location.installDir + " could not be removed (error " +
                               std::to_string(r) + ")");
    }
    keep(r);
  }

  r = RemoveEngineFile(location.enginePath, &report->engine, &report->pendingPath);
  if (r != kOk) {
    Note(&report->error, location.enginePath + " could not be removed (error " + std::to_string(r) + ")");
  }
  keep(r);

  // Under WOW64 the installer also put the engine into the real System32,
  // where the 64-bit system finds it (and usually started this copy from).
  if (RunsUnderWow64()) {
    NativeSystemView native;
    EngineRemoval removal = EngineRemoval::kGone;
    std::string pending;
    r = native.active() ? RemoveEngineFile(location.enginePath, &removal, &pending) : kOk;
    if (r != kOk) {
      Note(&report->error, location.enginePath + " (64-bit system directory) could not be removed (error " +
                               std::to_string(r) + ")");
    }
    keep(r);
    // The report keeps the one that is left for later: the running copy.
    if (removal != EngineRemoval::kGone &&
        (report->engine == EngineRemoval::kGone || report->pendingPath.empty())) {
      report->engine = removal;
      report->pendingPath = pending;
    }
  }
  return rc;
}

}  // namespace ss::sample
