#pragma once

#include <Python.h>

namespace pipwerk::python {

// The method definitions of the module's two functions, bound to the module
// object during initialisation.
[[nodiscard]] PyMethodDef& roll_definition() noexcept;
[[nodiscard]] PyMethodDef& parse_definition() noexcept;

}  // namespace pipwerk::python
