// Reading the package and the screen saver data file it carries, and writing
// their segments and entries to disk. Windows only.
//
// Calling order: CopyPackageToWorkDirectory, ReadPackageHeader (which also
// writes segment 1, the decompression library, to the work directory), then
// ExtractSegment for the segments the staging steps need, each with a stream
// the caller opens on the package copy. For the data file: OpenSaverDataFile,
// ExtractSaverEntry for entries 1..entryCount, CloseSaverDataFile.
// Compressed items are expanded straight from the file they are in, in
// blocks: memory does not grow with an item's size.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/ResultCodes.h"
#include "core/WinHandles.h"
#include "core/WindowStatus.h"
#include "package/PackageRecords.h"

namespace ss {

// The process-wide package header, filled by ReadPackageHeader.
TPackageHeader& PackageHeader();

// The window that shows status and progress while segments are written;
// nullptr (the default) shows nothing.
void SetInstallProgress(InstallProgress* progress);
InstallProgress* CurrentInstallProgress();

// Work directory + "temp.dat".
std::string PackageCopyPath();
// System directory + title + " dir\".
std::string InstallDirectory();
// Work directory + the name of segment 8.
std::string SaverDataFilePath();

// A read stream on the package copy (an open file handle, shared for
// reading). Returns 0 or the system's error number.
Result OpenPackageStream(FileHandle& stream);

// Copies the running executable to the package copy, deleting an earlier
// copy first. A failure shows the -523 message and returns the underlying
// code.
Result CopyPackageToWorkDirectory(const std::string& executablePath);

// Reads the package header at `packageOffset` of the package copy and writes
// segment 1 to the work directory. -31 (with its message) when the copy is
// too short; -603 when the title is not a plain file name; -608 when a
// segment would write one of Windows' own libraries (SystemFilesRule); -610
// when the engine is not named after the title (EngineNameRule).
Result ReadPackageHeader(int32_t packageOffset);

// Target path of a segment under the current directory set ("" for a type
// without a target).
std::string SegmentTargetPath(const TSegmentEntry& segment);

// Writes segment `index` (0..10) from `stream` to its target path. A file of
// the system directory other than the engine goes through PlaceSystemFile
// (winsys/LMT_FileUtils.h): replaced only by a newer version, its old copy
// kept for the clean-up, a refused deletion a failure (-609).
Result ExtractSegment(HANDLE stream, int index, bool showProgress);

// While one of these exists, compressed segments and entries are expanded
// through one impborl.dll loaded from the work directory at the first of
// them, instead of one loaded and released for each. The last one to go
// releases the library: the work directory cannot be removed while it is
// loaded, so a session spans one install step, never a wait for the user.
class DecompressorSession {
 public:
  DecompressorSession();
  ~DecompressorSession();
  DecompressorSession(const DecompressorSession&) = delete;
  DecompressorSession& operator=(const DecompressorSession&) = delete;
};

// The data file's header as last read by OpenSaverDataFile or
// ReadSaverDataHeader; written out as "saver.dat".
TSaverDataHeader& SaverDataHeader();
// The file-entry table: slot 0 unused, slots 1..entryCount filled.
std::array<TSaverFileEntry, kSaverEntrySlots>& SaverFileEntries();
bool SaverDataOpen();

Result OpenSaverDataFile(const std::string& path);
Result ExtractSaverEntry(const std::string& targetDir, int entryNumber);
Result CloseSaverDataFile();

}  // namespace ss
