#pragma once

#include <Python.h>

#include "pipwerk/odds.hpp"

namespace pipwerk::python {

// Creates the class pipwerk_odds.Comparison on the first call; returns a new
// reference to it, or null with an exception set.
[[nodiscard]] PyObject* create_comparison_class() noexcept;

// A new Comparison object holding the engine's figures. The class must exist.
[[nodiscard]] PyObject* new_comparison(const Comparison& comparison) noexcept;

}  // namespace pipwerk::python
