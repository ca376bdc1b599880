// Small move-only owners for Win32 handles and COM references. Each kind has
// a traits struct naming its invalid value and how it is closed.
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

struct LibraryTraits {
  using Type = HMODULE;
  static Type invalid() { return nullptr; }
  static void close(Type h) { FreeLibrary(h); }
};

template <typename T>
struct ComTraits {
  using Type = T*;
  static Type invalid() { return nullptr; }
  static void close(Type p) { p->Release(); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
// A library loaded with LoadLibrary, freed at the end.
using LibraryHandle = UniqueHandle<LibraryTraits>;

// One reference to a COM object, released at the end; it takes over the
// reference it is given (no AddRef). putVoid() serves the void** out-parameter
// of CoCreateInstance and QueryInterface.
template <typename T>
class ComPtr : public UniqueHandle<ComTraits<T>> {
 public:
  using UniqueHandle<ComTraits<T>>::UniqueHandle;
  T* operator->() const { return this->get(); }
  void** putVoid() { return reinterpret_cast<void**>(this->put()); }
};

}  // namespace ss
