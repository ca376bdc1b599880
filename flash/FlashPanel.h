// TFlashPanel: a child window that shows one SWF movie through the Flash
// ActiveX control it creates as its own child. Before handing a movie to the
// control it inspects the file (an uncompressed copy of a "CWS" movie is made
// in the panel's own "FlashPanel<n>" temporary directory) and refuses a movie
// newer than the installed player. The panel takes any parent window; its
// owner places it and calls playMovie, stopMovie and focusMovie.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/ResultCodes.h"
#include "core/Window.h"
#include "flash/ShockwaveFlash.h"
#include "flash/SwfReader.h"

namespace ss {

class TFlashPanel : public Window {
 public:
  // Creates the panel window as a visible child of `parent` (white, no
  // border). The window exists unless `handle()` is null.
  TFlashPanel(HWND parent, int x, int y, int width, int height);
  // Stops and frees the control, destroys the window and removes the
  // temporary directory.
  ~TFlashPanel() override;

  // Shows the movie `name`. 0 when it plays (or when `name` is empty or the
  // movie already showing); otherwise the inspection's code, -410 for a
  // movie newer than the player, -402 when the player probe fails, -403 when
  // no control could be created, -614 when a compressed movie does not
  // inflate or the control refuses the movie, or an operating-system error
  // of the temporary files. After a failure the previous movie, if any,
  // keeps playing.
  Result playMovie(const std::string& name);
  // Stops and frees the control; the panel turns black with no movie.
  void stopMovie();
  // Removes the temporary directory with the uncompressed movie now (the
  // control plays the caller's file, never these); a later compressed movie
  // makes a new one.
  void removeTempDirectory();
  // Repaints the panel and gives the keyboard focus to the control.
  void focusMovie();

  // The control's FSCommand event: "ALLOWSCALE" with args beginning "TRUE"
  // (any case) sets allowScale to 1, other args to 0, when enabled.
  void handleFSCommand(const std::string& command, const std::string& args);
  void setAllowScale(int32_t value);

  // Published properties.
  bool enableAllowScale = false;
  int32_t scaleFactor = 0;
  std::string defaultSWF;

  const std::string& swfFilename() const { return swfFilename_; }
  const std::string& tempDir() const { return tempDir_; }
  const TMovieDescription& movie() const { return movie_; }
  int32_t allowScale() const { return movie_.allowScale; }
  TShockwaveFlash* flashControl() const { return flashControl_.get(); }
  COLORREF color() const { return color_; }

 protected:
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  Result checkPlayerVersion();
  Result unloadFlashControl();
  Result createFlashControl();
  Result loadAndPlayMovie();
  Result inflateSWFFileToTempFile();

  OleScope ole_;
  std::unique_ptr<TShockwaveFlash> flashControl_;
  std::string swfFilename_;
  std::string tempDir_;
  TMovieDescription movie_;
  COLORREF color_ = RGB(255, 255, 255);
};

}  // namespace ss
