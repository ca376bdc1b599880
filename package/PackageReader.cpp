#include "package/PackageReader.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/DebugLog.h"
#include "core/MessageDlg.h"
#include "core/Messages.h"
#include "core/Strings.h"
#include "core/WinFile.h"
#include "core/WinHandles.h"
#include "package/ReadingRules.h"
#include "package/SegmentTargets.h"
#include "package/TCompressor.h"
#include "winsys/LMT_FileUtils.h"
#include "winsys/LMT_StringUtils.h"

namespace ss {
namespace {

// Stored items are copied through a buffer of this size (the size of the
// blocks an expansion writes).
constexpr DWORD kCopyBlock = 256 * 1024;

InstallProgress* g_progress = nullptr;

struct DataFileState {
  FileHandle file;
  bool open = false;
  std::string path;
  int64_t size = 0;
  TSaverDataHeader header;
  std::array<TSaverFileEntry, kSaverEntrySlots> entries;
  std::vector<EntrySpan> taken;  // the bytes the entries written so far read
};

DataFileState& DataFile() {
  static DataFileState state;
  return state;
}

// SetFilePointer with its high half: the Ex form is missing on Windows 95
// and NT 4.0. An all-ones low half is also a valid answer, so only a last
// error tells a failure.
Result Seek(HANDLE file, int64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return LastErrorOr(kIoReadPastEnd);
  return kOk;
}

// Copies `count` bytes from the current position of `from` to `to`.
Result CopyBytes(HANDLE from, HANDLE to, int64_t count, Result shortCode) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(count, kCopyBlock)));
  while (count > 0) {
    const DWORD n = static_cast<DWORD>(std::min<int64_t>(count, kCopyBlock));
    if (Result rc = ReadExact(from, block.data(), n, shortCode); rc != kOk) return rc;
    if (Result rc = WriteAll(to, block.data(), n); rc != kOk) return rc;
    count -= n;
  }
  return kOk;
}

Result CreateTarget(const std::string& path, FileHandle& file) {
  file = CreateForWriting(path);
  if (!file) return LastErrorOr(kIoWriteFailed);
  return kOk;
}

// Decompressor sessions: while one is open, the expansions share one loaded
// impborl.dll (loaded at the first compressed item) instead of loading and
// releasing it for every item.
struct SharedDecompressor {
  int sessions = 0;
  std::unique_ptr<TCompressor> compressor;
};

SharedDecompressor& Shared() {
  static SharedDecompressor shared;
  return shared;
}

// Expands the `count` imploded bytes at the current position of `source`
// into `target` through impborl.dll from the work directory, reading and
// writing in blocks, then checks the result: -13 when its size is not
// `originalSize`, `shortCode` when the source ends early, the system's
// number of a failed read, create or write (`readFailed` tells a read). The expansion stops writing once it passes `originalSize`,
// so a stream that expands without end cannot fill the disk. `created`
// tells whether a target file now exists.
Result ExpandItem(HANDLE source, int64_t count, const std::string& target, int32_t originalSize,
                  Result shortCode, bool* created, bool* readFailed = nullptr) {
  *created = false;
  // impborl.dll is only ever taken from the work directory by its full path:
  // without a work directory an empty path would make it a search by bare
  // name (the installer's own folder first on older systems).
  if (Dirs().workDir.empty()) return kErrNoDecompressor;
  std::unique_ptr<TCompressor> own;
  TCompressor* compressor = nullptr;
  SharedDecompressor& shared = Shared();
  if (shared.sessions > 0) {
    if (!shared.compressor || !shared.compressor->loaded()) {
      shared.compressor = std::make_unique<TCompressor>(Dirs().workDir);
    }
    compressor = shared.compressor.get();
  } else {
    own = std::make_unique<TCompressor>(Dirs().workDir);
    compressor = own.get();
  }
  if (!compressor->loaded()) return kErrNoDecompressor;
  const TCompressor::Outcome outcome =
      compressor->ExpandFromFile(source, count, target, originalSize < 0 ? 0 : originalSize, shortCode);
  *created = outcome.created;
  if (readFailed != nullptr) *readFailed = outcome.readFailed;
  if (outcome.result == -1) return kErrOutOfMemory;
  if (outcome.result != kOk) {
    DebugLog("ExpandFromFile " + target + ": " + std::to_string(outcome.result));
    return outcome.result;
  }
  return ExpandedRule(outcome.size, originalSize);
}

// The text for a file error: the two runtime numbers of our own (a read that
// ended early, a short write) have texts of their own, which the system's
// table gives to unrelated errors.
std::string IoErrorText(Result code) {
  if (code == kIoReadPastEnd) return "Read beyond end of file.";
  if (code == kIoWriteFailed) return "Disk write error.";
  return SystemErrorText(code);
}

void ShowDataFileReadProblem(Result code) {
  MessageDlg(ComposeDataFileReadProblem(IoErrorText(code)), DlgType::Error, {kBtnAbort});
}

}  // namespace

TPackageHeader& PackageHeader() {
  static TPackageHeader header;
  return header;
}

void SetInstallProgress(InstallProgress* progress) { g_progress = progress; }
InstallProgress* CurrentInstallProgress() { return g_progress; }

std::string PackageCopyPath() { return Dirs().workDir + "temp.dat"; }

std::string InstallDirectory() { return InstallDirectoryPath(Dirs().systemDir, PackageHeader().title); }

std::string SaverDataFilePath() { return Dirs().workDir + PackageHeader().segments[kSegDataFile].name; }

Result OpenPackageStream(FileHandle& stream) {
  stream = OpenForReading(PackageCopyPath());
  if (!stream) {
    const Result rc = LastErrorOr(kIoReadPastEnd);
    showInstallError(rc, PackageCopyPath());
    return rc;
  }
  return kOk;
}

Result CopyPackageToWorkDirectory(const std::string& executablePath) {
  const std::string copy = PackageCopyPath();
  Result rc = DeleteFileRetry(copy, 100);
  if (rc == kOk && !CopyFileClearingAttributes(executablePath, copy, false)) rc = LastErrorOr(kIoReadPastEnd);
  if (rc != kOk) showInstallError(kErrCopyPackage, copy);
  return rc;
}

Result ReadPackageHeader(int32_t packageOffset) {
  FileHandle stream;
  if (Result rc = OpenPackageStream(stream); rc != kOk) return rc;
  std::vector<uint8_t> bytes(kPackageHeaderSize);
  int64_t packageSize = 0;
  Result rc = FileSize(stream.get(), &packageSize);
  if (rc == kOk) rc = HeaderRule(packageSize, packageOffset);
  if (rc == kOk) rc = Seek(stream.get(), packageOffset);
  if (rc == kOk) rc = ReadExact(stream.get(), bytes.data(), kPackageHeaderSize, kErrShortHeader);
  if (rc != kOk) {
    // Whatever stopped the read, the package copy lacks a whole header.
    showInstallError(kErrShortHeader, PackageCopyPath());
    return kErrShortHeader;
  }
  PackageHeader() = TPackageHeader::Parse(bytes.data());
  // The title names the engine, the install directory and a registry key; a
  // title that is not a plain name marks a damaged or hostile package.
  if (Result title = TitleRule(PackageHeader().title); title != kOk) {
    DebugLog("bad title: " + PackageHeader().title);
    return title;
  }
  // A package that would write one of Windows' own libraries is refused
  // before anything is written, whichever segment names it.
  int refused = 0;
  if (Result system = SystemFilesRule(PackageHeader(), &refused); system != kOk) {
    DebugLog("refused system library: segment " + std::to_string(refused) + " " +
             PackageHeader().segments[refused].name);
    return system;
  }
  // The engine is activated and cleaned up by its entry's name, the
  // uninstall entry by the title: the two must name the same file.
  const std::string& engine = PackageHeader().segments[kSegEngine].name;
  if (Result named = EngineNameRule(engine, PackageHeader().title); named != kOk) {
    DebugLog("engine not named after the title: " + engine);
    return named;
  }
  return ExtractSegment(stream.get(), kSegLibrary, false);
}

std::string SegmentTargetPath(const TSegmentEntry& segment) {
  const TargetDirectories dirs{Dirs().workDir, Dirs().systemDir, InstallDirectory()};
  return SegmentTargetPath(segment, dirs);
}

Result ExtractSegment(HANDLE stream, int index, bool showProgress) {
  if (showProgress && g_progress != nullptr) g_progress->setStatus(LoadStr(StringId::WritingScreenSaverFiles));
  if (index < 0 || index >= kSegmentCount) return kErrSegmentNoName;
  const TSegmentEntry segment = PackageHeader().segments[index];
  const std::string target = segment.present() ? SegmentTargetPath(segment) : std::string();
  if (Result named = SegmentNameRule(segment, target); named != kOk) {
    if (named == kErrBadEntryName) DebugLog("refused segment name: " + segment.name);
    showInstallError(named, segment.present() ? segment.name : std::string());
    return named;
  }
  if (Result system = SystemFileRule(segment); system != kOk) {
    DebugLog("refused system library: " + segment.name);
    return system;
  }
  if (showProgress && g_progress != nullptr) g_progress->stepProgress();

  // A file of the system directory other than the engine is written to the
  // work directory first; PlaceSystemFile then decides by its version
  // whether it replaces what is there, keeping a copy for the clean-up.
  const bool systemFile = index != kSegEngine && SegmentTargetOf(segment).place == TargetPlace::kSystem;
  std::string written = target;
  Result rc = kOk;
  bool silent = false;
  if (systemFile) {
    rc = SystemFileStagingPath(&written);
  } else {
    // Remove an old target. Only ".dll" targets report their failures; the
    // others are retried and stay silent (the install sequence reports them).
    const bool isDll = target.size() >= 4 && target.compare(target.size() - 4, 4, ".dll") == 0;
    silent = !isDll;
    rc = isDll ? DeleteFileForced(target) : DeleteFileRetry(target, 1000);
  }

  bool created = false;
  if (rc == kOk) {
    // Offsets are checked against the package before anything is allocated
    // or created: negative, inverted or past the end of the file is -30.
    int64_t packageSize = 0;
    rc = FileSize(stream, &packageSize);
    const int64_t n = segment.storedLength();
    if (rc == kOk) rc = SegmentRangeRule(segment, packageSize);
    // A stored segment is copied whole, as its offsets give it; its
    // originalSize is not read.
    if (rc == kOk) rc = Seek(stream, segment.startOffset);
    if (rc == kOk && segment.compressed) {
      rc = ExpandItem(stream, n, written, segment.originalSize, kErrShortSegment, &created);
    } else if (rc == kOk) {
      FileHandle out;
      rc = CreateTarget(written, out);
      if (rc == kOk) {
        created = true;
        DebugLog("file created: " + written);
        rc = CopyBytes(stream, out.get(), n, kErrShortSegment);
        if (rc == kOk) DebugLog("sizeExtracted: " + std::to_string(n));
      }
    }
  }
  if (rc == kOk && systemFile) {
    rc = PlaceSystemFile(written, target);
    DeleteFileForced(written);
    created = false;
  }

  if (rc == kErrFileBusy && !systemFile) {
    // The old file is in use and stays; the segment counts as written.
    DebugLog("busy target kept: " + target);
    return kOk;
  }
  if (rc != kOk) {
    // A file this call wrote is wrong or incomplete: it goes. (A system
    // file's target is the clean-up's to restore.)
    if (created) DeleteFileForced(written);
    if (!silent) showInstallError(rc, target);
    DebugLog("ExtractSegment " + std::to_string(index) + " failed: " + std::to_string(rc));
  }
  return rc;
}

DecompressorSession::DecompressorSession() { ++Shared().sessions; }

DecompressorSession::~DecompressorSession() {
  SharedDecompressor& shared = Shared();
  // The last session releases the library, so that the work directory can
  // go with it.
  if (--shared.sessions == 0) shared.compressor.reset();
}

TSaverDataHeader& SaverDataHeader() { return DataFile().header; }
std::array<TSaverFileEntry, kSaverEntrySlots>& SaverFileEntries() { return DataFile().entries; }
bool SaverDataOpen() { return DataFile().open; }

Result OpenSaverDataFile(const std::string& path) {
  DataFileState& df = DataFile();
  if (df.open) {
    MessageDlg(ComposeDataFileInUse(), DlgType::Information, {kBtnAbort});
    return kOk;
  }
  df.path = path;
  df.file = OpenForReading(path);
  Result rc = df.file ? kOk : LastErrorOr(kIoReadPastEnd);
  if (rc == kOk) rc = FileSize(df.file.get(), &df.size);
  std::vector<uint8_t> bytes(kSaverDataHeaderSize);
  if (rc == kOk) rc = ReadExact(df.file.get(), bytes.data(), kSaverDataHeaderSize, kIoReadPastEnd);
  if (rc == kOk) {
    df.header = TSaverDataHeader::Parse(bytes.data());
    df.open = true;
    df.entries.fill(TSaverFileEntry());
    df.taken.clear();
    const int32_t count = df.header.entryCount();
    // The table has room for 1010 entries; a count beyond that (or below
    // zero) cannot come from a sound data file.
    rc = EntryCountRule(count);
    uint8_t entry[kSaverFileEntrySize];
    for (int32_t i = 1; rc == kOk && i <= count; ++i) {
      rc = ReadExact(df.file.get(), entry, kSaverFileEntrySize, kIoReadPastEnd);
      if (rc == kOk) df.entries[static_cast<size_t>(i)] = TSaverFileEntry::Parse(entry);
    }
  }
  if (rc != kOk) {
    // A data file that could not be read whole is not left open: nothing
    // could be extracted from it, and an open handle would keep it from
    // being deleted.
    df.file.reset();
    df.open = false;
    MessageDlg(ComposeDataFileOpenProblem(path, rc), DlgType::Error, {kBtnAbort});
  }
  return rc;
}

Result ExtractSaverEntry(const std::string& targetDir, int entryNumber) {
  DataFileState& df = DataFile();
  if (entryNumber > df.header.entryCount() || entryNumber < 1) return kErrFileNumber;
  if (!df.open) return kErrDataFileNotOpen;
  const TSaverFileEntry& entry = df.entries[static_cast<size_t>(entryNumber)];
  const std::string target = targetDir + entry.fileName;

  uint8_t recordBytes[kChunkRecordSize];
  Result rc = ChunkRecordPlaceRule(entry.recordOffset, df.size);
  if (rc == kOk) rc = Seek(df.file.get(), entry.recordOffset);
  if (rc == kOk) rc = ReadExact(df.file.get(), recordBytes, kChunkRecordSize, kIoReadPastEnd);
  if (rc != kOk) {
    ShowDataFileReadProblem(rc);
    return rc;
  }
  const TChunkRecord record = TChunkRecord::Parse(recordBytes);
  // The stored bytes must lie inside the data file: checked before any
  // allocation or file creation, as a read past the end would fail anyway.
  const EntryVerdict verdict = EntryRule(entry, record, df.size);
  if (!verdict.writes) return kOk;
  if (verdict.code == kErrBadEntryName) {
    DebugLog("refused entry name: " + entry.fileName);
    showInstallError(kErrBadEntryName, entry.fileName);
  }
  if (verdict.code == kIoReadPastEnd) ShowDataFileReadProblem(kIoReadPastEnd);
  if (verdict.code != kOk) return verdict.code;
  // Bytes an earlier entry read (its record or its stored bytes) are no
  // entry's own: refused before anything is created.
  if (Result overlap = EntryOverlapRule(entryNumber, entry.recordOffset, verdict, &df.taken); overlap != kOk) {
    DebugLog("refused entry reading another entry's bytes: " + entry.fileName);
    showInstallError(overlap, entry.fileName);
    return overlap;
  }
  const int64_t stored = verdict.stored;

  const std::string dir = DirectoryPart(target);
  if (!dir.empty() && !DirectoryExists(dir)) ForceDirectoryPath(dir);

  bool created = false;
  bool ioError = false;
  if (record.compressed) {
    rc = ExpandItem(df.file.get(), stored, target, record.originalSize, kIoReadPastEnd, &created, &ioError);
  } else {
    FileHandle out;
    rc = CreateTarget(target, out);
    ioError = rc != kOk;
    if (rc == kOk) {
      created = true;
      rc = CopyBytes(df.file.get(), out.get(), stored, kIoReadPastEnd);
      ioError = rc != kOk;
    }
  }
  if (rc != kOk) {
    if (ioError) ShowDataFileReadProblem(rc);
    // A failed entry leaves no file behind, also when it expanded wrongly.
    if (created) DeleteFileForced(target);
  }
  return rc;
}

Result CloseSaverDataFile() {
  DataFileState& df = DataFile();
  if (!df.open) return kOk;
  const HANDLE h = df.file.release();
  df.open = false;
  if (!CloseHandle(h)) {
    const Result rc = LastErrorOr(kIoReadPastEnd);
    MessageDlg(ComposeCloseProblem(df.path, IoErrorText(rc)), DlgType::Error, {kBtnAbort});
    return rc;
  }
  return kOk;
}

}  // namespace ss
