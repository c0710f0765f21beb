# Stops the configure step early, with the version needed, on a compiler or
# standard library that cannot build the engine. The engine's results are
# std::expected (<expected>), which libstdc++ has from g++ 12 on; g++ 11
# would otherwise fail deep in the build with "expected: No such file".
include(CheckCXXSourceCompiles)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 12)
  message(FATAL_ERROR
    "pipwerk needs g++ 12 or newer (for <expected>); found g++ ${CMAKE_CXX_COMPILER_VERSION} "
    "at ${CMAKE_CXX_COMPILER}. Install g++-12 and configure with -DCMAKE_CXX_COMPILER=g++-12 "
    "(or set CXX=g++-12 for pip).")
endif()

# Other compilers (clang for fuzzing) are checked by what they can build.
check_cxx_source_compiles([=[
#include <charconv>
#include <expected>
int main() {
  std::expected<int, char> value = std::unexpected('x');
  char text[32];
  auto written = std::to_chars(text, text + sizeof text, 0.5);
  return value.has_value() || written.ec != std::errc{};
}
]=] PIPWERK_HAS_STD_EXPECTED)
if(NOT PIPWERK_HAS_STD_EXPECTED)
  message(FATAL_ERROR
    "pipwerk needs a C++23 compiler and standard library with <expected> and "
    "std::to_chars for double (g++ 12 or newer, or clang 16 or newer with libstdc++ 12); "
    "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} at ${CMAKE_CXX_COMPILER} "
    "cannot build it.")
endif()
