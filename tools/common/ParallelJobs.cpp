#include "tools/common/ParallelJobs.h"

#include <atomic>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#include <thread>
#endif

namespace ss::pack {
namespace {

std::atomic<unsigned> g_defaultJobs{0};

#ifdef _WIN32
// A started thread, joined by its owner.
class Worker {
 public:
  explicit Worker(const std::function<void()>* body)
      : handle_(CreateThread(nullptr, 0, &Worker::Start, const_cast<std::function<void()>*>(body),
                             0, nullptr)) {}
  ~Worker() {
    if (handle_ != nullptr) {
      WaitForSingleObject(handle_, INFINITE);
      CloseHandle(handle_);
    }
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  bool started() const { return handle_ != nullptr; }

 private:
  static DWORD WINAPI Start(void* p) {
    (*static_cast<std::function<void()>*>(p))();
    return 0;
  }
  HANDLE handle_;
};
#else
class Worker {
 public:
  explicit Worker(const std::function<void()>* body) {
    try {
      thread_ = std::thread(*body);
    } catch (const std::system_error&) {
      // Left unstarted: the other threads take its share.
    }
  }
  ~Worker() {
    if (thread_.joinable()) thread_.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  bool started() const { return thread_.joinable(); }

 private:
  std::thread thread_;
};
#endif

}  // namespace

unsigned ProcessorCount() {
#ifdef _WIN32
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const unsigned n = info.dwNumberOfProcessors;
#else
  const unsigned n = std::thread::hardware_concurrency();
#endif
  return n > 0 ? n : 1;
}

unsigned DefaultJobs() {
  const unsigned set = g_defaultJobs.load();
  return set > 0 ? set : ProcessorCount();
}

void SetDefaultJobs(unsigned jobs) { g_defaultJobs.store(jobs); }

void RunJobs(size_t count, unsigned jobs, const std::function<void(size_t)>& work) {
  if (jobs == 0) jobs = DefaultJobs();
  if (jobs > count) jobs = static_cast<unsigned>(count);
  std::atomic<size_t> next{0};
  const std::function<void()> body = [&] {
    for (size_t i = next++; i < count; i = next++) work(i);
  };
  {
    std::vector<std::unique_ptr<Worker>> workers;
    workers.reserve(jobs);
    for (unsigned t = 1; t < jobs; ++t) {
      workers.push_back(std::make_unique<Worker>(&body));
      if (!workers.back()->started()) break;
    }
    body();
  }  // joins every worker
}

#ifdef _WIN32
struct JobLock::Impl {
  CRITICAL_SECTION section;
};
JobLock::JobLock() : impl_(new Impl) { InitializeCriticalSection(&impl_->section); }
JobLock::~JobLock() { DeleteCriticalSection(&impl_->section); }
void JobLock::lock() { EnterCriticalSection(&impl_->section); }
void JobLock::unlock() { LeaveCriticalSection(&impl_->section); }
#else
struct JobLock::Impl {
  std::mutex mutex;
};
JobLock::JobLock() : impl_(new Impl) {}
JobLock::~JobLock() = default;
void JobLock::lock() { impl_->mutex.lock(); }
void JobLock::unlock() { impl_->mutex.unlock(); }
#endif

}  // namespace ss::pack
