# A profile-guided build (GCC) of the engine and of the pipwerk module. Their
# sources are built a second time with instrumentation (the targets named
# <target>_training), a training run rolls a corpus of everyday expressions
# through the instrumented module (tools/profile_training.py), and the real
# targets are then compiled with the profile it wrote: the hot paths laid
# out together, branches arranged the way they go. A roll called from Python
# runs with caches and branch predictors cold from the interpreter, where
# that layout saves a tenth to a quarter of a call (bench/bench_ab.py).
#
# The profile is written again whenever the engine or the module changes;
# objects of unchanged sources keep the profile they were built with, so
# release builds start from a clean build directory.
#
# This file defines the engine's twin; src/python/CMakeLists.txt adds the
# module's twin and the training run when pipwerk_core_training exists.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR NOT PIPWERK_BUILD_PYTHON)
  message(STATUS "pipwerk: PIPWERK_PGO needs GCC and the Python module; building without a profile")
  return()
endif()

set(PIPWERK_PROFILE_DIR "${CMAKE_CURRENT_BINARY_DIR}/profile")
set(PIPWERK_PROFILE_GENERATE "-fprofile-generate=${PIPWERK_PROFILE_DIR}/counts" -fprofile-update=single)
# Code the training never ran (the odds engine among it) is optimised as
# without a profile instead of being shrunk as cold.
set(PIPWERK_PROFILE_USE "-fprofile-use=${PIPWERK_PROFILE_DIR}/counts" -fprofile-partial-training -Wno-missing-profile)

# GCC names a profile, and identifies the functions of an anonymous
# namespace in it, by the object's auxiliary name: a target and its twin
# compile each source under the same one, `dir`/<source file name>.
function(pipwerk_profile_pair target twin dir)
  get_target_property(_sources ${target} SOURCES)
  set(_names "")
  foreach(_source IN LISTS _sources)
    get_filename_component(_name "${_source}" NAME)
    if(_name IN_LIST _names)
      message(FATAL_ERROR "two sources of ${target} are named ${_name}: their profiles would be one")
    endif()
    list(APPEND _names "${_name}")
  endforeach()
  target_compile_options(${target} PRIVATE "SHELL:-dumpdir \"${PIPWERK_PROFILE_DIR}/${dir}/\"" ${PIPWERK_PROFILE_USE})
  target_compile_options(${twin} PRIVATE "SHELL:-dumpdir \"${PIPWERK_PROFILE_DIR}/${dir}/\"" ${PIPWERK_PROFILE_GENERATE})
endfunction()

add_library(pipwerk_core_training STATIC EXCLUDE_FROM_ALL ${PIPWERK_CORE_SOURCES})
target_compile_features(pipwerk_core_training PUBLIC cxx_std_23)
target_include_directories(pipwerk_core_training
  PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/include" "${CMAKE_CURRENT_SOURCE_DIR}/src/core")
target_link_libraries(pipwerk_core_training PUBLIC Threads::Threads)
pipwerk_profile_pair(pipwerk_core pipwerk_core_training core)
