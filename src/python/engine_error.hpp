#pragma once

#include <Python.h>

#include <string_view>

namespace pipwerk::python {

// Raises ValueError with the engine's message as its one argument, with no
// prefix or suffix ("division by zero"). Always returns null.
PyObject* raise_value_error(std::string_view message) noexcept;

}  // namespace pipwerk::python
