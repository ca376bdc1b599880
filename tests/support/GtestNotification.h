// GoogleTest's Notification, on a Win32 event. Its own one is built on
// std::mutex and std::condition_variable, which the win32-thread runtime of
// the Windows build does not have; everything else GoogleTest needs for
// threads it already does with Win32 calls. Included before GoogleTest's
// headers in every translation unit that sees them.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() {
    if (event_ != nullptr) CloseHandle(event_);
  }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
