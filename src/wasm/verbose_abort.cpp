// The C++ runtime's last words: libc++'s failed checks (an index out of
// range, a bad optional) end in __libcpp_verbose_abort, and libc++abi's
// (a pure virtual call, operator new failing without exceptions) in
// abort_message. Their defaults format a message with the C library's
// printf, 15 KB of the module for a message nobody sees: the JavaScript
// package reports any trap itself. These definitions replace them.
#include <__verbose_abort>

_LIBCPP_BEGIN_NAMESPACE_STD
void __libcpp_verbose_abort(const char*, ...) { __builtin_trap(); }
_LIBCPP_END_NAMESPACE_STD

extern "C" [[noreturn]] void abort_message(const char*, ...) { __builtin_trap(); }
