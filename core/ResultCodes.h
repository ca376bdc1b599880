// Result codes of the installer: every program code is named here and only
// here. A result code is a signed 32-bit integer: 0 is success, a positive
// value is an operating-system (or runtime I/O) error number passed through
// unchanged, a negative value is one of the program's own codes below.
#pragma once

#include <cstdint>

namespace ss {

using Result = int32_t;

constexpr Result kOk = 0;

// Operating-system numbers the program gives a meaning of its own.
constexpr Result kOsAccessDenied = 5;     // privileges text and box
constexpr Result kOsSharingViolation = 32;
constexpr Result kIoReadPastEnd = 100;    // runtime: a read ended early
constexpr Result kIoWriteFailed = 101;    // runtime: a write came up short

// Generic failure of a step that has no more specific code (a deletion with
// no tries, a directory tree that could not be emptied completely).
constexpr Result kErrGeneric = -1;

// Package and extraction.
constexpr Result kErrOutOfMemory = -7;        // no memory for an item; Flash setup not started
constexpr Result kErrFileNumber = -12;        // entry number beyond the data file's count
constexpr Result kErrWrongSize = -13;         // expanded file has the wrong size
constexpr Result kErrDataFileNotOpen = -15;   // saver data file not open
constexpr Result kErrFileMissing = -16;       // expected file not found
constexpr Result kErrShortSegment = -30;      // fewer bytes read or copied than the segment's size
constexpr Result kErrShortHeader = -31;       // package header shorter than its fixed size
constexpr Result kErrFileBusy = -32;          // an existing file could not be deleted
constexpr Result kErrNoDecompressor = -35;    // the decompression library could not be loaded
constexpr Result kErrEngineBusy = -38;        // an existing screen saver engine could not be deleted

// Flash presentation and player.
constexpr Result kErrFlashSetupMissing = -401;  // the Flash setup file is missing
constexpr Result kErrFlashMissing = -402;       // required player missing, cannot be installed
constexpr Result kErrMovieNoControl = -403;     // no Flash control could be created
constexpr Result kErrSwfSignature = -404;       // not an "FWS" (or "CWS") movie
constexpr Result kErrSwfTooNew = -405;          // movie version above 8
constexpr Result kErrSwfTooOld = -406;          // movie version below 3
constexpr Result kErrMovieUnload = -409;        // unloading the previous control failed
constexpr Result kErrPlayerTooOld = -410;       // installed player older than the movie

// Install flow.
constexpr Result kErrUserDeclined = -454;       // user declined to overwrite a screen saver
constexpr Result kErrFlashNotOnNT = -455;       // carried Flash version cannot run on NT 4
constexpr Result kErrCopyPackage = -523;        // copying the executable to the package copy failed
constexpr Result kErrSegmentNoName = -531;      // a segment a step needs has no name
constexpr Result kErrCopyEntry = -532;          // a copied data-file entry could not be copied

// Uninstall registration.
constexpr Result kErrUninstallWrite = -2201;
constexpr Result kErrUninstallDelete = -2202;

// Codes for faults the installer refuses on purpose (hostile or damaged input,
// exhausted resources). Each cause has a code of its own.
constexpr Result kErrWorkDirsExhausted = -601;  // every work-directory name is taken
constexpr Result kErrBadEntryName = -602;       // an entry or segment name leaves its directory
constexpr Result kErrBadTitle = -603;           // the title is not a plain file name
constexpr Result kErrBadEntryCount = -604;      // data-file entry count out of range
constexpr Result kErrBadFlashIndex = -605;      // Flash version index other than 0 or 1
constexpr Result kErrWorkDirUnprotected = -606;  // the work directory's private access list cannot be built
constexpr Result kErrForeignUninstallEntry = -607;  // the title's uninstall entry is another program's
constexpr Result kErrSystemLibrary = -608;      // a segment would write one of Windows' own libraries
constexpr Result kErrSystemFileNotReplaced = -609;  // a system-directory file could not be backed up or removed
constexpr Result kErrEngineNameNotTitle = -610;  // the engine segment is not named after the title
constexpr Result kErrSwfTruncated = -611;       // SWF file ends inside a field
constexpr Result kErrSwfTagLength = -612;       // SWF tag length overflows the file
constexpr Result kErrSwfColourTag = -613;       // SWF background-colour tag too short
constexpr Result kErrCorruptPicture = -620;     // the presentation picture cannot be decoded
constexpr Result kErrMovieBroken = -614;        // compressed movie does not inflate, or the control refuses it
constexpr Result kErrSharedEntryBytes = -615;   // a data-file entry's record or bytes overlap another entry's

}  // namespace ss
