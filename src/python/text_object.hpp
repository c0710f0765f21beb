#pragma once

#include <Python.h>

#include <string_view>

namespace pipwerk::python {

// A new str from UTF-8 text, or null with an exception set. A size beyond
// Py_ssize_t is an OverflowError rather than a silent truncation.
[[nodiscard]] PyObject* text_object(std::string_view utf8) noexcept;

}  // namespace pipwerk::python
