#pragma once

#include <new>

namespace pipwerk {

// Memory that cannot be had. Where exceptions are on (every native build)
// std::bad_alloc, which the bindings report as an out-of-memory error; the
// WebAssembly build has none and stops at a trap, which its JavaScript
// wrapper reports, starting a fresh instance.
[[noreturn]] inline void out_of_memory() {
#if defined(__cpp_exceptions)
    throw std::bad_alloc();
#else
    __builtin_trap();
#endif
}

}  // namespace pipwerk
