// A joinable thread and a lock on plain Win32: the win32-thread runtime the
// Windows build uses has no std::thread or std::mutex.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

namespace sstest {

class Thread {
 public:
  Thread() = default;
  explicit Thread(std::function<void()> body) {
    auto* owned = new std::function<void()>(std::move(body));
    handle_ = CreateThread(nullptr, 0, &Thread::Start, owned, 0, nullptr);
    if (handle_ == nullptr) delete owned;
  }
  Thread(Thread&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Thread& operator=(Thread&& other) noexcept {
    if (this != &other) {
      join();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() { join(); }

  bool joinable() const { return handle_ != nullptr; }
  void join() {
    if (handle_ == nullptr) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Start(void* p) {
    auto* body = static_cast<std::function<void()>*>(p);
    (*body)();
    delete body;
    return 0;
  }

  HANDLE handle_ = nullptr;
};

class Lock {
 public:
  Lock() { InitializeCriticalSection(&cs_); }
  ~Lock() { DeleteCriticalSection(&cs_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void lock() { EnterCriticalSection(&cs_); }
  void unlock() { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

// Holds a Lock for the life of a scope.
class Held {
 public:
  explicit Held(Lock& lock) : lock_(lock) { lock_.lock(); }
  ~Held() { lock_.unlock(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  Lock& lock_;
};

}  // namespace sstest
