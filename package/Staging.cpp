#include "package/Staging.h"

#include <windows.h>

#include <vector>

#include "core/DebugLog.h"
#include "core/MessageDlg.h"
#include "core/Strings.h"
#include "core/WinFile.h"
#include "package/PackageReader.h"
#include "package/PackageRoles.h"
#include "package/ReadingRules.h"
#include "package/SegmentTargets.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {
namespace {

Result StageSegment(int index) {
  if (!PackageHeader().segments[index].present()) return kErrSegmentNoName;
  FileHandle stream;
  if (Result rc = OpenPackageStream(stream); rc != kOk) return rc;
  return ExtractSegment(stream.get(), index, false);
}

void SetStatus(StringId id) {
  if (InstallProgress* p = CurrentInstallProgress()) p->setStatus(LoadStr(id));
}

}  // namespace

Result StageCompanionFile() { return StageSegment(kSegCompanion); }

Result StageFlashSetup() {
  DebugLog("FlashActiveX:" + PackageHeader().segments[kSegFlashSetup].name);
  return StageSegment(kSegFlashSetup);
}

Result StageLicenseText() { return StageSegment(kSegLicense); }

Result StagePresentation() {
  TPackageHeader& header = PackageHeader();
  TSegmentEntry& segment = header.segments[kSegPresentation];
  if (!segment.present()) return kErrSegmentNoName;
  std::string name = segment.name;
  if (header.displayMode == dmBitmap) name = ReplaceExtension(name, ".BMP");
  if (header.displayMode == dmJpeg) name = ReplaceExtension(name, ".jpg");
  // The header keeps length-prefixed names of at most 255 characters.
  if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
  segment.name = name;
  return StageSegment(kSegPresentation);
}

Result StageScreenSaverFiles(const std::function<bool()>& cancelled) {
  FileHandle stream;
  if (Result rc = OpenPackageStream(stream); rc != kOk) return rc;
  const int first = PackageHeader().hasCompanionFile ? kSegCompanion : kSegEngine;
  DecompressorSession session;
  Result rc = kOk;
  for (int i = first; i <= kSegSupportLib2 && rc == kOk; ++i) {
    if (cancelled && cancelled()) break;
    rc = ExtractSegment(stream.get(), i, true);
  }
  return rc;
}

Result ReadSaverDataHeader() {
  const std::string path = SaverDataFilePath();
  FileHandle file = OpenForReading(path);
  Result rc = file ? kOk : LastErrorOr(kIoReadPastEnd);
  if (rc == kOk) {
    std::vector<uint8_t> bytes(kSaverDataHeaderSize);
    rc = ReadExact(file.get(), bytes.data(), kSaverDataHeaderSize);
    if (rc == kOk) SaverDataHeader() = TSaverDataHeader::Parse(bytes.data());
  }
  if (rc != kOk) showInstallError(rc, path);
  return rc;
}

Result ExpandSaverDataFile() {
  SetStatus(StringId::ExpandingFiles);
  const std::string installDir = InstallDirectory();
  Result rc = OpenSaverDataFile(SaverDataFilePath());
  std::string firstName;
  auto& entries = SaverFileEntries();
  if (rc == kOk) {
    if (SaverDataHeader().contentKind() == TSaverDataHeader::kContentKindMovie) {
      entries[1].entryType = TSaverFileEntry::kTypeCopy;
    }
    firstName = entries[1].fileName;
  }
  const int32_t count = rc == kOk ? SaverDataHeader().entryCount() : 0;
  DecompressorSession session;
  for (int32_t i = 1; i <= count && rc == kOk; ++i) {
    const TSaverFileEntry& entry = entries[static_cast<size_t>(i)];
    if (entry.fileName.empty()) continue;
    if (entry.entryType != TSaverFileEntry::kTypeCopy) {
      rc = ExtractSaverEntry(installDir, i);
      continue;
    }
    // A copied entry: entry 1 is the installer's movie, later ones copies of
    // entry 1's file. Both names must stay inside the install directory.
    if (Result named = CopiedEntryRule(entry.fileName, i, firstName); named != kOk) {
      showInstallError(named, entry.fileName);
      rc = named;
      break;
    }
    const std::string source = i == 1 ? Dirs().workDir + kMovieName : installDir + firstName;
    const std::string destination = installDir + entry.fileName;
    const std::string folder = DirectoryPart(destination);
    if (!folder.empty() && !DirectoryExists(folder)) ForceDirectoryPath(folder);
    if (!CopyFileClearingAttributes(source, destination, false) && source != destination) {
      rc = kErrCopyEntry;
      showInstallError(kErrCopyEntry, source);
    }
  }
  if (rc == kOk) {
    rc = CloseSaverDataFile();
    if (InstallProgress* p = CurrentInstallProgress()) p->stepProgress();
  } else {
    // A failed entry must not leave the data file open: the install deletes
    // it afterwards, and an open file would keep it and the work directory.
    CloseSaverDataFile();
  }
  // The first entry is marked for archiving, as the engine expects of the
  // file it shows first.
  const std::string firstPath = installDir + firstName;
  const DWORD attributes = GetFileAttributesA(firstPath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(firstPath.c_str(), attributes | FILE_ATTRIBUTE_ARCHIVE);
  return rc;
}

Result WriteSaverSettings() {
  SetStatus(StringId::WritingSaverDataFile);
  const std::string path = InstallDirectory() + "saver.dat";
  FileHandle file = CreateForWriting(path);
  Result rc = file ? kOk : LastErrorOr(kIoWriteFailed);
  if (rc == kOk) {
    std::vector<uint8_t> bytes(kSaverDataHeaderSize);
    SaverDataHeader().Write(bytes.data());
    rc = WriteAll(file.get(), bytes.data(), kSaverDataHeaderSize);
  }
  file.reset();
  if (rc != kOk) showInstallError(rc, path);
  return rc;
}

}  // namespace ss
