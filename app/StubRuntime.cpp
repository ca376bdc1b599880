// The pieces of the C++ runtime the installer takes from its own objects
// rather than from the library, to keep the downloaded stub small. Linked
// into ssinstall and its test build; the tests and the tools keep the
// library's own versions.
//
// The installer is compiled without exceptions: its failures are result
// codes. What the library would still throw ends the program here, as an
// exception nothing catches ended it before:
// - The throw helpers. The string and container code reports a misuse (a
//   position past the end, a length past max_size()) through std::__throw_*,
//   whose library versions bring the whole exception machinery along.
// - Memory. operator new takes its memory from the C runtime's heap and ends
//   the program when there is none; the nothrow forms return null, which the
//   few places that can go on without the memory check.
// - A call of a pure virtual function, or of an empty std::function.
// The library's terminate handler, which prints an exception's type to a
// standard error stream a windowed program does not have, is not linked.
#include <bits/functexcept.h>  // the declarations replaced here

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void RuntimeFault() { std::abort(); }

void* Allocate(std::size_t size) noexcept { return std::malloc(size != 0 ? size : 1); }

}  // namespace

namespace std {

void __throw_bad_exception() { RuntimeFault(); }
void __throw_bad_alloc() { RuntimeFault(); }
void __throw_bad_array_new_length() { RuntimeFault(); }
void __throw_bad_cast() { RuntimeFault(); }
void __throw_bad_typeid() { RuntimeFault(); }
void __throw_bad_function_call() { RuntimeFault(); }
void __throw_logic_error(const char*) { RuntimeFault(); }
void __throw_domain_error(const char*) { RuntimeFault(); }
void __throw_invalid_argument(const char*) { RuntimeFault(); }
void __throw_length_error(const char*) { RuntimeFault(); }
void __throw_out_of_range(const char*) { RuntimeFault(); }
void __throw_out_of_range_fmt(const char*, ...) { RuntimeFault(); }
void __throw_runtime_error(const char*) { RuntimeFault(); }
void __throw_range_error(const char*) { RuntimeFault(); }
void __throw_overflow_error(const char*) { RuntimeFault(); }
void __throw_underflow_error(const char*) { RuntimeFault(); }

}  // namespace std

void* operator new(std::size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) RuntimeFault();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

extern "C" void __cxa_pure_virtual() { RuntimeFault(); }
