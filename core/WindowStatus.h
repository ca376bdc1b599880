// What the install steps may do to the window that shows their progress: a
// status line and a progress bar. The package reader and the sequences write
// through this interface, so they need not know the installer window. Both
// operations do nothing while the run shows no window.
#pragma once

#include <string>

namespace ss {

class InstallProgress {
 public:
  virtual ~InstallProgress() = default;
  // Shows `text` in the status line at once (an empty text leaves a
  // visible, empty line).
  virtual void setStatus(const std::string& text) = 0;
  // Advances the progress bar by one step and keeps the window responsive
  // for a moment.
  virtual void stepProgress() = 0;
};

}  // namespace ss
