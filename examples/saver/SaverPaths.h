// The engine's own path, in its long form. Windows only.
#pragma once

#include <string>

namespace ss::sample {

// The long form of an existing file's path through the system's conversion;
// where the system has none (Windows 95), through LongFileNameOf. A path
// that cannot be converted comes back unchanged.
std::string LongPathOf(const std::string& path);

// The path with its last part replaced by the file's long name as the
// directory listing gives it (the directory part stays as given). Unchanged
// when the file cannot be found.
std::string LongFileNameOf(const std::string& path);

// The running program's path in long form. The system starts a screen saver
// by the short name written in "system.ini", and the title must come from
// the long one. "" when the system gives no path.
std::string OwnEnginePath();

}  // namespace ss::sample
