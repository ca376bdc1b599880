// The Windows kind and the Flash 8 check under each Windows version Wine can
// report, through a small program started with its own version setting.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "flash/FlashVersionPolicy.h"
#include "tests/support/WinTestUtil.h"

namespace {

const char kProbe[] = "os_kind_probe.exe";
const std::string kAppKey = std::string("Software\\Wine\\AppDefaults\\") + kProbe;

// Runs the probe with Wine reporting `version`; its exit code, or -1.
int RunProbeAs(const char* version) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kAppKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return -1;
  RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                 static_cast<DWORD>(strlen(version) + 1));
  RegCloseKey(key);

  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self);
  path = path.substr(0, path.find_last_of('\\') + 1) + kProbe;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + path + "\"";
  int result = -1;
  if (CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    if (WaitForSingleObject(pi.hProcess, sstest::Slow(30000)) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(pi.hProcess, &code);
      result = static_cast<int>(code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, kAppKey.c_str());
  return result;
}

}  // namespace

TEST(OsKind, EachReportedVersionAndTheFlash8Check) {
  struct Row {
    const char* version;
    int kind;
    bool flash8Refused;
  } rows[] = {
      {"win95", ss::kOsWin95, false},  {"win98", ss::kOsWin98SE, false}, {"winme", ss::kOsWinMe, false},
      {"nt40", ss::kOsWinNt, true},    {"win2k", ss::kOsWin2000, false}, {"winxp", ss::kOsWinXp, false},
      {"win7", ss::kOsUnknown, false},
  };
  for (const Row& row : rows) {
    const int code = RunProbeAs(row.version);
    ASSERT_GE(code, 0) << row.version;
    EXPECT_EQ((code & 15) - 1, row.kind) << row.version;
    EXPECT_EQ((code & 16) != 0, row.flash8Refused) << row.version;
    EXPECT_EQ(code & 32, 0) << row.version << ": a Flash 7 setup runs everywhere";
  }
}
