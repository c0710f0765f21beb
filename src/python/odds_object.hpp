#pragma once

#include <Python.h>

#include "pipwerk/odds.hpp"

namespace pipwerk::python {

// Creates the class pipwerk_odds.Odds on the first call; returns a new
// reference to it, or null with an exception set.
[[nodiscard]] PyObject* create_odds_class() noexcept;

// A new Odds object taking over the engine's record. The class must exist.
[[nodiscard]] PyObject* new_odds(Odds&& odds) noexcept;

}  // namespace pipwerk::python
