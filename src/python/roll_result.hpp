#pragma once

#include <Python.h>

#include "pipwerk/pipwerk.hpp"

namespace pipwerk::python {

// Creates the class builtins.RollResult on the first call; returns a new
// reference to it, or null with an exception set.
[[nodiscard]] PyObject* create_roll_result_class() noexcept;

// A new RollResult that takes over every field of output. The class must exist.
[[nodiscard]] PyObject* new_roll_result(RollOutput&& output) noexcept;

}  // namespace pipwerk::python
