#pragma once

#include <Python.h>

#include <string_view>

#include "module_setup.hpp"

#include "pipwerk/trace.hpp"

namespace pipwerk::python {

// Creates the classes of pipwerk_trace (Trace, Die and one per node kind)
// once and adds them to the module. False with an exception set on failure.
[[nodiscard]] bool add_trace_classes(ModuleExports& exports) noexcept;

// A new Trace of `expression` (an exact str whose UTF-8 is `utf8`), or
// null with the engine's ValueError (or MemoryError) set.
[[nodiscard]] PyObject* trace_object_of(std::string_view utf8, PyObject* expression,
                                        const RollOptions& options) noexcept;

}  // namespace pipwerk::python
