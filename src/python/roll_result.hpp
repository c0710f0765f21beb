#pragma once

#include <Python.h>

#include "pipwerk/pipwerk.hpp"

namespace pipwerk::python {

// Creates the class builtins.RollResult on the first call; returns a new
// reference to it, or null with an exception set.
[[nodiscard]] PyObject* create_roll_result_class() noexcept;

// A new RollResult holding a copy of every field of the roll. The consumed
// text and tail, which view the UTF-8 of source (an exact str), are not
// copied: the result keeps a reference to source instead. The class must exist.
[[nodiscard]] PyObject* new_roll_result(const RollView& roll, PyObject* source) noexcept;

}  // namespace pipwerk::python
