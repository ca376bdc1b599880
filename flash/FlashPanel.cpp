#include "flash/FlashPanel.h"

#include <zlib.h>

#include <cctype>
#include <vector>

#include "core/DebugLog.h"
#include "core/WinFile.h"
#include "core/WinHandles.h"
#include "flash/FlashPlayer.h"
#include "winsys/LMT_FileUtils.h"

namespace ss {
namespace {

constexpr char kPanelClass[] = "TFlashPanel";
constexpr char kCompressedName[] = "compressedSWFSegment.swf";
constexpr char kUncompressedName[] = "unCompressedSWF.swf";
constexpr DWORD kCopyBlock = 2048;
constexpr DWORD kInflateBlock = 64 * 1024;

}  // namespace

TFlashPanel::TFlashPanel(HWND parent, int x, int y, int width, int height) {
  // The class is registered once, with the window wrapper's procedure.
  if (Window::RegisterClass(kPanelClass, nullptr, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS)) {
    createWindow(kPanelClass, 0, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP, "", x, y, width, height,
                 parent, 0);
  }
}

TFlashPanel::~TFlashPanel() {
  if (flashControl_) {
    flashControl_->StopPlay();
    flashControl_.reset();
  }
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  removeTempDirectory();
}

void TFlashPanel::removeTempDirectory() {
  if (tempDir_.empty()) return;
  const Result removed = RemoveWorkDirectory(tempDir_);
  if (removed != kOk) DebugLog("movie folder not removed: " + std::to_string(removed) + " " + tempDir_);
  tempDir_.clear();
}

LRESULT TFlashPanel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(hwnd_, &r);
    HBRUSH brush = CreateSolidBrush(color_);
    FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
    DeleteObject(brush);
    return 1;
  }
  return Window::handleMessage(message, wParam, lParam);
}

Result TFlashPanel::playMovie(const std::string& name) {
  DebugLog("playMovie " + name);
  if (name.empty() || name == swfFilename_) return kOk;
  swfFilename_ = name;

  Result r = readSWFFileFormatType(swfFilename_, movie_.swfSignature);
  if (r == kOk) {
    if (movie_.swfSignature == "FWS") {
      r = readSWFFile_FWS_Format(swfFilename_, movie_);
    } else if (movie_.swfSignature == "CWS") {
      r = inflateSWFFileToTempFile();
      if (r == kOk) r = readSWFFile_FWS_Format(tempDir_ + kUncompressedName, movie_);
    }
  }
  if (r == kOk) r = checkPlayerVersion();
  if (r == kOk) unloadFlashControl();
  if (r == kOk) r = createFlashControl();
  if (r == kOk) r = loadAndPlayMovie();
  return r;
}

Result TFlashPanel::checkPlayerVersion() {
  bool found = false;
  int32_t major = 0;
  const Result r = probeFlashControlVersion(found, major, flashProbeTiming().panelProbeAttempts);
  if (r == kOk && found && movie_.swfVersion > major) return kErrPlayerTooOld;
  return r;
}

Result TFlashPanel::unloadFlashControl() {
  if (!flashControl_) return kOk;
  // A control that cannot stop stays in place; the next creation then finds
  // it and loads the new movie into it.
  if (FAILED(flashControl_->StopPlay())) return kErrMovieUnload;
  flashControl_.reset();
  // Let one pending message through (the control's window is gone); never
  // wait for one, so an idle queue cannot stall the panel.
  MSG msg;
  if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
    } else {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return kOk;
}

Result TFlashPanel::createFlashControl() {
  // Without its own window the panel has nowhere to put a control.
  if (hwnd_ == nullptr && !flashControl_) return kErrMovieNoControl;
  RECT bounds = {0, 0, 0, 0};
  if (hwnd_ != nullptr) GetClientRect(hwnd_, &bounds);
  const int attempts = flashProbeTiming().createAttempts;
  for (int i = 0; i < attempts && !flashControl_; ++i) {
    std::unique_ptr<TShockwaveFlash> control;
    if (SUCCEEDED(TShockwaveFlash::Create(hwnd_, bounds, control))) flashControl_ = std::move(control);
  }
  if (!flashControl_) return kErrMovieNoControl;
  // Set-up failures leave the control in place: the movie may still play.
  flashControl_->setOnFSCommand(
      [this](const std::string& command, const std::string& args) { handleFSCommand(command, args); });
  flashControl_->setScaleMode(0);
  flashControl_->SetVariable("Align", "AlClient");
  flashControl_->setWMode("Opaque");
  flashControl_->setMenu(false);
  return kOk;
}

Result TFlashPanel::loadAndPlayMovie() {
  // The control gets the caller's file, the compressed one for "CWS".
  if (FAILED(flashControl_->DoVerb(OLEIVERB_HIDE)) || FAILED(flashControl_->setMovie(swfFilename_)) ||
      FAILED(flashControl_->Play()) || FAILED(flashControl_->DoVerb(OLEIVERB_SHOW)))
    return kErrMovieBroken;
  return kOk;
}

void TFlashPanel::stopMovie() {
  if (flashControl_) {
    flashControl_->StopPlay();
    flashControl_.reset();
  }
  color_ = RGB(0, 0, 0);
  if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, TRUE);
  swfFilename_.clear();
}

void TFlashPanel::focusMovie() {
  if (hwnd_ == nullptr || !IsWindowVisible(hwnd_) || !flashControl_) return;
  InvalidateRect(hwnd_, nullptr, TRUE);
  UpdateWindow(hwnd_);
  SetFocus(hwnd_);
  if (HWND control = flashControl_->controlWindow(); control != nullptr) SetFocus(control);
}

void TFlashPanel::handleFSCommand(const std::string& command, const std::string& args) {
  std::string upper = command;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper != "ALLOWSCALE" || !enableAllowScale) return;
  std::string head = args.substr(0, 4);
  for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  setAllowScale(head == "TRUE" ? 1 : 0);
}

void TFlashPanel::setAllowScale(int32_t value) {
  if (movie_.allowScale != value) movie_.allowScale = value;
}

namespace {

// Copies a compressed movie's zlib stream (everything after its 8-byte
// header) to its own file; `header` receives the header.
Result CopyCompressedStream(const std::string& moviePath, const std::string& streamPath, uint8_t (&header)[8]) {
  FileHandle movie = OpenForReading(moviePath);
  if (!movie) return LastErrorOr(kErrFileMissing);
  DebugLog("AssignFile");
  if (Result rc = ReadExact(movie.get(), header, sizeof header, kErrSwfTruncated); rc != kOk) return rc;
  FileHandle segment = CreateForWriting(streamPath);
  if (!segment) return LastErrorOr(kIoWriteFailed);
  std::vector<uint8_t> block(kCopyBlock);
  DWORD got = 0;
  for (;;) {
    if (!ReadFile(movie.get(), block.data(), kCopyBlock, &got, nullptr)) return LastErrorOr(kIoReadPastEnd);
    if (got == 0) return kOk;
    if (Result rc = WriteAll(segment.get(), block.data(), got); rc != kOk) return rc;
  }
}

// Inflates the zlib stream of `source` onto the end of `target`; more than
// `limit` bytes of output is a broken movie. A stream that ends early keeps
// what was inflated.
Result InflateWithLimit(HANDLE source, HANDLE target, uint64_t limit) {
  z_stream z = {};
  if (inflateInit(&z) != Z_OK) return kErrMovieBroken;
  std::vector<uint8_t> in(kInflateBlock), out(kCopyBlock);
  uint64_t total = 0;
  Result rc = kOk;
  int zrc = Z_OK;
  while (rc == kOk && zrc != Z_STREAM_END) {
    if (z.avail_in == 0) {
      DWORD got = 0;
      if (!ReadFile(source, in.data(), kInflateBlock, &got, nullptr)) {
        rc = LastErrorOr(kIoReadPastEnd);
        break;
      }
      if (got == 0) break;  // the stream ends early: keep what was inflated
      z.next_in = in.data();
      z.avail_in = got;
    }
    z.next_out = out.data();
    z.avail_out = kCopyBlock;
    zrc = inflate(&z, Z_NO_FLUSH);
    if (zrc != Z_OK && zrc != Z_STREAM_END && zrc != Z_BUF_ERROR) {
      DebugLog(std::string("inflate: ") + (z.msg != nullptr ? z.msg : "error"));
      rc = kErrMovieBroken;
      break;
    }
    const DWORD produced = kCopyBlock - z.avail_out;
    if (total + produced > limit) {
      rc = kErrMovieBroken;
      break;
    }
    total += produced;
    if (produced > 0) {
      DebugLog("BlockWrite");
      rc = WriteAll(target, out.data(), produced);
    }
  }
  inflateEnd(&z);
  return rc;
}

}  // namespace

Result TFlashPanel::inflateSWFFileToTempFile() {
  DebugLog("inflateSWFFileToTempFile");
  Result result = kOk;
  if (tempDir_.empty()) {
    result = MakeWorkDirectory("FlashPanel", tempDir_);
    if (result != kOk) {
      tempDir_.clear();
      DebugLog("inflateSWFFileToTempFile " + std::to_string(result));
      return result;
    }
  }
  auto finish = [&](Result rc) {
    DebugLog("inflateSWFFileToTempFile " + std::to_string(rc));
    return rc;
  };
  if (!FileExists(swfFilename_)) return finish(kOk);

  // 1. The zlib stream after the 8-byte header goes to its own file.
  uint8_t header[8];
  if (Result rc = CopyCompressedStream(swfFilename_, tempDir_ + kCompressedName, header); rc != kOk) {
    return finish(rc);
  }

  // 2. Inflate it behind an "FWS" header with the movie's version and
  // length. The output stops at the declared length, so a small damaged or
  // hostile movie cannot fill the disk.
  DebugLog("creating filestream");
  FileHandle source = OpenForReading(tempDir_ + kCompressedName);
  if (!source) return finish(LastErrorOr(kErrFileMissing));
  FileHandle target = CreateForWriting(tempDir_ + kUncompressedName);
  if (!target) return finish(LastErrorOr(kIoWriteFailed));
  uint8_t fws[8] = {'F', 'W', 'S', header[3], header[4], header[5], header[6], header[7]};
  if (Result rc = WriteAll(target.get(), fws, sizeof fws); rc != kOk) return finish(rc);
  const uint64_t declared = static_cast<uint64_t>(header[4]) | static_cast<uint64_t>(header[5]) << 8 |
                            static_cast<uint64_t>(header[6]) << 16 | static_cast<uint64_t>(header[7]) << 24;
  const uint64_t limit = declared > 8 ? declared - 8 : 0;
  const Result rc = InflateWithLimit(source.get(), target.get(), limit);
  DebugLog("CloseFile");
  return finish(rc);
}

}  // namespace ss
