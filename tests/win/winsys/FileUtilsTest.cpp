// File and path services under Wine: the directory set and work directory,
// forced and retried deletion, directory trees, the screen saver pair, the
// overwrite question, versions, copies and directory paths.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/Strings.h"
#include "tests/support/WinSystem.h"
#include "tests/win/winsys/WinsysTestSupport.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {
namespace {

using namespace test;

// Holds a file open without sharing in a second process (holdopen.exe, built
// beside the tests) until destroyed.
class HeldByOtherProcess {
 public:
  explicit HeldByOtherProcess(const std::string& path) {
    const std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter_);
    const std::string readyName = "ss-hold-ready-" + tag, releaseName = "ss-hold-release-" + tag;
    ready_ = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    std::string cmd = "\"" + test::ProgramDir() + "holdopen.exe\" \"" + path + "\" " + readyName + " " +
                      releaseName;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) {
      HANDLE waits[] = {ready_, pi_.hProcess};
      held_ = WaitForMultipleObjects(2, waits, FALSE, test::Slow(20000)) == WAIT_OBJECT_0;
    }
  }
  ~HeldByOtherProcess() {
    SetEvent(release_);
    if (pi_.hProcess) {
      WaitForSingleObject(pi_.hProcess, test::Slow(20000));
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
    CloseHandle(ready_);
    CloseHandle(release_);
  }
  bool held() const { return held_; }

 private:
  static inline int counter_ = 0;
  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
  PROCESS_INFORMATION pi_{};
  bool held_ = false;
};

// ---- directory set and work directory ----

TEST(WorkDirectory, SkipsTakenNumbersAndFillsTheDirectorySet) {
  EnvRestorer temp("TEMP"), windir("WINDIR");
  DirsRestorer dirs;
  ScratchDir scratch;
  ASSERT_TRUE(CreateDirectoryA((scratch / "LMF1").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((scratch / "LMF2").c_str(), nullptr));
  // Without the trailing backslash, to see that one is added.
  SetEnvironmentVariableA("TEMP", scratch.path().substr(0, scratch.path().size() - 1).c_str());
  SetEnvironmentVariableA("WINDIR", "C:\\windows");

  ASSERT_EQ(InitPaths("C:\\Program Files\\Setup\\aqua.exe"), 0);
  EXPECT_EQ(Dirs().workDir, scratch / "LMF3\\");
  EXPECT_TRUE(DirectoryExists(Dirs().workDir));
  EXPECT_EQ(Dirs().windowsDir, "C:\\windows\\");
  EXPECT_EQ(Dirs().installerDir, "C:\\Program Files\\Setup\\");
  EXPECT_EQ(Dirs().systemDir, sstest::SystemDir());

  // The next one skips LMF3 too; another prefix starts again at 1.
  std::string dir;
  ASSERT_EQ(MakeWorkDirectory("LMF", dir), 0);
  EXPECT_EQ(dir, scratch / "LMF4\\");
  ASSERT_EQ(MakeWorkDirectory("FlashPanel", dir), 0);
  EXPECT_EQ(dir, scratch / "FlashPanel1\\");
  // Each holds its marker, which its removal gives up.
  for (const std::string& made : {Dirs().workDir, scratch / "LMF4\\", dir}) {
    EXPECT_TRUE(Exists(made + kWorkDirectoryMarker)) << made;
    EXPECT_EQ(RemoveWorkDirectory(made), kOk) << made;
    EXPECT_FALSE(Exists(made)) << made;
  }
}

// Work directories earlier runs left (killed runs never reach their own
// clean-up) go before a new one is made; everything that is not plainly
// such a folder stays as it is.
TEST(WorkDirectory, FoldersLeftByEarlierRunsAreRemovedOnlyWhenOursAndUnused) {
  EnvRestorer temp("TEMP");
  ScratchDir scratch;
  SetEnvironmentVariableA("TEMP", scratch.path().c_str());
  struct Case {
    const char* name;
    std::vector<const char*> files;  // "sub\\" is a folder
    bool removed;
  };
  const Case cases[] = {
      {"LMF1", {"temp.dat", "impborl.dll", "flashax7.exe", "sysfiles\\", "sysfiles\\1.new", "sysfiles\\2.old"}, true},
      {"LMF2", {}, true},                                         // killed right after its marker
      {"LMF3", {"temp.dat"}, false},                              // no marker: not ours
      {"LMF4", {"temp.dat", "letters\\", "letters\\a.txt"}, false},  // a folder runs do not make
      {"LMF5", {"sysfiles\\", "sysfiles\\deeper\\"}, false},     // nor folders in sysfiles
      {"LMF6", {"temp.dat"}, false},                              // marker held by a running installer
      {"LMF7", {"temp.dat", "flashax7.exe"}, false},              // a program still runs from it
      {"LMF12", {"temp.dat"}, true},                              // any number up to 1000
      {"LMF1000", {"temp.dat"}, true},
      {"LMF1001", {"temp.dat"}, false},                           // beyond the names runs use
      {"LMF01", {"temp.dat"}, false},
      {"Other2", {"temp.dat"}, false},                            // another prefix
  };
  for (const Case& c : cases) {
    const std::string dir = scratch / c.name + "\\";
    ASSERT_TRUE(CreateDirectoryA((scratch / c.name).c_str(), nullptr));
    if (std::string(c.name) != "LMF3") WriteText(dir + kWorkDirectoryMarker, "");
    for (const std::string file : c.files) {
      if (file.back() == '\\') {
        ASSERT_TRUE(CreateDirectoryA((dir + file).c_str(), nullptr)) << file;
      } else {
        WriteText(dir + file, file);
      }
    }
  }
  SetFileAttributesA((scratch / "LMF1\\temp.dat").c_str(), FILE_ATTRIBUTE_READONLY);
  // A name taken by a file is no candidate.
  WriteText(scratch / "LMF8", "file");
  HeldByOtherProcess marker(scratch / "LMF6\\" + kWorkDirectoryMarker);
  HeldByOtherProcess program(scratch / "LMF7\\flashax7.exe");
  ASSERT_TRUE(marker.held() && program.held()) << "holdopen.exe did not start";

  std::string dir;
  ASSERT_EQ(MakeWorkDirectory("LMF", dir), 0);
  EXPECT_EQ(dir, scratch / "LMF1\\");
  for (const Case& c : cases) {
    const std::string left = scratch / c.name + "\\";
    if (c.removed && left == dir) {
      EXPECT_FALSE(Exists(left + "temp.dat")) << "the fresh directory holds what was left";
      continue;
    }
    EXPECT_EQ(Exists(left), !c.removed) << c.name;
    if (c.removed) continue;
    for (const std::string file : c.files) EXPECT_TRUE(Exists(left + file)) << c.name << " " << file;
    if (std::string(c.name) != "LMF3") {
      EXPECT_TRUE(Exists(left + kWorkDirectoryMarker)) << c.name;
    }
  }
  EXPECT_TRUE(Exists(scratch / "LMF8"));
  // The fresh directory's marker is held: the next run keeps the folder.
  std::string second;
  ASSERT_EQ(MakeWorkDirectory("LMF", second), 0);
  EXPECT_EQ(second, scratch / "LMF2\\");
  EXPECT_TRUE(Exists(dir + kWorkDirectoryMarker));
  EXPECT_EQ(RemoveWorkDirectory(second), kOk);
  EXPECT_EQ(RemoveWorkDirectory(dir), kOk);
  EXPECT_FALSE(Exists(dir));
}

TEST(WorkDirectory, UnsetOrEmptyVariablesFallBackToTheSystem) {
  EnvRestorer temp("TEMP"), windir("WINDIR");
  char tempPath[MAX_PATH + 1];
  ASSERT_GT(GetTempPathA(sizeof tempPath, tempPath), 0u);
  char winPath[MAX_PATH + 1];
  ASSERT_GT(GetWindowsDirectoryA(winPath, sizeof winPath), 0u);

  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(value ? "empty" : "unset");
    SetEnvironmentVariableA("TEMP", value);
    SetEnvironmentVariableA("WINDIR", value);
    std::string dir;
    ASSERT_EQ(MakeWorkDirectory("ssWinsysTest", dir), 0);
    EXPECT_EQ(dir.rfind(WithTrailingBackslash(tempPath), 0), 0u) << dir;
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_EQ(RemoveWorkDirectory(dir), kOk);
    EXPECT_EQ(GetWindowsDirectoryPath(), WithTrailingBackslash(winPath));
  }
}

// Gives everyone full access to `dir` and to what is made in it, as a TEMP
// open to all users may; false when the system keeps no access lists.
bool OpenToEveryone(const std::string& dir) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return false;
  DWORD buffer[64] = {};
  auto* acl = reinterpret_cast<PACL>(buffer);
  bool ok = InitializeAcl(acl, sizeof buffer, ACL_REVISION) &&
            AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, everyone);
  FreeSid(everyone);
  ACE_HEADER* ace = nullptr;
  ok = ok && GetAce(acl, 0, reinterpret_cast<void**>(&ace));
  if (!ok) return false;
  ace->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  SECURITY_DESCRIPTOR sd;
  return InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
         SetFileSecurityA(dir.c_str(), DACL_SECURITY_INFORMATION, &sd);
}

// The work directory holds the library the installer loads and the setup it
// starts: only the current user (and the system) may reach it, whatever TEMP
// allows. Its access list is read entry by entry, in the descriptor it is
// made with (which must also be marked protected from inheritance) and back
// from the directory: exactly the token's user and SYSTEM, full access,
// passed on to files and sub-folders, nothing inherited from a TEMP that lets
// everyone in. (Wine keeps no access lists of its own: it turns the list into
// Unix permissions and reads back one made from them, so the read-back there
// shows what reaches the file system.)
TEST(WorkDirectory, IsPrivateToTheCurrentUser) {
  EnvRestorer temp("TEMP");
  ScratchDir scratch;
  ASSERT_TRUE(OpenToEveryone(scratch.path())) << GetLastError();
  SetEnvironmentVariableA("TEMP", scratch.path().c_str());
  std::string dir;
  ASSERT_EQ(MakeWorkDirectory("LMF", dir), 0);
  // What a directory made here without a descriptor of its own gets: the
  // check below must be able to tell.
  const std::string plain = scratch / "plain";
  ASSERT_TRUE(CreateDirectoryA(plain.c_str(), nullptr));

  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  char user[256];
  DWORD needed = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &needed));
  CloseHandle(token);
  PSID me = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID system = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));

  // "" when the descriptor's list is exactly the private one, else what differs.
  auto differences = [&](PSECURITY_DESCRIPTOR sd) -> std::string {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present || dacl == nullptr) {
      return "no access list";
    }
    if (dacl->AceCount != 2) return std::to_string(dacl->AceCount) + " entries";
    std::string found;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
      ACCESS_ALLOWED_ACE* ace = nullptr;
      if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) return "entry unreadable";
      const std::string n = "entry " + std::to_string(i);
      if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) return n + " does not allow";
      if (ace->Header.AceFlags != (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) {
        return n + " flags " + std::to_string(ace->Header.AceFlags);
      }
      if (ace->Mask != FILE_ALL_ACCESS) return n + " access " + std::to_string(ace->Mask);
      PSID who = &ace->SidStart;
      found += EqualSid(who, me) ? "user " : EqualSid(who, system) ? "system " : "other ";
    }
    return found == "user system " || found == "system user " ? "" : found;
  };
  auto directoryDifferences = [&](const std::string& path) -> std::string {
    std::vector<char> buffer(4096);
    DWORD size = 0;
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), 4096, &size)) {
      return "no security read: " + std::to_string(GetLastError());
    }
    return differences(buffer.data());
  };

  PrivateDirectorySecurity security;
  ASSERT_NE(security.attributes(), nullptr);
  PSECURITY_DESCRIPTOR given = security.attributes()->lpSecurityDescriptor;
  EXPECT_EQ(differences(given), "");
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(given, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "entries of TEMP could be merged in";
  EXPECT_EQ(directoryDifferences(dir), "");
  EXPECT_NE(directoryDifferences(plain), "") << "a plain directory under this TEMP would pass too";
  FreeSid(system);
  EXPECT_EQ(RemoveWorkDirectory(dir), kOk);
  RemoveDirectoryA(plain.c_str());
}

TEST(WorkDirectory, NoFreeNameIsAFailure) {
  EnvRestorer temp("TEMP");
  ScratchDir scratch;
  SetEnvironmentVariableA("TEMP", scratch.path().c_str());
  for (int n = 1; n <= 1000; ++n) {
    ASSERT_TRUE(CreateDirectoryA((scratch / ("T" + std::to_string(n))).c_str(), nullptr));
  }
  std::string dir;
  EXPECT_EQ(MakeWorkDirectory("T", dir), kErrWorkDirsExhausted);
  EXPECT_FALSE(Exists(scratch / "T1001"));

  // A name taken by a file is skipped as well.
  WriteText(scratch / "F1", "x");
  ASSERT_EQ(MakeWorkDirectory("F", dir), 0);
  EXPECT_EQ(dir, scratch / "F2\\");
  EXPECT_EQ(RemoveWorkDirectory(dir), kOk);

  // A TEMP that does not exist gives the system's reason, at once.
  SetEnvironmentVariableA("TEMP", (scratch / "missing\\deeper").c_str());
  EXPECT_EQ(MakeWorkDirectory("LMF", dir), ERROR_PATH_NOT_FOUND);
}

// ---- deletion ----

TEST(Deletion, ForcedAndRetried) {
  ScratchDir scratch;
  EXPECT_EQ(DeleteFileForced(scratch / "never-there.txt"), 0);

  const std::string file = scratch / "Aqua.scr";
  WriteText(file, "x");
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_SYSTEM));
  // No tries: nothing is touched.
  int attempts = -1;
  for (int tries : {0, -3}) {
    EXPECT_EQ(DeleteFileRetry(file, tries, &attempts), kErrGeneric);
    EXPECT_EQ(attempts, 0);
    EXPECT_NE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  }
  EXPECT_EQ(DeleteFileRetry(file, 1000, &attempts), 0);
  EXPECT_EQ(attempts, 1);
  EXPECT_FALSE(Exists(file));

  WriteText(file, "x");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(DeleteFileForced(file), 0);
  EXPECT_FALSE(Exists(file));

  // A directory is not a file: nothing to delete, and it stays.
  ASSERT_TRUE(CreateDirectoryA((scratch / "sub").c_str(), nullptr));
  EXPECT_EQ(DeleteFileForced(scratch / "sub"), 0);
  EXPECT_TRUE(DirectoryExists(scratch / "sub"));
}

TEST(Deletion, FileHeldByAnotherProcess) {
  ScratchDir scratch;
  const std::string engine = scratch / "X.SCR";
  const std::string dll = scratch / "impborl.dll";
  WriteText(engine, "engine");
  WriteText(dll, "library");
  HeldByOtherProcess holdEngine(engine), holdDll(dll);
  ASSERT_TRUE(holdEngine.held() && holdDll.held()) << "holdopen.exe did not start";

  EXPECT_EQ(DeleteFileForced(engine), kErrFileBusy);
  int attempts = -1;
  EXPECT_EQ(DeleteFileRetry(engine, 7, &attempts), kErrEngineBusy);
  EXPECT_EQ(attempts, 7);
  EXPECT_EQ(DeleteFileRetry(dll, 3, &attempts), kErrFileBusy);
  EXPECT_EQ(attempts, 3);
  EXPECT_TRUE(Exists(engine) && Exists(dll));
}

// ---- directory trees ----

TEST(DirectoryTree, RemovesEverythingInside) {
  ScratchDir scratch;
  const std::string root = scratch / "tree\\";
  ForceDirectoryPath(root + "a\\b\\c\\");
  ForceDirectoryPath(root + "empty\\");
  WriteText(root + "top.txt", "1");
  WriteText(root + "a\\b\\deep.txt", "2");
  WriteText(root + "a\\b\\c\\ro.txt", "3");
  SetFileAttributesA((root + "a\\b\\c\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((root + "a").c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_EQ(RemoveDirectoryTree(root), 0);
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(DirectoryExists(scratch.path()));

  // Without its trailing backslash the path still names only that directory,
  // not every sibling that starts with the same letters.
  ForceDirectoryPath(scratch / "t\\");
  WriteText(scratch / "ta", "s");   // matches "t*", and "t" + "ta" names...
  WriteText(scratch / "tta", "s");  // ...this one
  EXPECT_EQ(RemoveDirectoryTree(scratch / "t"), 0);
  EXPECT_FALSE(Exists(scratch / "t"));
  EXPECT_TRUE(Exists(scratch / "ta") && Exists(scratch / "tta"));

  EXPECT_EQ(RemoveDirectoryTree(""), kErrGeneric);
  EXPECT_EQ(RemoveDirectoryTree(scratch / "not-there\\"), 0);
}

TEST(DirectoryTree, LockedFileStopsAndKeepsTheDirectory) {
  ScratchDir scratch;
  const std::string root = scratch / "tree\\";
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  WriteText(root + "busy.dat", "x");
  LockedFile lock(root + "busy.dat");
  ASSERT_TRUE(lock.ok());
  EXPECT_EQ(RemoveDirectoryTree(root), kErrFileBusy);
  EXPECT_TRUE(DirectoryExists(root));
  EXPECT_TRUE(Exists(root + "busy.dat"));
}

TEST(DirectoryTree, SubdirectoryThatCannotBeEmptiedLetsTheRestGo) {
  ScratchDir scratch;
  const std::string root = scratch / "tree\\";
  ForceDirectoryPath(root + "stuck\\");
  ForceDirectoryPath(root + "other\\inner\\");
  WriteText(root + "stuck\\busy.dat", "x");
  WriteText(root + "other\\inner\\f.txt", "y");
  WriteText(root + "z-last.txt", "z");
  LockedFile lock(root + "stuck\\busy.dat");
  ASSERT_TRUE(lock.ok());

  EXPECT_EQ(RemoveDirectoryTree(root), kErrGeneric);
  EXPECT_TRUE(Exists(root + "stuck\\busy.dat"));
  EXPECT_FALSE(Exists(root + "other"));
  EXPECT_FALSE(Exists(root + "z-last.txt"));
}

// A tree prepared outside Wine (see the CTest entry winsys_link_tests): the
// directory named by SS_LINK_TREE holds "file.txt" and "link", a symbolic
// link to the sibling directory "elsewhere" with "precious.txt" in it. Wine
// shows such links as reparse points; the removal must not reach through.
TEST(DirectoryTree, WorkDirectoryIsRemovedAndRootsAndRelativePathsRefused) {
  ScratchDir scratch;
  const std::string work = scratch / "work\\";
  ForceDirectoryPath(work + "sub\\");
  for (const char* file : {"temp.dat", "impborl.dll", "sub\\movie.swf"}) WriteText(work + file, "x");
  SetFileAttributesA((work + "temp.dat").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(RemoveWorkDirectory(work), kOk);
  EXPECT_FALSE(Exists(work));
  // Already gone, or no work directory at all: nothing to do.
  EXPECT_EQ(RemoveWorkDirectory(work), kOk);
  EXPECT_EQ(RemoveWorkDirectory(""), kOk);

  const std::string keep = scratch / "keep\\";
  ForceDirectoryPath(keep + "sub\\");
  WriteText(keep + "temp.dat", "x");
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  SetCurrentDirectoryA(keep.c_str());
  for (const std::string& bad : {std::string("C:\\"), std::string("C:"), std::string("C:/"), std::string("sub"),
                                 keep + "sub\\..", keep + "..\\keep", std::string("\\\\server\\share\\"),
                                 keep + "*", std::string("\\temp"), keep + "temp.dat"}) {
    EXPECT_EQ(RemoveWorkDirectory(bad), kErrGeneric) << bad;
  }
  SetCurrentDirectoryA(cwd);
  EXPECT_TRUE(Exists(keep + "sub") && Exists(keep + "temp.dat"));
}

// A program still running from the work directory as the run ends (the
// carried Flash setup after a quiet install) keeps its file; everything
// else goes now, and what is left goes at the next start of Windows: the
// file, the marker, then the folder, through the system's list of pending
// deletions (the NT family's way, which Wine follows).
TEST(DirectoryTree, WorkDirectoryInUseAtExitIsDeletedAtTheNextStart) {
  EnvRestorer temp("TEMP");
  ScratchDir scratch;
  SetEnvironmentVariableA("TEMP", scratch.path().c_str());
  std::string dir;
  ASSERT_EQ(MakeWorkDirectory("LMF", dir), 0);
  ForceDirectoryPath(dir + "sysfiles\\");
  for (const char* file : {"temp.dat", "flashax7.exe", "sysfiles\\1.old"}) WriteText(dir + file, file);
  {
    const sstest::PendingDeletes pending;
    HeldByOtherProcess setup(dir + "flashax7.exe");
    ASSERT_TRUE(setup.held()) << "holdopen.exe did not start";
    EXPECT_NE(RemoveWorkDirectoryAtExit(dir), kOk);
    EXPECT_FALSE(Exists(dir + "temp.dat"));
    EXPECT_FALSE(Exists(dir + "sysfiles"));
    EXPECT_TRUE(Exists(dir + "flashax7.exe"));
    const std::vector<std::string> expected = {dir + "flashax7.exe", dir + kWorkDirectoryMarker,
                                               dir.substr(0, dir.size() - 1)};
    EXPECT_EQ(pending.Added(), expected);
    // A second way out of the same run (the window closed, then the program
    // left) adds nothing to the list.
    EXPECT_NE(RemoveWorkDirectoryAtExit(dir), kOk);
    EXPECT_EQ(pending.Added(), expected);
  }
  // Once the program has ended, the folder goes as usual.
  EXPECT_EQ(RemoveWorkDirectory(dir), kOk);
  EXPECT_FALSE(Exists(dir));
}

TEST(DirectoryTree, SymbolicLinkIsRemovedNotFollowed) {
  const std::string tree = test::Env("SS_LINK_TREE");
  if (tree.empty()) GTEST_SKIP() << "SS_LINK_TREE not set (run through winsys_link_tests)";
  const std::string root = WithTrailingBackslash(tree);
  const std::string elsewhere = ParentDirectory(root) + "elsewhere\\";
  ASSERT_TRUE(Exists(root + "link\\precious.txt")) << root;
  ASSERT_NE(GetFileAttributesA((root + "link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

  // Wine 8 cannot remove a Unix directory link through the Windows calls, so
  // there the link (and with it the tree) stays and the result is -1; on
  // Windows a junction goes and the result is 0. Either way nothing is taken
  // from the link's target and the rest of the tree is gone.
  const Result rc = RemoveDirectoryTree(root);
  EXPECT_TRUE(rc == 0 || (rc == kErrGeneric && Exists(root + "link"))) << rc;
  EXPECT_FALSE(Exists(root + "file.txt"));
  EXPECT_EQ(ReadText(elsewhere + "precious.txt"), "keep me");
}

// A TEMP prepared outside Wine (SS_LINK_TEMP, see winsys_link_tests): LMF1
// is a symbolic link to a folder that looks like a left work directory, and
// LMF2 a left work directory whose "sysfiles" is such a link. The clean-up
// before a new work directory never goes through either.
TEST(WorkDirectory, LinkedFoldersAreNeverFollowed) {
  const std::string linked = test::Env("SS_LINK_TEMP");
  if (linked.empty()) GTEST_SKIP() << "SS_LINK_TEMP not set (run through winsys_link_tests)";
  const std::string temp = WithTrailingBackslash(linked);
  ASSERT_NE(GetFileAttributesA((temp + "LMF1").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EnvRestorer restorer("TEMP");
  SetEnvironmentVariableA("TEMP", temp.c_str());
  std::string dir;
  ASSERT_EQ(MakeWorkDirectory("LMF", dir), 0);
  EXPECT_EQ(dir, temp + "LMF3\\");
  EXPECT_EQ(ReadText(temp + "LMF1\\temp.dat"), "keep me");
  EXPECT_TRUE(Exists(temp + "LMF2\\" + kWorkDirectoryMarker));
  EXPECT_EQ(ReadText(temp + "LMF2\\sysfiles\\temp.dat"), "keep me");
  EXPECT_EQ(RemoveWorkDirectory(dir), kOk);
}

// ---- the screen saver pair and the install target ----

TEST(ScreenSaverPair, ExistsRemoveCreate) {
  ScratchDir scratch;
  const std::string d = scratch.path();
  EXPECT_FALSE(ScreenSaverExists(d, "Aqua"));

  WriteText(d + "Aqua.scr", "engine");
  EXPECT_TRUE(ScreenSaverExists(d, "Aqua"));
  EXPECT_EQ(RemoveScreenSaver(d, "Aqua"), 0);
  EXPECT_FALSE(ScreenSaverExists(d, "Aqua"));

  EXPECT_EQ(CreateInstallDirectory(d, "Aqua"), 0);
  EXPECT_TRUE(DirectoryExists(d + "Aqua dir\\"));
  EXPECT_TRUE(ScreenSaverExists(d, "Aqua"));
  WriteText(d + "Aqua dir\\saver.dat", "s");
  EXPECT_EQ(CreateInstallDirectory(d, "Aqua"), 0);  // existing: left alone
  EXPECT_TRUE(Exists(d + "Aqua dir\\saver.dat"));
  EXPECT_EQ(RemoveScreenSaver(d, "Aqua"), 0);
  EXPECT_FALSE(Exists(d + "Aqua dir"));

  // A file in the install directory's place is no install directory.
  WriteText(d + "Busy dir", "a file");
  EXPECT_NE(CreateInstallDirectory(d, "Busy"), 0);
  EXPECT_EQ(ReadText(d + "Busy dir"), "a file");

  // Names that would leave the directory are refused before any use.
  WriteText(d + "outside.scr", "x");
  ASSERT_TRUE(CreateDirectoryA((d + "sub").c_str(), nullptr));
  EXPECT_FALSE(ScreenSaverExists(d + "sub\\", "..\\outside"));
  EXPECT_EQ(RemoveScreenSaver(d + "sub\\", "..\\outside"), kErrBadTitle);
  EXPECT_EQ(CreateInstallDirectory(d, ""), kErrBadTitle);
  EXPECT_TRUE(Exists(d + "outside.scr"));
}

class PrepareTarget : public testing::Test {
 protected:
  void SetUp() override {
    DirectorySet d = Dirs();
    d.windowsDir = windows_;
    SetDirs(d);
  }
  std::string Question() const { return LoadStr(StringId::AlreadyExistsOverwrite); }
  void PlantPair(const std::string& dir) {
    WriteText(dir + "Aqua.scr", "old engine");
    ForceDirectoryPath(dir + "Aqua dir\\");
    WriteText(dir + "Aqua dir\\old.bmp", "old picture");
  }

  DirsRestorer restore_;
  ScratchDir scratch_;
  std::string windows_ = [this] {
    ForceDirectoryPath(scratch_ / "windows\\");
    return scratch_ / "windows\\";
  }();
  std::string system_ = [this] {
    ForceDirectoryPath(scratch_ / "system\\");
    return scratch_ / "system\\";
  }();
};

TEST_F(PrepareTarget, NothingPresentAsksNothing) {
  if (!test::HaveDisplay()) GTEST_SKIP() << "no display";
  BoxAnswerer answer("Confirm", "Cancel");
  EXPECT_EQ(PrepareScreenSaverTarget(system_, "Aqua", true, Question()), 0);
  EXPECT_EQ(answer.boxesSeen(), 0);
  EXPECT_TRUE(DirectoryExists(system_ + "Aqua dir\\"));
}

TEST_F(PrepareTarget, OldPairInWindowsDirectoryAskedAndRemovedOnOk) {
  if (!test::HaveDisplay()) GTEST_SKIP() << "no display";
  PlantPair(windows_);
  BoxAnswerer answer("Confirm", "OK");
  EXPECT_EQ(PrepareScreenSaverTarget(system_, "Aqua", true, Question()), 0);
  EXPECT_EQ(answer.boxesSeen(), 1);
  const std::vector<std::string> texts = answer.lastTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Aqua screen saver already exists. Overwrite?"),
            texts.end());
  EXPECT_FALSE(Exists(windows_ + "Aqua.scr"));
  EXPECT_FALSE(Exists(windows_ + "Aqua dir"));
  EXPECT_TRUE(DirectoryExists(system_ + "Aqua dir\\"));
}

TEST_F(PrepareTarget, CancelChangesNothing) {
  if (!test::HaveDisplay()) GTEST_SKIP() << "no display";
  PlantPair(windows_);
  PlantPair(system_);
  BoxAnswerer answer("Confirm", "Cancel");
  EXPECT_EQ(PrepareScreenSaverTarget(system_, "Aqua", true, Question()), kErrUserDeclined);
  EXPECT_EQ(answer.boxesSeen(), 1);
  for (const std::string& d : {windows_, system_}) {
    EXPECT_EQ(ReadText(d + "Aqua.scr"), "old engine");
    EXPECT_EQ(ReadText(d + "Aqua dir\\old.bmp"), "old picture");
  }
}

TEST_F(PrepareTarget, QuietRunReplacesWithoutAsking) {
  PlantPair(system_);
  EXPECT_EQ(PrepareScreenSaverTarget(system_, "Aqua", false, Question()), 0);
  EXPECT_FALSE(Exists(system_ + "Aqua.scr"));
  EXPECT_FALSE(Exists(system_ + "Aqua dir\\old.bmp"));
  EXPECT_TRUE(DirectoryExists(system_ + "Aqua dir\\"));
  EXPECT_EQ(PrepareScreenSaverTarget(system_, "..\\Aqua", false, Question()), kErrBadTitle);
}

// ---- versions, copies, directory paths ----

TEST(FileVersion, ReadsMajorAndReleaseOrLeavesOutputs) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  int major = -5, release = -6;
  GetFileVersionNumbers(self, major, release);  // the program carries 7.0.19.0
  EXPECT_EQ(major, 7);
  EXPECT_EQ(release, 19);
  uint64_t version = 0;
  EXPECT_TRUE(GetFileVersion64(self, &version));
  EXPECT_EQ(version, (uint64_t{7} << 48) | (uint64_t{19} << 16));

  ScratchDir scratch;
  WriteText(scratch / "plain.txt", "no resources here");
  for (const std::string& path : {scratch / "plain.txt", scratch / "missing.dll"}) {
    major = -5;
    release = -6;
    GetFileVersionNumbers(path, major, release);
    EXPECT_EQ(major, -5) << path;
    EXPECT_EQ(release, -6) << path;
    EXPECT_FALSE(GetFileVersion64(path, &version)) << path;
  }
}

TEST(CopyClearingAttributes, OverwritesReadOnlyTargets) {
  ScratchDir scratch;
  const std::string src = scratch / "licence.txt", dst = scratch / "copy.txt";
  WriteText(src, "new text");
  WriteText(dst, "old text that is longer");
  SetFileAttributesA(src.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(dst.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

  EXPECT_TRUE(CopyFileClearingAttributes(src, dst, false));
  EXPECT_EQ(ReadText(dst), "new text");
  EXPECT_EQ(GetFileAttributesA(dst.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

  EXPECT_FALSE(CopyFileClearingAttributes(src, dst, true));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_FALSE(CopyFileClearingAttributes(scratch / "missing.txt", dst, false));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ReadText(dst), "new text");
}

TEST(DirectoryPath, CreatesMissingLevelsAndStopsAtTheRoot) {
  ScratchDir scratch;
  ForceDirectoryPath(scratch / "a\\b\\c\\");
  EXPECT_TRUE(DirectoryExists(scratch / "a\\b\\c"));
  WriteText(scratch / "a\\b\\keep.txt", "k");
  ForceDirectoryPath(scratch / "a\\b\\c\\d");  // without a trailing backslash
  EXPECT_TRUE(DirectoryExists(scratch / "a\\b\\c\\d"));
  EXPECT_EQ(ReadText(scratch / "a\\b\\keep.txt"), "k");

  // A drive that does not exist: returns, creates nothing.
  char drive[] = "A:\\";
  const DWORD mapped = GetLogicalDrives();
  for (char c = 'Q'; c <= 'Z'; ++c) {
    if (!(mapped & (1u << (c - 'A')))) {
      drive[0] = c;
      break;
    }
  }
  ASSERT_NE(drive[0], 'A') << "no free drive letter";
  ForceDirectoryPath(std::string(drive) + "x\\y\\");
  EXPECT_FALSE(DirectoryExists(std::string(drive) + "x"));
}

}  // namespace
}  // namespace ss
