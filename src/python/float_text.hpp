#pragma once

#include <span>
#include <string>

namespace pipwerk::python {

// Appends the shortest text that reads back as the same double, in the form
// the reprs use: "14.0", "0.5", "1e16", "1.5e-5", "-0.0", "NaN", "inf".
void append_float(std::string& out, double value);

// Appends "[a, b, ...]" with each value as append_float writes it.
void append_float_list(std::string& out, std::span<const double> values);

}  // namespace pipwerk::python
