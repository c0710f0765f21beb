#pragma once

#include <Python.h>

#include "owned_ref.hpp"
#include "pipwerk/trace.hpp"

namespace pipwerk::python {

// Creates the classes of pipwerk_trace (Trace, Die and one per node kind)
// once and adds them to the module. False with an exception set on failure.
[[nodiscard]] bool add_trace_classes(PyObject* module, OwnedRef& all) noexcept;

// A new Trace taking over the engine's trace of `expression` (an exact str).
[[nodiscard]] PyObject* new_trace(TraceOutput&& trace, PyObject* expression, bool show_detail) noexcept;

}  // namespace pipwerk::python
