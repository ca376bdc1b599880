// File and path services of the installer: the process-wide directory set,
// the numbered work directory, forced and retried deletion, removal of
// directory trees, the screen saver pair (engine file and install directory)
// with the preparation of the install target, file versions, copies and
// directory paths. Windows only; the pure name helpers are in
// LMT_StringUtils.h.
#pragma once

#include <cstdint>
#include <windows.h>

#include <string>
#include <vector>

#include "core/ResultCodes.h"

namespace ss {

// The four directories every part of the installer works with. Each path
// ends with a backslash, so file names are appended directly.
struct DirectorySet {
  std::string windowsDir;    // "WINDIR" (or the system's Windows directory)
  std::string systemDir;     // the system directory
  std::string installerDir;  // the directory of the running executable
  std::string workDir;       // the fresh "LMF<n>" directory under TEMP
};

// The process-wide directory set, empty until InitPaths has run.
const DirectorySet& Dirs();

// Replaces the directory set. InitPaths is its writer in the installer; tests
// use it to point the services at folders of their own.
void SetDirs(const DirectorySet& dirs);

// Fills the directory set from the running executable's full path and creates
// the work directory. Returns 0, or the code of the step that failed (a
// Windows directory that cannot be determined, the work directory).
Result InitPaths(const std::string& exePath);

// "WINDIR" with a trailing backslash; when the variable is unset or empty,
// the system's Windows-directory query. "" only when both fail.
std::string GetWindowsDirectoryPath();

// The system directory with a trailing backslash ("" when the query fails).
std::string GetSystemDirectoryPath();

// The security of the work directory: a descriptor whose access list gives
// the current user (the user of the process token) and SYSTEM full access,
// inherited by files and sub-folders, and nobody else any, with nothing
// inherited from the parent. The work directory holds the package copy, the
// decompression library the installer loads and the Flash setup it starts,
// which another account must not be able to swap. On the 9x family, which
// has no access lists, nothing is tried and attributes() is null.
class PrivateDirectorySecurity {
 public:
  PrivateDirectorySecurity();
  PrivateDirectorySecurity(const PrivateDirectorySecurity&) = delete;
  PrivateDirectorySecurity& operator=(const PrivateDirectorySecurity&) = delete;

  // Whether the descriptor was built; for CreateDirectory (null when not).
  bool usable() const { return attributes_.lpSecurityDescriptor != nullptr; }
  SECURITY_ATTRIBUTES* attributes() { return usable() ? &attributes_ : nullptr; }

 private:
  bool Build(void* me, void* system);

  std::vector<DWORD> acl_;  // the access list the descriptor points at
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// The file a run makes first in each work directory it creates and holds
// open (others may read it, never write or delete it) for as long as it
// uses the directory: the mark that the folder is ours and, while the file
// cannot be opened exclusively, in use.
constexpr char kWorkDirectoryMarker[] = "inuse.lmf";

// Before it makes its own, a run removes the work directories of the same
// prefix that earlier runs left behind (a killed or crashed run never
// reaches its own clean-up): TEMP\<prefix><n>\ for n = 1..1000 that is a
// real folder (no junction or link), owned on the NT family by the token's
// user or default owner, holds the marker and otherwise only files and the
// "sysfiles" folder of files, and whose marker can be opened exclusively
// (no running installer holds it). Anything else is kept untouched. A file
// that cannot be deleted (a program still running from the folder) keeps
// the folder and its marker for a later run.
//
// Creates the first free directory TEMP\<prefix><n>\ for n = 1..1000 and
// returns it in `dir`, with the marker in it, held until the directory is
// removed (RemoveWorkDirectory, RemoveDirectoryTree) or the process ends. TEMP unset or empty falls back to the system's
// temporary path. On the NT family the directory is private: its access list
// gives the current user and SYSTEM full access (inherited by everything in
// it) and nobody else any, with nothing inherited from TEMP; on the 9x family
// (no access lists) it has default security. Returns 0, the operating
// system's error of the last failed creation, -601 when every name was
// already taken, or -606 on the NT family when the private access list
// cannot be built (no directory is made then).
Result MakeWorkDirectory(const std::string& prefix, std::string& dir);

// Deletes a file, clearing its attributes when the first attempt is refused.
// A missing file is success. -32 when the file cannot be deleted.
Result DeleteFileForced(const std::string& path);

// Up to `tries` attempts of DeleteFileForced without pause. A refused file
// gives -38 when its extension is ".scr" (any letter case), else -32; no
// tries gives -1 and touches nothing. `attempts`, when given, receives the
// number of attempts made.
Result DeleteFileRetry(const std::string& path, int tries, int* attempts = nullptr);

// Removes `dir` (ending with a backslash) with everything in it. A file that
// cannot be deleted stops the removal with its code and keeps the directory;
// a subdirectory that cannot be emptied is passed over, and the directory
// then cannot be removed (-1). Junctions and symbolic links are removed
// themselves, never followed. An empty path gives -1. The markers this
// process holds in work directories inside `dir` are given up first.
Result RemoveDirectoryTree(const std::string& dir);

// Removes the installer's work directory with everything in it, as
// RemoveDirectoryTree does. Only an absolute folder below a drive or share
// root, with no "." or ".." part, is taken: anything else (a root, a relative
// path, a file) is refused with kErrGeneric and nothing is touched. An empty
// path or a missing folder is nothing to do.
Result RemoveWorkDirectory(const std::string& directory);

// The end of a run: RemoveWorkDirectory, then what is left because a
// program still runs from the folder (the carried Flash setup, started as
// the quiet install ends) goes at the next start of Windows: on the NT
// family each file left, then the folders, through MoveFileEx's delayed
// deletion; on the 9x family (whose MoveFileEx is a stub that fails) each
// file by a "NUL=<short path>" line appended to wininit.ini's [rename]
// section, keeping the lines already there; its folder and marker are
// left to the next run's clean-up. Returns the removal's code.
Result RemoveWorkDirectoryAtExit(const std::string& directory);

// The screen saver pair of directory `dir` and name `name`.
bool ScreenSaverExists(const std::string& dir, const std::string& name);
Result RemoveScreenSaver(const std::string& dir, const std::string& name);
Result CreateInstallDirectory(const std::string& dir, const std::string& name);

// Makes room for screen saver `name` in `dir`: when a pair exists there or in
// the Windows directory and `ask` is set, asks "<name><questionSuffix>" with
// OK/Cancel (Cancel: -454, nothing changed); removes the old pairs and
// creates the install directory. A name that is no plain title (IsPlainTitle) gives
// -603 before anything is looked at.
Result PrepareScreenSaverTarget(const std::string& dir, const std::string& name, bool ask,
                                const std::string& questionSuffix);

// The major and release numbers of a file's version (7 and 19 for 7.0.19.0).
// Both outputs stay unchanged when the file has no version resource.
void GetFileVersionNumbers(const std::string& path, int& major, int& release);

// The file version of a file's version resource (VS_FIXEDFILEINFO: the MS
// half high, the LS half low), compared as one 64-bit number. False when the
// file has no version resource or version.dll cannot be loaded.
bool GetFileVersion64(const std::string& path, uint64_t* version);

// Files of the system directory other than the engine. The packaged file is
// first written to a private path of the work directory
// (SystemFileStagingPath), then PlaceSystemFile decides as Windows' own
// installers do: a missing target is written; an existing one is replaced
// only when the packaged file's version is newer (a packaged file without a
// version resource never is; one with a version is newer than an existing
// file without one). Before a replacement the existing file is copied into
// the work directory, and the process-wide list of this run records it;
// RestoreSystemFiles, called by the clean-up after a failed or cancelled
// install, puts every copy back and removes every file this run created
// where none was.
//
// SystemFileStagingPath: a fresh path in the work directory's "sysfiles"
// folder (created here); 0, or the system's error creating the folder.
Result SystemFileStagingPath(std::string* path);
// 0 when the packaged file was placed or the existing one kept; -609 when
// the existing file could not be copied aside or its deletion was refused
// (it is then unchanged); the system's error of the final copy otherwise.
// `staged` stays where it is.
Result PlaceSystemFile(const std::string& staged, const std::string& target);
// Newest first; empties the list. A copy that cannot be put back is logged.
void RestoreSystemFiles();

// Copies a file after setting the attributes of source and destination to
// normal. The caller reads GetLastError() when the result is false.
bool CopyFileClearingAttributes(const std::string& source, const std::string& destination,
                                bool failIfExists);

// Creates a directory and its missing ancestors, outermost first. Stops at
// the root of the path; failures show up later as failures to write.
void ForceDirectoryPath(const std::string& dir);

// Small queries the services share.
bool FileExists(const std::string& path);       // exists and is not a directory
bool DirectoryExists(const std::string& path);  // exists and is a directory

}  // namespace ss
