// The real installer against hostile and damaged packages, under Wine. Each
// case is written as an installer program (the real stub, the real
// impborl.dll, a package the builder made and the case generator damaged)
// and run quietly ("/q") as its own process with a bounded wait. Then:
//   - the exit code must be the case's own (zero, for the cases that are
//     still valid, with the install complete);
//   - sspack verify (the library function, run here on the same bytes) must
//     refuse the case exactly when the installer refused it;
//   - no box may appear in the quiet run;
//   - nothing may change in the drive root, the Windows and system
//     directories (beyond the expected install), TEMP (the work directory is
//     removed again), the installer's folder or the sentinel folder that
//     hostile names aim at;
//   - a failed run leaves no install directory, engine or uninstall entry.
// A summary table of the outcomes is printed and written beside the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "flash/FlashIds.h"
#include "package/SegmentTargets.h"
#include "tests/e2e/hostile/HostileCases.h"
#include "tests/fuzz/package/ReadingRun.h"
#include "tests/support/WinSystem.h"
#include "tests/support/WinTestUtil.h"
#include "tools/check/Verify.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/LMT_StringUtils.h"
#include "winsys/Wow64Redirection.h"

namespace hostile {
namespace {

using sstest::KeyExists;
using sstest::ReadAll;
using sstest::ScreenSaverSetting;
using sstest::SystemDir;
using sstest::TempDir;
using sstest::WindowsDir;
using sstest::WriteAll;

// Each case's limit on the CPU itself; stretched by sstest::Slow.
constexpr DWORD kRunTimeoutMs = 30000;
constexpr char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kRunDir[] = "C:\\hostile-run\\";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// What one folder holds: names (lower case) with size and write time for
// files, and a mark for folders. With `deep`, sub-folders are listed too.
using Listing = std::map<std::string, std::string>;

void ListFolder(const std::string& dir, const std::string& prefix, bool deep, Listing* out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    const std::string key = prefix + Lower(name);
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*out)[key] = "<dir>";
      if (deep) ListFolder(dir + name + "\\", key + "\\", deep, out);
    } else {
      (*out)[key] = std::to_string(fd.nFileSizeLow) + "@" + std::to_string(fd.ftLastWriteTime.dwLowDateTime) + ":" +
                    std::to_string(fd.ftLastWriteTime.dwHighDateTime);
    }
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

std::vector<std::string> SubKeys(HKEY root, const char* path, REGSAM view = 0) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return names;
  char name[512];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end());
  return names;
}

// The real System32 as a WOW64 program names it; "" on 32-bit Windows,
// where the system directory is the only one.
std::string NativeSystemDir() { return ss::RunsUnderWow64() ? WindowsDir() + "Sysnative\\" : std::string(); }

constexpr REGSAM kView64 = 0x0100;  // KEY_WOW64_64KEY

// Everything a run could change that the checks look at. Under WOW64 (the
// 64-bit prefix of run-wow64.sh) also the real System32 and the 64-bit
// registry view; the system directory and the plain keys are then SysWOW64
// and the 32-bit view.
struct Snapshot {
  std::map<std::string, Listing> folders;
  std::vector<std::string> uninstallMachine;
  std::vector<std::string> uninstallMachine64;
  std::vector<std::string> uninstallUser;
  std::string screenSaver;

  static Snapshot Take() {
    Snapshot s;
    std::vector<std::pair<std::string, bool>> watched = {
        {"C:\\", false},       {WindowsDir(), false}, {SystemDir(), false},
        {TempDir(), false},    {kRunDir, true},       {kSentinelDir, true},
    };
    if (!NativeSystemDir().empty()) watched.push_back({NativeSystemDir(), false});
    for (const auto& [dir, deep] : watched) ListFolder(dir, "", deep, &s.folders[dir]);
    s.uninstallMachine = SubKeys(HKEY_LOCAL_MACHINE, kUninstallRoot);
    if (ss::RunsUnderWow64()) s.uninstallMachine64 = SubKeys(HKEY_LOCAL_MACHINE, kUninstallRoot, kView64);
    s.uninstallUser = SubKeys(HKEY_CURRENT_USER, kUninstallRoot);
    s.screenSaver = ScreenSaverSetting("<none>");
    return s;
  }
};

// The differences between two listings of a folder, one line each.
std::vector<std::string> Differences(const std::string& dir, const Listing& before, const Listing& after,
                                     const std::set<std::string>& ignored) {
  std::vector<std::string> out;
  for (const auto& [name, what] : after) {
    if (ignored.count(name)) continue;
    auto it = before.find(name);
    if (it == before.end()) {
      std::string line = "new " + dir + name;
      if (what == "<dir>") {
        // Name what the folder holds: it tells which file kept it alive.
        Listing inside;
        ListFolder(dir + name + "\\", "", true, &inside);
        line += " holding";
        for (const auto& entry : inside) line += " \"" + entry.first + "\"";
      }
      out.push_back(line);
    } else if (it->second != what && what != "<dir>") {
      out.push_back("changed " + dir + name);
    }
  }
  for (const auto& [name, what] : before) {
    if (!ignored.count(name) && !after.count(name)) out.push_back("removed " + dir + name);
  }
  return out;
}

// Runs the installer quietly. Returns its exit code; *timedOut or *boxShown
// when the run had to be ended (it is killed then).
DWORD RunQuiet(const std::string& exe, bool* timedOut, bool* boxShown) {
  *timedOut = false;
  *boxShown = false;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + exe + "\" /q";
  // A start that Wine now and then fails before the program runs ("failed
  // to map the shared user data", seen with 64-bit Wine) is tried again.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, kRunDir, &si, &pi);
  }
  if (!started) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return 0xFFFFFFFF;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
    // A quiet run must never wait on a box: look for dialog windows of the
    // installer's process.
    struct Finder {
      DWORD pid;
      bool found = false;
      static BOOL CALLBACK Visit(HWND w, LPARAM p) {
        auto* f = reinterpret_cast<Finder*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == f->pid && IsWindowVisible(w) && sstest::ClassOf(w) == "#32770") f->found = true;
        return TRUE;
      }
    } finder{pi.dwProcessId};
    EnumWindows(Finder::Visit, reinterpret_cast<LPARAM>(&finder));
    if (finder.found) *boxShown = true;
    if (finder.found || GetTickCount() - start > sstest::Slow(kRunTimeoutMs)) {
      if (!finder.found) *timedOut = true;
      TerminateProcess(pi.hProcess, 0xDEAD);
      WaitForSingleObject(pi.hProcess, 5000);
      break;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

// The stand-in Flash control as the installed player: copied into the
// system directory and registered under the Flash class, and removed again
// (with an earlier registration restored) at the end.
class FlashPlayerInstalled {
 public:
  FlashPlayerInstalled() {
    char old[MAX_PATH] = {};
    LONG len = sizeof old;
    hadKey_ = RegQueryValueA(HKEY_CLASSES_ROOT, ss::kFlashInprocKey, old, &len) == ERROR_SUCCESS;
    oldValue_ = old;
    path_ = SystemDir() + "flash.ocx";
    ok_ = CopyFileA(sstest::WinePath(SS_FLASHCTL_PATH).c_str(), path_.c_str(), FALSE) != 0;
    HKEY key = nullptr;
    if (ok_ && RegCreateKeyExA(HKEY_CLASSES_ROOT, ss::kFlashInprocKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                               nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path_.c_str()),
                     static_cast<DWORD>(path_.size() + 1));
      RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>("Apartment"), 10);
      RegCloseKey(key);
    } else {
      ok_ = false;
    }
  }
  ~FlashPlayerInstalled() {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ss::kFlashInprocKey);
    if (hadKey_) {
      RegSetValueA(HKEY_CLASSES_ROOT, ss::kFlashInprocKey, REG_SZ, oldValue_.c_str(),
                   static_cast<DWORD>(oldValue_.size()));
    } else {
      RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + ss::kFlashClsidText).c_str());
    }
    ss::DeleteFileForced(path_);
  }
  bool ok() const { return ok_; }

 private:
  bool hadKey_ = false;
  std::string oldValue_;
  std::string path_;
  bool ok_ = false;
};

struct Outcome {
  const HostileCase* c = nullptr;
  DWORD code = 0;
  ss::Result rules = 0;         // the code of a quiet run under the reading rules (ReadingRun)
  bool verifyRefuses = false;   // sspack verify finds a fault
  bool timedOut = false;
  bool boxShown = false;
  std::vector<std::string> problems;
};

std::string CodeText(const Outcome& o) {
  if (o.timedOut) return "timeout";
  if (o.boxShown) return "box shown";
  return std::to_string(static_cast<int32_t>(o.code));
}

class HostileInstall : public ::testing::Test {
 protected:
  // The cases are made once; the stand-in player stays registered for the
  // whole suite, and the summary is printed at its end.
  static void SetUpTestSuite() {
    // Hundreds of runs would fill the log with the installer's debug lines;
    // the summary says what happened. HOSTILE_DEBUG=1 keeps them.
    if (GetEnvironmentVariableA("HOSTILE_DEBUG", nullptr, 0) == 0) SetEnvironmentVariableA("WINEDEBUG", "-all");
    stub_ = ReadAll(sstest::WinePath(SS_STUB_PATH));
    library_ = ReadAll(sstest::WinePath(SS_IMPBORL_PATH));
    if (stub_.size() > 4096 && library_.size() > 1024 && !MakeHostileCases(stub_, library_, &cases_, &error_)) {
      cases_.clear();
    }
    player_ = new FlashPlayerInstalled();
  }
  static void TearDownTestSuite() {
    delete player_;
    player_ = nullptr;
    PrintSummary();
  }

  void SetUp() override {
    // In the 64-bit prefix the checks of the real System32 and the 64-bit
    // registry view must not pass by looking at nothing.
    if (GetEnvironmentVariableA("SS_WOW64_PREFIX", nullptr, 0) != 0) {
      ASSERT_TRUE(ss::RunsUnderWow64()) << "SS_WOW64_PREFIX set, but not under WOW64";
      ASSERT_TRUE(ss::FileExists(NativeSystemDir() + "kernel32.dll")) << "no Sysnative alias";
    }
    ASSERT_GT(stub_.size(), 4096u);
    ASSERT_GT(library_.size(), 1024u);
    ASSERT_FALSE(cases_.empty()) << error_;
    ASSERT_TRUE(player_->ok()) << "the stand-in Flash control could not be installed";
    CreateDirectoryA(kRunDir, nullptr);
    CreateDirectoryA(kSentinelDir, nullptr);
    ASSERT_TRUE(WriteAll(std::string(kSentinelDir) + "keep.txt", {'k', 'e', 'e', 'p'}));
  }
  void TearDown() override {
    ss::RemoveDirectoryTree(kRunDir);
    ss::RemoveDirectoryTree(kSentinelDir);
  }

  // Removes what a successful install wrote, so that the next case starts
  // from the same machine.
  static void UndoInstall(const std::string& title, const std::string& screenSaverBefore) {
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE",
                               screenSaverBefore == "<none>" ? nullptr : screenSaverBefore.c_str(), "system.ini");
    // Paths are never built from a hostile title: the installer refuses
    // those before it writes anything.
    if (!ss::IsPlainTitle(title)) return;
    const std::string sys = SystemDir();
    ss::RemoveDirectoryTree(sys + title + " dir\\");
    ss::DeleteFileForced(sys + title + ".scr");
    ss::DeleteNativeFile(sys + title + ".scr");  // its copy in the real System32 under WOW64
    ss::DeleteUninstallEntry(title, HKEY_LOCAL_MACHINE);
    ss::DeleteUninstallEntry(title, HKEY_CURRENT_USER);
  }

  // Runs one case and checks everything the case promises.
  static Outcome RunCase(const HostileCase& c) {
    Outcome o;
    o.c = &c;
    const std::string exe = std::string(kRunDir) + "Setup.exe";
    if (!WriteAll(exe, c.image)) {
      o.problems.push_back("installer not written");
      return o;
    }
    const Snapshot before = Snapshot::Take();
    o.code = RunQuiet(exe, &o.timedOut, &o.boxShown);
    if (o.timedOut) o.problems.push_back("did not end within the time limit");
    if (o.boxShown) o.problems.push_back("showed a box in the quiet run");

    const std::string sys = SystemDir();
    const std::string installDir = sys + c.title + " dir\\";
    const std::string engine = sys + c.title + ".scr";
    const bool installed = !o.timedOut && !o.boxShown && o.code == 0;
    if (!o.timedOut && !o.boxShown && static_cast<ss::Result>(o.code) != c.code) {
      o.problems.push_back("exit code " + CodeText(o) + " instead of " + std::to_string(c.code));
    }
    if (installed) {
      // A success must be a whole install.
      if (!ss::DirectoryExists(installDir)) o.problems.push_back("success without the install directory");
      if (!ss::FileExists(installDir + "saver.dat")) o.problems.push_back("success without saver.dat");
      if (!ss::FileExists(engine)) o.problems.push_back("success without the engine");
      if (!KeyExists(HKEY_LOCAL_MACHINE, ss::UninstallKeyPath(c.title)) &&
          !KeyExists(HKEY_CURRENT_USER, ss::UninstallKeyPath(c.title))) {
        o.problems.push_back("success without the uninstall entry");
      }
      UndoInstall(c.title, before.screenSaver);
    } else {
      // A failure leaves nothing behind; what it left is removed for the
      // next case after being counted.
      for (const std::string& title : {c.title, std::string(kBaseTitle)}) {
        // A title that is no plain name (a device, a path) is refused before
        // anything is written; the folder listings watch for its files.
        if (!ss::IsPlainTitle(title)) continue;
        const std::string dir = sys + title + " dir\\";
        if (ss::DirectoryExists(dir)) o.problems.push_back("install directory left: " + dir);
        if (ss::FileExists(sys + title + ".scr")) o.problems.push_back("engine left: " + title + ".scr");
        if (ss::NativeFileExists(sys + title + ".scr")) {
          o.problems.push_back("engine left in the real System32: " + title + ".scr");
        }
      }
      if (ScreenSaverSetting("<none>") != before.screenSaver) {
        o.problems.push_back("system.ini changed to " + ScreenSaverSetting("<none>"));
      }
    }
    const Snapshot after = Snapshot::Take();
    if (after.uninstallMachine != before.uninstallMachine || after.uninstallUser != before.uninstallUser ||
        after.uninstallMachine64 != before.uninstallMachine64) {
      o.problems.push_back("uninstall entries changed");
    }
    for (const auto& [dir, listing] : after.folders) {
      // A successful case was undone above; only system.ini's time may differ.
      std::set<std::string> ignored;
      if (installed && dir == WindowsDir()) ignored.insert("system.ini");
      for (const std::string& d : Differences(dir, before.folders.at(dir), listing, ignored)) {
        o.problems.push_back(d);
      }
    }
    // Clean up whatever the case left, so that it cannot spoil the next one.
    if (!installed) UndoInstall(c.title, before.screenSaver);
    for (const auto& [name, what] : after.folders.at(TempDir())) {
      if (!before.folders.at(TempDir()).count(name) && what == "<dir>") ss::RemoveDirectoryTree(TempDir() + name + "\\");
    }
    ss::DeleteFileForced(exe);
    return o;
  }

  // Runs every case of `group` (narrowed by HOSTILE_FILTER=text|text...,
  // which keeps the cases whose "group name" holds one of the texts).
  static void RunGroup(const std::string& group) {
    char filter[1024] = {};
    GetEnvironmentVariableA("HOSTILE_FILTER", filter, sizeof filter);
    std::vector<std::string> texts;
    for (size_t pos = 0; filter[0] != 0;) {
      const std::string all = filter;
      const size_t bar = all.find('|', pos);
      const std::string text = all.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos);
      if (!text.empty()) texts.push_back(text);
      if (bar == std::string::npos) break;
      pos = bar + 1;
    }
    const DWORD start = GetTickCount();
    const size_t ranBefore = outcomes_.size();
    for (const HostileCase& c : cases_) {
      if (c.group != group) continue;
      const std::string label = c.group + " " + c.name;
      if (!texts.empty() && std::none_of(texts.begin(), texts.end(), [&](const std::string& text) {
            return label.find(text) != std::string::npos;
          })) {
        continue;
      }
      Outcome o = RunCase(c);
      reading::Run r;
      o.rules = reading::QuietRun(c.image, stub_.size(), &r);
      for (const ss::pack::Finding& f : ss::pack::VerifyInstaller(c.image)) o.verifyRefuses |= f.fault;
      // The verdicts must agree, except where the installed player decides,
      // which no reading of the package can judge.
      if (!c.restsOnPlayer && o.verifyRefuses != (o.code != 0)) {
        o.problems.push_back(o.verifyRefuses ? "sspack verify refuses what the installer installed"
                                             : "sspack verify accepts what the installer refused");
      }
      for (const std::string& p : o.problems) {
        ADD_FAILURE() << "[" << c.group << "] " << c.name << " (expected " << c.code << ": " << c.why
                      << "): " << p;
      }
      outcomes_.push_back(std::move(o));
    }
    elapsedMs_ += GetTickCount() - start;
    if (filter[0] == 0) {
      EXPECT_GT(outcomes_.size(), ranBefore) << "no case in group " << group;
    }
  }

  // The summary: cases by group, outcomes by exit code, then every case.
  static void PrintSummary() {
    std::map<std::string, int> byCode;
    std::map<std::string, std::map<std::string, int>> byGroup;
    int broken = 0;
    int judged = 0;
    int agree = 0;
    int onPlayer = 0;
    for (const Outcome& o : outcomes_) {
      ++byCode[CodeText(o)];
      ++byGroup[o.c->group][CodeText(o)];
      if (!o.problems.empty()) ++broken;
      if (o.c->restsOnPlayer) {
        ++onPlayer;
        continue;
      }
      ++judged;
      if (o.verifyRefuses == (o.code != 0)) ++agree;
    }
    std::string table = "hostile packages: " + std::to_string(outcomes_.size()) + " cases in " +
                        std::to_string(elapsedMs_ / 1000) + " s, " + std::to_string(broken) +
                        " with a broken promise\n";
    table += "verify and installer: " + std::to_string(agree) + " of " + std::to_string(judged) + " agree";
    if (onPlayer > 0) {
      table += " (" + std::to_string(onPlayer) + " more rests on the installed Flash player, which verify cannot judge)";
    }
    table += "\n\n";
    table += "group      cases  outcomes (exit code x count)\n";
    for (const auto& [group, codes] : byGroup) {
      int n = 0;
      std::string line;
      for (const auto& [code, count] : codes) {
        n += count;
        line += " " + code + " x" + std::to_string(count);
      }
      char head[64];
      std::snprintf(head, sizeof head, "%-10s %5d ", group.c_str(), n);
      table += head + line + "\n";
    }
    table += "\nexit code  count\n";
    for (const auto& [code, count] : byCode) {
      char row[64];
      std::snprintf(row, sizeof row, "%-10s %5d\n", code.c_str(), count);
      table += row;
    }
    // Per case: the expected code, the installer's exit code, the code of a
    // quiet run under the reading rules and sspack verify's verdict; a broken
    // promise (another exit code, a verdict that differs) is marked "!".
    table += "\ngroup      case                                               expect   exit     rules    verify\n";
    for (const Outcome& o : outcomes_) {
      char row[512];
      std::snprintf(row, sizeof row, "%-10s %-50.50s %-8d %-8s %-8d %-7s%s\n", o.c->group.c_str(),
                    o.c->name.c_str(), o.c->code, CodeText(o).c_str(), o.rules,
                    o.verifyRefuses ? "refuse" : "accept", o.problems.empty() ? "" : " !");
      table += row;
    }
    std::printf("%s", table.c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    // The run in the 64-bit prefix (a part of the cases) keeps its own.
    const char* name = ss::RunsUnderWow64() ? "hostile-summary-wow64.txt" : "hostile-summary.txt";
    WriteAll(ss::DirectoryPart(self) + name, std::vector<uint8_t>(table.begin(), table.end()));
  }

  static std::vector<uint8_t> stub_;
  static std::vector<uint8_t> library_;
  static std::vector<HostileCase> cases_;
  static std::string error_;
  static FlashPlayerInstalled* player_;
  static std::vector<Outcome> outcomes_;
  static DWORD elapsedMs_;
};

std::vector<uint8_t> HostileInstall::stub_;
std::vector<uint8_t> HostileInstall::library_;
std::vector<HostileCase> HostileInstall::cases_;
std::string HostileInstall::error_;
FlashPlayerInstalled* HostileInstall::player_ = nullptr;
std::vector<Outcome> HostileInstall::outcomes_;
DWORD HostileInstall::elapsedMs_ = 0;

// The harness itself: a file that appears in any watched folder, and a new
// uninstall entry, are seen (otherwise the checks below could not fail).
TEST_F(HostileInstall, SnapshotsSeeEveryWatchedChange) {
  const Snapshot before = Snapshot::Take();
  std::vector<std::string> planted;
  for (const auto& [dir, listing] : before.folders) {
    const std::string path = dir + "hostile-probe.tmp";
    ASSERT_TRUE(WriteAll(path, {1, 2, 3})) << path;
    planted.push_back(path);
  }
  ASSERT_EQ(ss::WriteUninstallEntry("Hostile Probe", HKEY_CURRENT_USER), ss::kOk);
  const Snapshot after = Snapshot::Take();
  for (const std::string& path : planted) ss::DeleteFileForced(path);
  ss::DeleteUninstallEntry("Hostile Probe", HKEY_CURRENT_USER);

  for (const auto& [dir, listing] : after.folders) {
    const std::vector<std::string> seen = Differences(dir, before.folders.at(dir), listing, {});
    EXPECT_EQ(seen, std::vector<std::string>{"new " + dir + "hostile-probe.tmp"});
  }
  EXPECT_NE(after.uninstallUser, before.uninstallUser);
}

// Packages the builder made: each installs completely, and the harness
// sees the install (so that the checks of the other groups can fail).
TEST_F(HostileInstall, BuilderMadePackagesInstallWhole) { RunGroup("valid"); }

TEST_F(HostileInstall, TruncatedPackagesFailCleanly) { RunGroup("truncate"); }

TEST_F(HostileInstall, HeaderFieldsAtTheirBoundaries) { RunGroup("header"); }

TEST_F(HostileInstall, SegmentTableAtItsBoundariesAndHostileNames) { RunGroup("segment"); }

TEST_F(HostileInstall, DataFileTablesRecordsStreamsAndNames) { RunGroup("datafile"); }

}  // namespace
}  // namespace hostile
