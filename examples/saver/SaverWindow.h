// The sample screen saver's pictures on screen: the full-screen slide show
// ("/s"), the preview inside the Display control panel ("/p") and the
// settings note ("/c"). Windows only.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "core/ResultCodes.h"
#include "examples/saver/SampleSettings.h"
#include "examples/saver/SaverText.h"

namespace ss::sample {

// What the engine shows, read from its install directory.
struct SlideShowContent {
  SampleSettings settings;    // the defaults when saver.dat cannot be used
  std::string settingsError;  // why saver.dat was not used ("" when it was)
  std::vector<std::string> pictures;           // full paths of the *.bmp files, by name
  std::map<std::string, std::string> captions;  // lower-case picture name -> caption
  std::string installDir;
};

SlideShowContent LoadSlideShowContent(const SaverLocation& location);

// The caption drawn under a picture: the settings' caption, followed by the
// picture's own line from captions.txt when it has one.
std::string PictureCaption(const SlideShowContent& content, const std::string& picturePath);

// Full screen until a key, a click or a mouse move; 0 when it ran.
Result RunSlideShow(HINSTANCE instance, const SlideShowContent& content);

// Draws into `parent` until that window goes away. ERROR_INVALID_WINDOW_HANDLE
// for a handle that names no window.
Result RunPreview(HINSTANCE instance, HWND parent, const SlideShowContent& content);

// The settings note: what is shown and where it comes from.
std::string SettingsNoteText(const SaverLocation& location, const SlideShowContent& content);

}  // namespace ss::sample
