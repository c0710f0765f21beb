#pragma once

#include <Python.h>

namespace pipwerk::python {

// The method definitions of pipwerk_odds's functions, bound to the module
// object during initialisation, and the interning of each one's parameter
// names (once; false with an exception set on failure).
[[nodiscard]] bool intern_odds_parameters() noexcept;
[[nodiscard]] PyMethodDef& odds_definition() noexcept;
[[nodiscard]] bool intern_sample_parameters() noexcept;
[[nodiscard]] PyMethodDef& sample_definition() noexcept;
[[nodiscard]] bool intern_compare_parameters() noexcept;
[[nodiscard]] PyMethodDef& compare_definition() noexcept;

}  // namespace pipwerk::python
