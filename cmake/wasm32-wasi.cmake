# Cross-compiles the engine to WebAssembly (wasm32-wasi) with Debian's clang-19,
# lld-19, libc++-19-dev-wasm32, libclang-rt-19-dev-wasm32, wasi-libc and binaryen:
#   cmake -S . -B build/wasm -G Ninja --toolchain cmake/wasm32-wasi.cmake
# Only the core and the JavaScript binding (src/wasm) are built for it.
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_VERSION 1)
set(CMAKE_SYSTEM_PROCESSOR wasm32)

find_program(PIPWERK_WASM_CXX NAMES clang++-19 clang++ REQUIRED)
set(CMAKE_CXX_COMPILER "${PIPWERK_WASM_CXX}")
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# Debian's wasi-libc and libc++ for wasm32 install under /usr: clang finds them
# itself. Another sysroot (the wasi-sdk layout) is given with WASI_SYSROOT.
if(DEFINED ENV{WASI_SYSROOT})
  set(CMAKE_SYSROOT "$ENV{WASI_SYSROOT}")
endif()
set(CMAKE_EXECUTABLE_SUFFIX ".wasm")
# Checks compile objects only: a wasm module has no main to link.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# No exceptions (the engine reports errors as values; out of memory traps),
# 128-bit SIMD (every current browser and Node >= 16 has it), and link-time
# optimisation across the engine and the binding (LLVM's archiver, which
# indexes bitcode).
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions -msimd128 -flto")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-flto")
find_program(PIPWERK_WASM_AR NAMES llvm-ar-19 llvm-ar REQUIRED)
find_program(PIPWERK_WASM_RANLIB NAMES llvm-ranlib-19 llvm-ranlib REQUIRED)
set(CMAKE_AR "${PIPWERK_WASM_AR}" CACHE FILEPATH "")
set(CMAKE_RANLIB "${PIPWERK_WASM_RANLIB}" CACHE FILEPATH "")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
