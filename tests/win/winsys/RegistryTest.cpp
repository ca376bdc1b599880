// Uninstall entry and Windows version under Wine: the entry under
// HKEY_LOCAL_MACHINE, the per-user fallback when the machine root refuses,
// removal, clean-up, another program's entry of the same title left alone,
// an earlier install's taken over and put back, and the version classes for
// each version Wine reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
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

// A value of the entry that must be a plain string (REG_SZ): false when it
// is missing or of another type.
bool ReadString(HKEY root, const std::string& path, const char* name, std::string& out) {
  bool found = false;
  DWORD type = REG_NONE;
  out = sstest::RegString(root, path, name, &found, &type);
  return found && type == REG_SZ;
}

// Every value of a key (name -> type and bytes) and its subkeys' names: an
// entry compared value for value.
std::map<std::string, std::string> KeyContents(HKEY root, const std::string& path) {
  std::map<std::string, std::string> out;
  HKEY k;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    char name[512];
    BYTE data[2048];
    DWORD nameLen = sizeof name, dataLen = sizeof data, type = 0;
    if (RegEnumValueA(k, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS) break;
    out[std::string(name, nameLen)] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), dataLen);
  }
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD nameLen = sizeof name;
    if (RegEnumKeyExA(k, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out["subkey " + std::string(name, nameLen)] = "";
  }
  RegCloseKey(k);
  return out;
}

// Removes the entry of `title` under both roots, before and after a test.
class EntryCleaner {
 public:
  explicit EntryCleaner(std::string title) : title_(std::move(title)) { Clean(); }
  ~EntryCleaner() { Clean(); }

 private:
  void Clean() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) sstest::RegDeleteTree(root, UninstallKeyPath(title_));
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
  // `command` is the key's UninstallString (none when empty).
  ReadOnlyMachineKey(std::string path, const std::string& command) : path_(std::move(path)) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr) != ERROR_SUCCESS) {
      return;
    }
    ok_ = command.empty() || RegSetValueExA(k, "UninstallString", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(command.c_str()),
                                            static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    ok_ = SetDacl(k, KEY_READ | WRITE_DAC | DELETE) && ok_;
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
  // An earlier install's entry that this user may not change.
  ReadOnlyMachineKey refuse(key, MakeUninstallCommand(SystemDir(), title));
  ASSERT_TRUE(refuse.ok());
  EXPECT_EQ(FindForeignUninstallEntry(title), kOk);
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
  WriteText(sys + "Aqua dir\\sub\\movie.swf", "m");
  WriteText(sys + "Aqua.scr", "engine");
  WriteText(sys + "Other.scr", "another saver");
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
  WriteText(scratch / "outside.scr", "x");
  CleanUpInstallation("..", "..\\outside.scr");
  EXPECT_TRUE(Exists(scratch / "outside.scr"));
}

// Another program's entry of the same title, under either root: the check
// before an install refuses it, no write changes it (and the machine root's
// refusal is no reason to write one for the user), and the clean-up after a
// failed install leaves it as it was, value for value, subkeys included.
TEST_F(UninstallEntry, AnotherProgramsEntryIsNeverChangedOrDeleted) {
  ScratchDir scratch;
  const std::string sys = scratch / "system\\";
  const std::string title = "SsTest Taken Sea";
  ForceDirectoryPath(sys);
  WriteText(EngineFilePath(sys, title), "engine");  // short forms exist only for files
  DirectorySet d = Dirs();
  d.systemDir = sys;
  SetDirs(d);
  const std::string key = UninstallKeyPath(title);
  struct Row {
    const char* what;
    HKEY root;
    const char* displayName;  // nullptr: no value
    std::string command;      // "": no value
  };
  const Row rows[] = {
      {"another program's uninstaller", HKEY_LOCAL_MACHINE, "Other Program", "\"C:\\Program Files\\Other\\uninst.exe\" /x"},
      {"the same, the user's", HKEY_CURRENT_USER, "Other Program", "MsiExec.exe /X{12345678-1234-1234-1234-123456789012}"},
      {"no UninstallString", HKEY_LOCAL_MACHINE, "Other Program", ""},
      {"a name that starts like the engine", HKEY_CURRENT_USER, nullptr, "\"" + EngineFilePath(sys, title) + ".exe\" /u"},
      {"an engine of that name elsewhere", HKEY_LOCAL_MACHINE, "Sea", "C:\\Elsewhere\\" + title + ".scr /u"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EntryCleaner clean(title);
    ASSERT_TRUE(sstest::RegPut(r.root, key, "Publisher", "Other Corp"));
    if (r.displayName != nullptr) {
      ASSERT_TRUE(sstest::RegPut(r.root, key, "DisplayName", r.displayName));
    }
    if (!r.command.empty()) {
      ASSERT_TRUE(sstest::RegPut(r.root, key, "UninstallString", r.command));
    }
    ASSERT_TRUE(sstest::RegPut(r.root, key + "\\Parts", "Size", "12"));
    const auto before = KeyContents(r.root, key);

    EXPECT_EQ(UninstallEntryOwner(title, r.root), EntryOwner::kOther);
    EXPECT_EQ(FindForeignUninstallEntry(title), kErrForeignUninstallEntry);
    EXPECT_EQ(WriteUninstallEntry(title, r.root), kErrForeignUninstallEntry);
    if (r.root == HKEY_LOCAL_MACHINE) {
      EXPECT_EQ(RegisterUninstallEntry(title), kErrForeignUninstallEntry);
      EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << "a second entry for the user";
    }
    EXPECT_EQ(KeyContents(r.root, key), before);
    CleanUpInstallation(title, title + ".scr");
    EXPECT_EQ(KeyContents(r.root, key), before);
    EXPECT_FALSE(Exists(EngineFilePath(sys, title))) << "the clean-up of the files still ran";
    WriteText(EngineFilePath(sys, title), "engine");
  }
}

// An entry an earlier install of the same screen saver left, in each form
// it may have: taken over (the values replaced), and after a failed install
// put back as it was while its engine stays, or removed with its engine.
// A key the failed install created goes whatever is left.
TEST_F(UninstallEntry, AnEarlierInstallsEntryIsTakenOverAndPutBack) {
  ScratchDir scratch;
  const std::string sys = scratch / "system\\";
  const std::string title = "SsTest Own Sea";
  const std::string engine = EngineFilePath(sys, title);
  ForceDirectoryPath(sys);
  WriteText(engine, "engine");
  char shortBuf[MAX_PATH + 1] = {};
  ASSERT_GT(GetShortPathNameA(engine.c_str(), shortBuf, sizeof shortBuf), 0u);
  const std::string shortEngine = shortBuf;
  ASSERT_NE(shortEngine, engine);
  DirectorySet d = Dirs();
  d.systemDir = sys;
  SetDirs(d);
  const std::string key = UninstallKeyPath(title);
  std::string upper = engine;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  const std::string commands[] = {MakeUninstallCommand(sys, title), "\"" + upper + "\" /u", engine + " /u",
                                  shortEngine + " /u"};
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const std::string& old : commands) {
      SCOPED_TRACE(old + (root == HKEY_LOCAL_MACHINE ? " (machine)" : " (user)"));
      EntryCleaner clean(title);
      ASSERT_TRUE(sstest::RegPut(root, key, "DisplayName", "Sea, an old version"));
      ASSERT_TRUE(sstest::RegPut(root, key, "UninstallString", old));
      ASSERT_TRUE(sstest::RegPut(root, key, "DisplayIcon", engine));
      const auto before = KeyContents(root, key);
      EXPECT_EQ(UninstallEntryOwner(title, root), EntryOwner::kThisEngine);
      EXPECT_EQ(FindForeignUninstallEntry(title), kOk);

      ASSERT_EQ(WriteUninstallEntry(title, root), kOk);
      std::string value;
      ASSERT_TRUE(ReadString(root, key, "UninstallString", value));
      EXPECT_EQ(value, MakeUninstallCommand(sys, title));
      ASSERT_TRUE(ReadString(root, key, "DisplayName", value));
      EXPECT_EQ(value, "SsTest Own Sea Screen Saver");
      UndoUninstallEntry(title);
      EXPECT_EQ(KeyContents(root, key), before) << "not put back while the engine stays";

      // The same with the engine removed by the clean-up: the entry names
      // nothing any more and goes.
      ASSERT_EQ(WriteUninstallEntry(title, root), kOk);
      CleanUpInstallation(title, title + ".scr");
      EXPECT_FALSE(KeyExists(root, key));
      WriteText(engine, "engine");
    }
    // Created by this run: removed although the engine is there.
    EntryCleaner clean(title);
    ASSERT_EQ(WriteUninstallEntry(title, root), kOk);
    ASSERT_TRUE(sstest::RegPut(root, key, "EstimatedSize", "1"));
    UndoUninstallEntry(title);
    EXPECT_FALSE(KeyExists(root, key));
    EXPECT_TRUE(Exists(engine));
  }
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
