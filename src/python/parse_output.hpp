#pragma once

#include <Python.h>

#include <string>

namespace pipwerk::python {

// What a ParseOutput holds: copies of the parser's outcome.
struct ParseRecord {
    bool success = false;
    std::string consumed;
    std::string tail;
};

// Creates the class builtins.ParseOutput on the first call; returns a new
// reference to it, or null with an exception set.
[[nodiscard]] PyObject* create_parse_output_class() noexcept;

// A new ParseOutput that takes over record. The class must exist.
[[nodiscard]] PyObject* new_parse_output(ParseRecord&& record) noexcept;

}  // namespace pipwerk::python
