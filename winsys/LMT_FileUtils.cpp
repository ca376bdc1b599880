#include "winsys/LMT_FileUtils.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/DebugLog.h"
#include "core/MessageDlg.h"
#include "core/WinFile.h"
#include "core/WinHandles.h"
#include "winsys/LMT_StringUtils.h"
#include "winsys/Wow64Redirection.h"

namespace ss {

namespace {

DirectorySet& DirectoryStore() {
  static DirectorySet dirs;
  return dirs;
}

// An environment variable's value ("" when unset).
std::string GetEnv(const char* name) {
  std::vector<char> buf(256);
  for (;;) {
    const DWORD n = GetEnvironmentVariableA(name, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(n + 1);
  }
}

std::string WithoutTrailingBackslash(const std::string& path) {
  if (path.size() > PathRootLength(path) && path.back() == '\\') {
    return path.substr(0, path.size() - 1);
  }
  return path;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

// One forced deletion: plain, then again after clearing the attributes.
// Returns 0 when the file is gone, else the system's reason for the refusal.
DWORD DeleteOnce(const std::string& path) {
  if (!FileExists(path)) return 0;
  if (DeleteFileA(path.c_str())) return 0;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileA(path.c_str())) return 0;
  return static_cast<DWORD>(LastErrorOr(ERROR_ACCESS_DENIED));
}

void LogRefusedDeletion(const std::string& path, DWORD err, int attempts) {
  DebugLog("delete failed: " + path + " (error " + std::to_string(err) + ", " + std::to_string(attempts) +
           (attempts == 1 ? " attempt)" : " attempts)"));
}

// Removes a junction or directory symbolic link itself, not what it points at.
bool RemoveDirectoryLink(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryA(path.c_str()) != 0;
}

}  // namespace

const DirectorySet& Dirs() { return DirectoryStore(); }

void SetDirs(const DirectorySet& dirs) { DirectoryStore() = dirs; }

bool FileExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = Attributes(WithoutTrailingBackslash(path));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string GetWindowsDirectoryPath() {
  std::string dir = GetEnv("WINDIR");
  if (dir.empty()) {
    char buf[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    dir.assign(buf, n);
  }
  return WithTrailingBackslash(dir);
}

std::string GetSystemDirectoryPath() {
  std::vector<char> buf(301);
  UINT n = GetSystemDirectoryA(buf.data(), static_cast<UINT>(buf.size()));
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = GetSystemDirectoryA(buf.data(), static_cast<UINT>(buf.size()));
  }
  if (n == 0 || n >= buf.size()) return std::string();
  return WithTrailingBackslash(std::string(buf.data(), n));
}

Result InitPaths(const std::string& exePath) {
  DirectorySet dirs;
  dirs.windowsDir = GetWindowsDirectoryPath();
  if (dirs.windowsDir.empty()) {
    const Result rc = LastErrorOr(kErrGeneric);
    SetDirs(dirs);
    return rc;
  }
  dirs.systemDir = GetSystemDirectoryPath();
  if (dirs.systemDir.empty()) {
    const Result rc = LastErrorOr(kErrGeneric);
    SetDirs(dirs);
    return rc;
  }
  dirs.installerDir = WithTrailingBackslash(DirectoryPart(exePath));
  const Result rc = MakeWorkDirectory("LMF", dirs.workDir);
  SetDirs(dirs);
  return rc;
}

namespace {

// The NT family has access lists; the 9x family has none (there
// OpenProcessToken and GetTokenInformation are stubs that fail, and a
// directory has no security at all).
bool HasAccessLists() { return (GetVersion() & 0x80000000u) == 0; }

// One part of the process token (its user, its default owner), in a buffer
// aligned for the SID in it.
bool ReadToken(TOKEN_INFORMATION_CLASS what, std::vector<DWORD>& info) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const KernelHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, what, nullptr, 0, &size);
  if (size == 0) return false;
  info.assign(size / sizeof(DWORD) + 1, 0);
  return GetTokenInformation(token, what, info.data(), static_cast<DWORD>(info.size() * sizeof(DWORD)), &size) != 0;
}

bool ReadTokenUser(std::vector<DWORD>& user) { return ReadToken(TokenUser, user); }

// The markers of the work directories this process made and still uses.
struct HeldMarker {
  std::string dir;  // with its trailing backslash
  FileHandle file;
};

std::vector<HeldMarker>& HeldMarkers() {
  static std::vector<HeldMarker> held;
  return held;
}

// Gives up the markers of `dir` and of the work directories inside it, so
// that their removal can delete them.
void ReleaseMarkersWithin(const std::string& dir) {
  const std::string tree = AsciiLower(WithTrailingBackslash(dir));
  std::vector<HeldMarker>& held = HeldMarkers();
  for (size_t i = held.size(); i-- > 0;) {
    if (AsciiLower(held[i].dir).rfind(tree, 0) == 0) held.erase(held.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

// Makes the marker of a fresh work directory and keeps it open: others may
// read it but not write or delete it, so the clean-up of another run sees
// the folder in use. A marker that cannot be made leaves the directory
// usable (only a later clean-up will not recognise it).
void HoldMarker(const std::string& dir) {
  FileHandle file(CreateFileA((dir + kWorkDirectoryMarker).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DebugLog("work directory marker not made: " + dir + " (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  HeldMarkers().push_back({dir, std::move(file)});
}

// Whether the owner of `path` is one of `sids` (the token's user and default
// owner: an elevated run owns what it makes through its default owner).
bool OwnedByOneOf(const std::string& path, const std::vector<PSID>& sids) {
  DWORD needed = 0;
  GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<DWORD> descriptor(needed / sizeof(DWORD) + 1, 0);
  if (!GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, descriptor.data(),
                        static_cast<DWORD>(descriptor.size() * sizeof(DWORD)), &needed)) {
    return false;
  }
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) || owner == nullptr) return false;
  for (PSID sid : sids) {
    if (sid != nullptr && IsValidSid(sid) && EqualSid(owner, sid)) return true;
  }
  return false;
}

constexpr char kSystemFilesFolder[] = "sysfiles";

// The files of a work directory left by an earlier run (`dir` ends with a
// backslash), the marker excepted, when the folder holds only what a run
// makes: files, and the "sysfiles" folder of files. False for anything else
// (another folder, a junction or link anywhere): the folder is not ours.
bool ListLeftFiles(const std::string& dir, bool nested, std::vector<std::string>* files,
                   std::vector<std::string>* folders) {
  WIN32_FIND_DATAA fd;
  FindHandle find(FindFirstFileA((dir + "*").c_str(), &fd));
  if (!find) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (nested || AsciiLower(name) != kSystemFilesFolder) return false;
      if (!ListLeftFiles(dir + name + "\\", true, files, folders)) return false;
      folders->push_back(dir + name);
    } else if (nested || AsciiLower(name) != kWorkDirectoryMarker) {
      files->push_back(dir + name);
    }
  } while (FindNextFileA(find.get(), &fd));
  return true;
}

// Removes one work directory an earlier run left (see MakeWorkDirectory).
// `dir` ends with a backslash.
void RemoveLeftWorkDirectory(const std::string& dir) {
  const std::string marker = dir + kWorkDirectoryMarker;
  const DWORD markerAttributes = Attributes(marker);
  if (markerAttributes == INVALID_FILE_ATTRIBUTES ||
      (markerAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return;
  }
  // Opened without any sharing: this fails while a running installer holds
  // its marker, and keeps a second clean-up out while this one works.
  FileHandle lock(CreateFileA(marker.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
  if (!lock) {
    DebugLog("left work directory kept (marker in use): " + dir);
    return;
  }
  std::vector<std::string> files;
  std::vector<std::string> folders;
  if (!ListLeftFiles(dir, false, &files, &folders)) {
    DebugLog("left work directory kept (foreign content): " + dir);
    return;
  }
  for (const std::string& file : files) {
    if (DeleteOnce(file) != 0) {
      DebugLog("left work directory kept (in use): " + file);
      return;
    }
  }
  for (const std::string& folder : folders) RemoveDirectoryA(folder.c_str());
  lock.reset();
  if (DeleteOnce(marker) != 0 || !RemoveDirectoryA(WithoutTrailingBackslash(dir).c_str())) {
    DebugLog("left work directory not removed: " + dir + " (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  DebugLog("left work directory removed: " + dir);
}

// The clean-up of the work directories earlier runs left: the candidates
// TEMP\<prefix>1 .. 1000 and nothing else, never followed through a link.
void RemoveLeftWorkDirectories(const std::string& base) {
  std::vector<DWORD> user;
  std::vector<DWORD> owner;
  std::vector<PSID> mine;
  if (HasAccessLists()) {
    if (ReadToken(TokenUser, user)) mine.push_back(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    if (ReadToken(TokenOwner, owner)) mine.push_back(reinterpret_cast<TOKEN_OWNER*>(owner.data())->Owner);
    // Whose folders they are cannot be told: keep them all.
    if (mine.empty()) return;
  }
  for (int n = 1; n <= 1000; ++n) {
    const std::string candidate = base + std::to_string(n);
    const DWORD a = Attributes(candidate);
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) == 0 || (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      continue;
    }
    if (!mine.empty() && !OwnedByOneOf(candidate, mine)) continue;
    RemoveLeftWorkDirectory(candidate + "\\");
  }
}

}  // namespace

// Built with calls NT 4.0 has (its TEMP is often writable by every user):
// the flags that make an entry inheritable are set on the entries
// themselves, since AddAccessAllowedAceEx is newer. The "protected" mark that
// keeps Windows 2000's automatic inheritance from merging TEMP's entries in
// is set through SetSecurityDescriptorControl, looked up at run time; NT 4.0
// lacks it and needs it not: without automatic inheritance an access list
// given at creation is used as it is.
PrivateDirectorySecurity::PrivateDirectorySecurity() {
  if (!HasAccessLists()) return;
  std::vector<DWORD> user;
  if (!ReadTokenUser(user)) return;
  PSID me = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID system = nullptr;
  if (!AllocateAndInitializeSid(&authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system)) return;
  const bool built = Build(me, system);
  FreeSid(system);
  if (!built) return;
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
}

bool PrivateDirectorySecurity::Build(void* me, void* system) {
  if (!IsValidSid(me)) return false;
  // Each entry: the fixed part of ACCESS_ALLOWED_ACE without its first SID
  // word, then the SID.
  const DWORD entry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
  const DWORD size = sizeof(ACL) + 2 * entry + GetLengthSid(me) + GetLengthSid(system);
  acl_.assign(size / sizeof(DWORD) + 1, 0);
  auto* acl = reinterpret_cast<PACL>(acl_.data());
  if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size() * sizeof(DWORD)), ACL_REVISION)) return false;
  for (PSID sid : {me, system}) {
    if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) return false;
  }
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) return false;
    static_cast<ACE_HEADER*>(ace)->AceFlags |= OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return false;
  if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return false;
  using SetControl = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL);
  auto setControl = reinterpret_cast<SetControl>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("advapi32.dll"), "SetSecurityDescriptorControl")));
  return setControl == nullptr || setControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED) != 0;
}

Result MakeWorkDirectory(const std::string& prefix, std::string& dir) {
  std::string temp = GetEnv("TEMP");
  if (temp.empty()) {
    char buf[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buf, buf);
    if (n == 0 || n >= sizeof buf) {
      const Result rc = LastErrorOr(kErrGeneric);
      dir = prefix;
      return rc;
    }
    temp.assign(buf, n);
  }
  const std::string base = WithTrailingBackslash(temp) + prefix;
  dir = base;
  // On the NT family the work directory is private or not made at all: with
  // TEMP's permissions another user could swap the library or the setup
  // between their writing and their use.
  PrivateDirectorySecurity security;
  if (HasAccessLists() && !security.usable()) {
    DebugLog("work directory: its private access list cannot be built");
    return kErrWorkDirUnprotected;
  }
  RemoveLeftWorkDirectories(base);
  for (int n = 1; n <= 1000; ++n) {
    const std::string candidate = base + std::to_string(n);
    if (DirectoryExists(candidate)) continue;
    // Only a directory created here is used: CreateDirectory fails on an
    // existing one, so a directory someone else prepared is never reused.
    if (CreateDirectoryA(candidate.c_str(), security.attributes())) {
      dir = candidate + "\\";
      HoldMarker(dir);
      return kOk;
    }
    const Result err = LastErrorOr(kErrGeneric);
    // A name taken by a file is skipped like a taken directory; any other
    // refusal (missing or protected TEMP) will not change for the next name.
    if (err != ERROR_ALREADY_EXISTS) return err;
  }
  DebugLog("no free work directory name under " + base);
  return kErrWorkDirsExhausted;
}

Result DeleteFileForced(const std::string& path) {
  const DWORD err = DeleteOnce(path);
  if (err == 0) return kOk;
  LogRefusedDeletion(path, err, 1);
  return kErrFileBusy;
}

Result DeleteFileRetry(const std::string& path, int tries, int* attempts) {
  Result rc = kErrGeneric;
  int made = 0;
  DWORD err = 0;
  while (tries > 0 && rc != kOk) {
    ++made;
    err = DeleteOnce(path);
    if (err == 0) {
      rc = kOk;
    } else {
      rc = HasScrExtension(path) ? kErrEngineBusy : kErrFileBusy;
    }
    --tries;
  }
  if (err != 0) LogRefusedDeletion(path, err, made);
  if (attempts) *attempts = made;
  return rc;
}

Result RemoveDirectoryTree(const std::string& dirIn) {
  if (dirIn.empty()) return kErrGeneric;
  const std::string dir = WithTrailingBackslash(dirIn);
  const std::string bare = WithoutTrailingBackslash(dir);
  ReleaseMarkersWithin(dir);

  // A directory that is itself a junction or link: remove the link only.
  const DWORD own = Attributes(bare);
  if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (own & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return RemoveDirectoryLink(bare) ? kOk : kErrGeneric;
  }

  Result rc = kOk;
  {
    WIN32_FIND_DATAA fd;
    FindHandle find(FindFirstFileA((dir + "*.*").c_str(), &fd));
    if (find) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = dir + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          // A subdirectory that cannot be emptied does not stop the others;
          // it shows up when this directory cannot be removed.
          if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            RemoveDirectoryLink(full);
          } else {
            RemoveDirectoryTree(full + "\\");
          }
        } else {
          rc = DeleteFileForced(full);
          if (rc != kOk) break;
        }
      } while (FindNextFileA(find.get(), &fd));
    }
  }
  if (rc != kOk) return rc;
  if (!DirectoryExists(bare)) return kOk;
  SetFileAttributesA(bare.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!RemoveDirectoryA(bare.c_str())) {
    const DWORD err = GetLastError();
    DebugLog("directory not removed: " + dir + " (error " + std::to_string(err) + ")");
    return kErrGeneric;
  }
  return kOk;
}

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// An absolute folder strictly below a drive root ("C:\x") or a share
// ("\\server\share\x"), with no "." or ".." among its parts.
bool IsRemovableFolder(const std::string& path) {
  size_t pos = 0;
  if (path.size() >= 3 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      IsSeparator(path[2])) {
    pos = 3;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // Server and share names come first; the folder starts after them.
    pos = 2;
    for (int part = 0; part < 2; ++part) {
      const size_t start = pos;
      while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
      if (pos == start) return false;
      if (pos < path.size()) ++pos;
    }
  } else {
    return false;
  }
  bool anyPart = false;
  while (pos < path.size()) {
    const size_t start = pos;
    while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
    const std::string part = path.substr(start, pos - start);
    if (part == "." || part == ".." || part.find_first_of("*?") != std::string::npos) return false;
    if (!part.empty()) anyPart = true;
    if (pos < path.size()) ++pos;
  }
  return anyPart;
}

}  // namespace

Result RemoveWorkDirectory(const std::string& directory) {
  if (directory.empty()) return kOk;
  if (!IsRemovableFolder(directory)) return kErrGeneric;
  const DWORD attributes = Attributes(WithoutTrailingBackslash(directory));
  if (attributes == INVALID_FILE_ATTRIBUTES) return kOk;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kErrGeneric;
  return RemoveDirectoryTree(directory);
}

namespace {

// Deletes `path` (a file, or an empty folder) at the next start of Windows.
// NT family: MoveFileEx's delayed deletion (the system's list of pending
// renames, written for an administrator only). 9x family: its MoveFileEx is
// a stub that fails; wininit.ini's [rename] section takes "NUL=<short
// path>" lines instead, several of the same key, so the line is appended to
// the section as it is (a profile write of the key would replace another
// program's line). Folders are not taken there.
bool DeleteAtRestart(const std::string& path, bool folder) {
  if (HasAccessLists()) {
    if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    DebugLog("deletion at restart refused: " + path + " (error " + std::to_string(GetLastError()) + ")");
    return false;
  }
  if (folder) return false;
  char shortPath[MAX_PATH + 1];
  const DWORD n = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
  if (n == 0 || n >= sizeof shortPath) return false;
  // The section as NUL-separated lines, ended by an empty one.
  std::vector<char> section(32 * 1024);
  DWORD used = GetPrivateProfileSectionA("rename", section.data(), static_cast<DWORD>(section.size()), "wininit.ini");
  if (used >= section.size() - 2) return false;  // too long to be rewritten whole
  std::string lines(section.data(), used);
  if (!lines.empty() && lines.back() != '\0') lines += '\0';
  lines += "NUL=" + std::string(shortPath, n);
  lines += '\0';
  lines += '\0';
  return WritePrivateProfileSectionA("rename", lines.c_str(), "wininit.ini") != 0;
}

// What is left of a work directory whose removal failed: each file that
// still cannot be deleted, then the folders, for the next start of
// Windows. While a file is left the marker stays with it (and goes at the
// restart on the NT family), so that the next run's clean-up still
// recognises the folder as ours.
void ScheduleLeftovers(const std::string& dir, int depth, bool* left) {
  std::vector<std::string> folders;
  {
    WIN32_FIND_DATAA fd;
    FindHandle find(FindFirstFileA((dir + "*").c_str(), &fd));
    if (find) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = dir + name;
        // A link is never followed; a link left behind stays.
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (depth == 0) folders.push_back(full);
        } else if ((depth > 0 || AsciiLower(name) != kWorkDirectoryMarker) && DeleteOnce(full) != 0) {
          *left = true;
          if (DeleteAtRestart(full, false)) DebugLog("to be deleted at restart: " + full);
        }
      } while (FindNextFileA(find.get(), &fd));
    }
  }
  for (const std::string& folder : folders) {
    ScheduleLeftovers(folder + "\\", depth + 1, left);
    if (!RemoveDirectoryA(folder.c_str())) DeleteAtRestart(folder, true);
  }
  if (depth > 0) return;
  const std::string marker = dir + kWorkDirectoryMarker;
  if (FileExists(marker)) {
    if (!*left) {
      DeleteOnce(marker);
    } else if (HasAccessLists()) {
      DeleteAtRestart(marker, false);
    }
  }
  const std::string bare = WithoutTrailingBackslash(dir);
  if (!RemoveDirectoryA(bare.c_str()) && DeleteAtRestart(bare, true)) DebugLog("to be deleted at restart: " + dir);
}

// The work directories whose leftovers are already on the list for the
// restart: the end of a run may come through more than one way out.
std::vector<std::string>& ScheduledDirectories() {
  static std::vector<std::string> dirs;
  return dirs;
}

}  // namespace

Result RemoveWorkDirectoryAtExit(const std::string& directory) {
  const Result removed = RemoveWorkDirectory(directory);
  if (removed == kOk || !IsRemovableFolder(directory) || !DirectoryExists(directory)) return removed;
  const DWORD a = Attributes(WithoutTrailingBackslash(directory));
  if ((a & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return removed;
  const std::string dir = WithTrailingBackslash(directory);
  std::vector<std::string>& scheduled = ScheduledDirectories();
  if (std::find(scheduled.begin(), scheduled.end(), AsciiLower(dir)) != scheduled.end()) return removed;
  scheduled.push_back(AsciiLower(dir));
  bool left = false;
  ScheduleLeftovers(dir, 0, &left);
  return removed;
}

bool ScreenSaverExists(const std::string& dir, const std::string& name) {
  if (!IsPlainTitle(name)) return false;
  // Under WOW64 the engine may also stand in the real System32.
  return FileExists(EngineFilePath(dir, name)) || DirectoryExists(InstallDirectoryPath(dir, name)) ||
         NativeFileExists(EngineFilePath(dir, name));
}

Result RemoveScreenSaver(const std::string& dir, const std::string& name) {
  if (!IsPlainTitle(name)) return kErrBadTitle;
  Result rc = kOk;
  const std::string engine = EngineFilePath(dir, name);
  if (FileExists(engine)) rc = DeleteFileForced(engine);
  // Its copy in the real System32 under WOW64 (nothing elsewhere).
  if (const Result native = DeleteNativeFile(engine); rc == kOk) rc = native;
  const std::string installDir = InstallDirectoryPath(dir, name);
  if (DirectoryExists(installDir)) rc = RemoveDirectoryTree(installDir);
  return rc;
}

Result CreateInstallDirectory(const std::string& dir, const std::string& name) {
  if (!IsPlainTitle(name)) return kErrBadTitle;
  const std::string path = InstallDirectoryPath(dir, name);
  if (DirectoryExists(path)) return kOk;
  if (CreateDirectoryA(WithoutTrailingBackslash(path).c_str(), nullptr)) return kOk;
  const Result err = LastErrorOr(kErrGeneric);
  // Someone else may have created it meanwhile; that is success, but a file
  // of that name is not an install directory.
  if (err == ERROR_ALREADY_EXISTS && DirectoryExists(path)) return kOk;
  return err;
}

Result PrepareScreenSaverTarget(const std::string& dir, const std::string& name, bool ask,
                                const std::string& questionSuffix) {
  if (!IsPlainTitle(name)) return kErrBadTitle;
  const std::string& windowsDir = Dirs().windowsDir;
  const bool inTarget = ScreenSaverExists(dir, name);
  const bool inWindows = !windowsDir.empty() && ScreenSaverExists(windowsDir, name);
  if ((inTarget || inWindows) && ask) {
    const int answer = MessageDlg(name + questionSuffix, DlgType::Confirmation, {kBtnOk, kBtnCancel});
    if (answer != kBtnOk) return kErrUserDeclined;
  }
  // Leftovers that cannot be removed show up when the new files are written.
  if (inWindows) RemoveScreenSaver(windowsDir, name);
  if (inTarget) RemoveScreenSaver(dir, name);
  return CreateInstallDirectory(dir, name);
}

namespace {

// The version functions, from the system directory's version.dll by its full
// path. The library is not among those every process has loaded, so a static
// import would let the loader take a planted copy from the installer's own
// folder before the program could restrict the search.
struct VersionApi {
  using SizeProc = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using InfoProc = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using QueryProc = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  SizeProc size = nullptr;
  InfoProc info = nullptr;
  QueryProc query = nullptr;

  VersionApi() {
    const std::string path = GetSystemDirectoryPath() + "version.dll";
    HMODULE module = path == "version.dll" ? nullptr : LoadLibraryA(path.c_str());
    if (module == nullptr) return;
    size = reinterpret_cast<SizeProc>(reinterpret_cast<void*>(GetProcAddress(module, "GetFileVersionInfoSizeA")));
    info = reinterpret_cast<InfoProc>(reinterpret_cast<void*>(GetProcAddress(module, "GetFileVersionInfoA")));
    query = reinterpret_cast<QueryProc>(reinterpret_cast<void*>(GetProcAddress(module, "VerQueryValueA")));
  }
  bool usable() const { return size != nullptr && info != nullptr && query != nullptr; }
};

const VersionApi& Version() {
  static const VersionApi api;
  return api;
}

}  // namespace

bool GetFileVersion64(const std::string& path, uint64_t* version) {
  const VersionApi& api = Version();
  if (!api.usable()) return false;
  DWORD ignored = 0;
  const DWORD size = api.size(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> block(size);
  if (!api.info(path.c_str(), 0, size, block.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!api.query(block.data(), "\\", reinterpret_cast<void**>(&info), &len) || info == nullptr ||
      len < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  *version = (static_cast<uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
  return true;
}

void GetFileVersionNumbers(const std::string& path, int& major, int& release) {
  uint64_t version = 0;
  if (!GetFileVersion64(path, &version)) return;
  major = static_cast<int>(version >> 48);
  release = static_cast<int>((version >> 16) & 0xFFFF);
}

namespace {

// One system-directory file this run wrote: the copy of what was there
// before, or "" when nothing was.
struct SystemFileRecord {
  std::string target;
  std::string backup;
};

struct SystemFileStore {
  std::vector<SystemFileRecord> records;
  int next = 0;  // numbers the staged files and copies of the process
};

SystemFileStore& SystemFiles() {
  static SystemFileStore store;
  return store;
}

std::string VersionText(uint64_t v) {
  return std::to_string(v >> 48) + "." + std::to_string((v >> 32) & 0xFFFF) + "." +
         std::to_string((v >> 16) & 0xFFFF) + "." + std::to_string(v & 0xFFFF);
}

// The work directory's folder of staged files and copies.
Result SystemFilesFolder(std::string* dir) {
  if (Dirs().workDir.empty()) return kErrGeneric;
  *dir = Dirs().workDir + kSystemFilesFolder + "\\";
  if (DirectoryExists(*dir)) return kOk;
  if (CreateDirectoryA(WithoutTrailingBackslash(*dir).c_str(), nullptr)) return kOk;
  return LastErrorOr(kErrGeneric);
}

}  // namespace

Result SystemFileStagingPath(std::string* path) {
  std::string dir;
  if (Result rc = SystemFilesFolder(&dir); rc != kOk) return rc;
  *path = dir + std::to_string(++SystemFiles().next) + ".new";
  return kOk;
}

Result PlaceSystemFile(const std::string& staged, const std::string& target) {
  SystemFileStore& store = SystemFiles();
  if (!FileExists(target)) {
    if (!CopyFileA(staged.c_str(), target.c_str(), TRUE)) return LastErrorOr(kIoWriteFailed);
    store.records.push_back({target, std::string()});
    DebugLog("system file created: " + target);
    return kOk;
  }
  uint64_t packaged = 0;
  uint64_t existing = 0;
  const bool packagedHas = GetFileVersion64(staged, &packaged);
  const bool existingHas = GetFileVersion64(target, &existing);
  if (!packagedHas || (existingHas && packaged <= existing)) {
    DebugLog("system file kept: " + target + " (" + (existingHas ? VersionText(existing) : "no version") +
             ", packaged " + (packagedHas ? VersionText(packaged) : "no version") + ")");
    return kOk;
  }
  std::string dir;
  if (Result rc = SystemFilesFolder(&dir); rc != kOk) return kErrSystemFileNotReplaced;
  const std::string backup = dir + std::to_string(++store.next) + ".old";
  if (!CopyFileA(target.c_str(), backup.c_str(), FALSE)) {
    DebugLog("system file not copied aside: " + target + " (error " + std::to_string(GetLastError()) + ")");
    return kErrSystemFileNotReplaced;
  }
  // Refused is refused: a file of the system directory that cannot be
  // deleted (in use, protected) fails the install instead of passing as kept.
  if (const DWORD err = DeleteOnce(target); err != 0) {
    LogRefusedDeletion(target, err, 1);
    DeleteFileForced(backup);
    return kErrSystemFileNotReplaced;
  }
  store.records.push_back({target, backup});
  if (!CopyFileA(staged.c_str(), target.c_str(), TRUE)) return LastErrorOr(kIoWriteFailed);
  DebugLog("system file replaced: " + target + " (" + (existingHas ? VersionText(existing) : "no version") +
           " by " + VersionText(packaged) + ")");
  return kOk;
}

void RestoreSystemFiles() {
  std::vector<SystemFileRecord>& records = SystemFiles().records;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->backup.empty()) {
      DeleteFileForced(it->target);
      DebugLog("system file removed: " + it->target);
    } else if (CopyFileClearingAttributes(it->backup, it->target, false)) {
      DebugLog("system file put back: " + it->target);
    } else {
      DebugLog("system file not put back: " + it->target + " (error " + std::to_string(GetLastError()) + ")");
    }
  }
  records.clear();
}

bool CopyFileClearingAttributes(const std::string& source, const std::string& destination,
                                bool failIfExists) {
  if (FileExists(source)) SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (FileExists(destination)) SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
  return CopyFileA(source.c_str(), destination.c_str(), failIfExists ? TRUE : FALSE) != 0;
}

void ForceDirectoryPath(const std::string& dir) {
  // Walk up to the first existing ancestor, never past the root of the path,
  // then create the missing levels from the outermost inwards.
  std::vector<std::string> missing;
  std::string current = dir;
  while (current.size() > PathRootLength(current) && !DirectoryExists(current)) {
    missing.push_back(WithoutTrailingBackslash(current));
    const std::string parent = ParentDirectory(current);
    if (parent.empty() || parent.size() >= current.size()) break;
    current = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    CreateDirectoryA(it->c_str(), nullptr);
  }
}

}  // namespace ss
