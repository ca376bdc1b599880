// Two pieces of the C++ runtime replaced in the installer's static link, to
// keep the downloaded stub small. Linked into ssinstall and its test build;
// the tests and the tools keep the library's own versions.
//
// The throw helpers. The library's string and container code reports a
// misuse (a position past the end, a length past max_size(), a null
// pointer) through std::__throw_*. The library's own helpers throw
// std::logic_error and its kin, whose compiled support brings a second,
// copy-on-write string class and the rest of <stdexcept> into the program.
// These throw RuntimeFault instead: a std::exception with the same text
// (the library's message template, with its %zu places unfilled), so the
// installer's handlers, which catch std::exception or everything, treat
// them as before. The exceptions of <new> and <typeinfo> are thrown as
// themselves.
//
// The terminate handler. The library's default, __verbose_terminate_handler,
// prints the type of an uncaught exception to the standard error stream,
// which a windowed program does not have, and then aborts; it brings the
// name demangler along. Here it aborts at once.
#include <bits/functexcept.h>  // the declarations replaced here

#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class RuntimeFault : public std::exception {
 public:
  explicit RuntimeFault(const char* text) : text_(text) {}
  const char* what() const noexcept override { return text_ != nullptr ? text_ : "std::exception"; }

 private:
  const char* text_;  // the library's messages are literals
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_logic_error(const char* text) { throw RuntimeFault(text); }
void __throw_domain_error(const char* text) { throw RuntimeFault(text); }
void __throw_invalid_argument(const char* text) { throw RuntimeFault(text); }
void __throw_length_error(const char* text) { throw RuntimeFault(text); }
void __throw_out_of_range(const char* text) { throw RuntimeFault(text); }
void __throw_out_of_range_fmt(const char* format, ...) { throw RuntimeFault(format); }
void __throw_runtime_error(const char* text) { throw RuntimeFault(text); }
void __throw_range_error(const char* text) { throw RuntimeFault(text); }
void __throw_overflow_error(const char* text) { throw RuntimeFault(text); }
void __throw_underflow_error(const char* text) { throw RuntimeFault(text); }

}  // namespace std

namespace __gnu_cxx {

// The library's default terminate handler (declared in <exception>).
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
