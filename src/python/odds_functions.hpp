#pragma once

#include <Python.h>

#include "module_setup.hpp"

namespace pipwerk::python {

// Each adds one of pipwerk_odds's functions to the module being built,
// interning its parameter names first (once for the process). False with
// an exception set on failure.
[[nodiscard]] bool add_odds_function(ModuleExports& exports) noexcept;
[[nodiscard]] bool add_sample_function(ModuleExports& exports) noexcept;
[[nodiscard]] bool add_compare_function(ModuleExports& exports) noexcept;

}  // namespace pipwerk::python
