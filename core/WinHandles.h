// Small move-only owners for the Win32 handles winsys uses. Each kind has a
// traits struct naming its invalid value and how it is closed.
#pragma once

#include <windows.h>

#include <utility>

namespace ss {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Type get() const { return h_; }
  bool valid() const { return h_ != Traits::invalid(); }
  explicit operator bool() const { return valid(); }
  // For out-parameters of the API: releases the old handle first.
  Type* put() {
    reset();
    return &h_;
  }
  Type release() { return std::exchange(h_, Traits::invalid()); }
  void reset(Type h = Traits::invalid()) {
    if (valid()) Traits::close(h_);
    h_ = h;
  }

 private:
  Type h_ = Traits::invalid();
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(Type h) { CloseHandle(h); }
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type invalid() { return nullptr; }
  static void close(Type h) { CloseHandle(h); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(Type h) { FindClose(h); }
};

struct RegKeyTraits {
  using Type = HKEY;
  static Type invalid() { return nullptr; }
  static void close(Type h) { RegCloseKey(h); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;

}  // namespace ss
