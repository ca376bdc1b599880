// Independent pieces of work on several threads, for the package builder.
// The host build uses std::thread and std::mutex; the Windows build
// (MinGW's win32-thread compilers have neither) uses CreateThread and a
// critical section behind the same small interface.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace ss::pack {

// The processors this machine offers, at least 1.
unsigned ProcessorCount();

// The thread count that a jobs argument of 0 stands for: what SetDefaultJobs
// last set, else ProcessorCount(). sspack sets it from its --jobs option.
unsigned DefaultJobs();
void SetDefaultJobs(unsigned jobs);

// Calls work(i) for every i in [0, count) on up to `jobs` threads (0: the
// default), the calling thread being one of them, and returns when every
// call has returned. Items are handed out in increasing order. A call must
// touch only what belongs to its own item and must not throw; the caller
// reads the results after the return, in its own order, so nothing computed
// depends on the thread count or the scheduling. A thread that cannot be
// started leaves its share to the threads that run.
void RunJobs(size_t count, unsigned jobs, const std::function<void(size_t)>& work);

// A lock for the little that work items share (progress reports).
class JobLock {
 public:
  JobLock();
  ~JobLock();
  JobLock(const JobLock&) = delete;
  JobLock& operator=(const JobLock&) = delete;
  void lock();
  void unlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ss::pack
