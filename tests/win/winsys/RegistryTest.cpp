// Uninstall entry and Windows version under Wine: the entry under
// HKEY_LOCAL_MACHINE, the per-user fallback when the machine root refuses,
// removal, clean-up, and the version classes for each version Wine reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/WinSystem.h"
#include "tests/win/winsys/WinsysTestSupport.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_RegistryUtils.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {
namespace {

using namespace test;
using sstest::KeyExists;
using sstest::SystemDir;

bool ReadString(HKEY root, const std::string& path, const char* name, std::string& out) {
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  char buf[2048];
  DWORD size = sizeof buf, type = 0;
  const LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS || type != REG_SZ || size == 0) return false;
  out.assign(buf, size - 1);
  return true;
}

// Removes the entry of `title` under both roots, before and after a test.
class EntryCleaner {
 public:
  explicit EntryCleaner(std::string title) : title_(std::move(title)) { Clean(); }
  ~EntryCleaner() { Clean(); }

 private:
  void Clean() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      RegDeleteKeyA(root, UninstallKeyPath(title_).c_str());
    }
  }
  std::string title_;
};

class UninstallEntry : public testing::Test {
 protected:
  void SetUp() override {
    DirectorySet d = Dirs();
    d.systemDir = SystemDir();
    SetDirs(d);
  }
  DirsRestorer dirs_;
};

TEST_F(UninstallEntry, WrittenUnderTheMachineRootAndRemoved) {
  EntryCleaner clean("Aqua");
  const std::string key = UninstallKeyPath("Aqua");
  ASSERT_EQ(RegisterUninstallEntry("Aqua"), 0);

  std::string name, command;
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, "DisplayName", name));
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, "UninstallString", command));
  EXPECT_EQ(name, "Aqua Screen Saver");
  EXPECT_EQ(command, SystemDir() + "Aqua.scr /u");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));

  // A second write replaces the values in the existing key.
  DirectorySet d = Dirs();
  d.systemDir = "D:\\OTHER\\";
  SetDirs(d);
  ASSERT_EQ(RegisterUninstallEntry("Aqua"), 0);
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, "UninstallString", command));
  EXPECT_EQ(command, "D:\\OTHER\\Aqua.scr /u");

  EXPECT_EQ(UnregisterUninstallEntry("Aqua"), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key));
  EXPECT_EQ(UnregisterUninstallEntry("Aqua"), 0);  // nothing left: still fine
}

TEST_F(UninstallEntry, EnginePathWithSpacesIsQuoted) {
  EntryCleaner clean("Aqua Screensaver");
  ASSERT_EQ(RegisterUninstallEntry("Aqua Screensaver"), 0);
  std::string name, command;
  const std::string key = UninstallKeyPath("Aqua Screensaver");
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, "DisplayName", name));
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, "UninstallString", command));
  EXPECT_EQ(name, "Aqua Screensaver");
  EXPECT_EQ(command, "\"" + SystemDir() + "Aqua Screensaver.scr\" /u");
}

// Gives `path` under HKEY_LOCAL_MACHINE an access list that lets everyone
// read it (and change the list or delete it again), but not write: opening
// it with all access then fails with 5, as for a user without write access
// to the machine root. The list lives only in the running server, so the
// test sets it itself and removes the key afterwards.
class ReadOnlyMachineKey {
 public:
  explicit ReadOnlyMachineKey(std::string path) : path_(std::move(path)) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr) != ERROR_SUCCESS) {
      return;
    }
    ok_ = SetDacl(k, KEY_READ | WRITE_DAC | DELETE);
    RegCloseKey(k);
  }
  ~ReadOnlyMachineKey() {
    HKEY k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, WRITE_DAC, &k) == ERROR_SUCCESS) {
      SetDacl(k, KEY_ALL_ACCESS);
      RegCloseKey(k);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
  }
  bool ok() const { return ok_; }

 private:
  static bool SetDacl(HKEY k, DWORD everyoneMay) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return false;
    alignas(DWORD) char aclBuf[256];
    PACL acl = reinterpret_cast<PACL>(aclBuf);
    SECURITY_DESCRIPTOR sd;
    const bool built = InitializeAcl(acl, sizeof aclBuf, ACL_REVISION) &&
                       AddAccessAllowedAce(acl, ACL_REVISION, everyoneMay, everyone) &&
                       InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                       SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    const bool set = built && RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    FreeSid(everyone);
    return set;
  }
  std::string path_;
  bool ok_ = false;
};

TEST_F(UninstallEntry, UserRootWhenTheMachineRootRefuses) {
  const std::string title = "SsTest Refused";
  EntryCleaner clean(title);
  const std::string key = UninstallKeyPath(title);
  ReadOnlyMachineKey refuse(key);
  ASSERT_TRUE(refuse.ok());
  HKEY probe;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &probe), ERROR_ACCESS_DENIED);

  EXPECT_EQ(WriteUninstallEntry(title, HKEY_LOCAL_MACHINE), kErrUninstallWrite);
  ASSERT_EQ(RegisterUninstallEntry(title), 0);
  std::string name, command;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, key, "DisplayName", name));
  ASSERT_TRUE(ReadString(HKEY_CURRENT_USER, key, "DisplayName", name));
  ASSERT_TRUE(ReadString(HKEY_CURRENT_USER, key, "UninstallString", command));
  EXPECT_EQ(name, "SsTest Refused Screen Saver");
  EXPECT_EQ(command, "\"" + SystemDir() + "SsTest Refused.scr\" /u");

  // The machine key that cannot be removed is no success: the user's entry
  // is removed instead.
  EXPECT_EQ(DeleteUninstallEntry(title, HKEY_LOCAL_MACHINE), kErrUninstallDelete);
  EXPECT_EQ(UnregisterUninstallEntry(title), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key));
}

TEST_F(UninstallEntry, TitlesThatNameOtherKeysAreRefused) {
  EntryCleaner keep("SsTest Keep");
  ASSERT_EQ(WriteUninstallEntry("SsTest Keep", HKEY_CURRENT_USER), 0);
  const std::string list = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

  // An empty title would name the whole list; a backslash another key.
  EXPECT_EQ(UnregisterUninstallEntry(""), kErrBadTitle);
  EXPECT_EQ(UnregisterUninstallEntry("SsTest Keep\\"), kErrBadTitle);
  EXPECT_EQ(RegisterUninstallEntry("SsTest Keep\\Sub"), kErrBadTitle);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, UninstallKeyPath("SsTest Keep")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UninstallKeyPath("SsTest Keep\\Sub")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, list));
}

TEST_F(UninstallEntry, CleanUpRemovesWhatAnInstallLeft) {
  ScratchDir scratch;
  const std::string sys = scratch / "system\\";
  ForceDirectoryPath(sys + "Aqua dir\\sub\\");
  WriteFile(sys + "Aqua dir\\sub\\movie.swf", "m");
  WriteFile(sys + "Aqua.scr", "engine");
  WriteFile(sys + "Other.scr", "another saver");
  DirectorySet d = Dirs();
  d.systemDir = sys;
  SetDirs(d);
  EntryCleaner clean("Aqua");
  ASSERT_EQ(RegisterUninstallEntry("Aqua"), 0);

  CleanUpInstallation("Aqua", "Aqua.scr");
  EXPECT_FALSE(Exists(sys + "Aqua dir"));
  EXPECT_FALSE(Exists(sys + "Aqua.scr"));
  EXPECT_TRUE(Exists(sys + "Other.scr"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath("Aqua")));

  // Names that would leave the system directory are not used.
  WriteFile(scratch / "outside.scr", "x");
  CleanUpInstallation("..", "..\\outside.scr");
  EXPECT_TRUE(Exists(scratch / "outside.scr"));
}

// ---- Windows versions, through a helper program started under each ----

std::string RunCaptured(std::string cmd) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return "pipe failed";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string out;
  if (started) {
    char buf[512];
    DWORD got = 0;
    while (::ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    WaitForSingleObject(pi.hProcess, test::Slow(30000));
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  } else {
    out = "not started: " + test::LastErrorText();
  }
  CloseHandle(readEnd);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// Makes Wine report `version` to version_probe.exe (and only to it) while
// it lives.
class ProbeVersion {
 public:
  explicit ProbeVersion(const char* version) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) ==
        ERROR_SUCCESS) {
      RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                     static_cast<DWORD>(strlen(version) + 1));
      RegCloseKey(k);
    }
  }
  ~ProbeVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }

 private:
  static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\version_probe.exe";
};

TEST(WindowsVersion, FlagsForEachVersionWineReports) {
  struct Row {
    const char* wine;
    const char* flags;  // 95, 98, ME, NT, 2000, XP
  };
  const Row rows[] = {
      {"win95", "100000"}, {"win98", "010000"}, {"winme", "001000"}, {"nt40", "000100"},
      {"win2k", "000010"}, {"winxp", "000001"}, {"vista", "000000"}, {"win7", "000000"},
  };
  const std::string probe = "\"" + test::ProgramDir() + "version_probe.exe\"";
  for (const Row& r : rows) {
    ProbeVersion as(r.wine);
    const std::string out = RunCaptured(probe);
    EXPECT_EQ(out.substr(0, 6), r.flags) << r.wine << " reported " << out;
  }
}

// On the 9x family the whole command text, " /u" included, goes through the
// short-path conversion, which needs a file of exactly that name: there is
// none, so the long form stays. The engine itself lies there (it always
// does after an install), so a conversion of the engine path alone would
// show as a short command.
TEST(WindowsVersion, NinetyEightKeepsTheLongUninstallCommand) {
  ScratchDir scratch;
  const std::string title = "SsProbe Aqua";
  EntryCleaner clean(title);
  const std::string engine = scratch.path() + title + ".scr";
  ASSERT_TRUE(sstest::WriteAll(engine, {}));
  char shortEngine[MAX_PATH + 1] = {};
  ASSERT_GT(GetShortPathNameA(engine.c_str(), shortEngine, sizeof shortEngine), 0u);
  ASSERT_NE(std::string(shortEngine), engine) << "the engine has no short name of its own here";
  ProbeVersion as("win98");
  const std::string out =
      RunCaptured("\"" + test::ProgramDir() + "version_probe.exe\" register \"" + title + "\" \"" +
                  scratch.path().substr(0, scratch.path().size() - 1) + "\"");
  ASSERT_EQ(out, "0");
  std::string command;
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, UninstallKeyPath(title), "UninstallString", command));
  EXPECT_EQ(command, "\"" + scratch.path() + "SsProbe Aqua.scr\" /u");
}

}  // namespace
}  // namespace ss
