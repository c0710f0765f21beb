#pragma once

#include <Python.h>

#include "module_setup.hpp"

namespace pipwerk::python {

// Each adds one of pipwerk's functions to the module being built, interning
// the parameter names first (once for the process). False with an exception
// set on failure.
[[nodiscard]] bool add_roll_function(ModuleExports& exports) noexcept;
[[nodiscard]] bool add_parse_function(ModuleExports& exports) noexcept;

}  // namespace pipwerk::python
