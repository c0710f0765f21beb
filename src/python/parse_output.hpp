#pragma once

#include <Python.h>

#include <string_view>

namespace pipwerk::python {

// What a ParseOutput holds: the parser's outcome, copied into the object.
struct ParseRecord {
    bool success = false;
    std::string_view consumed;
    std::string_view tail;
};

// Creates the class builtins.ParseOutput on the first call; returns a new
// reference to it, or null with an exception set.
[[nodiscard]] PyObject* create_parse_output_class() noexcept;

// A new ParseOutput holding copies of record's texts. The class must exist.
[[nodiscard]] PyObject* new_parse_output(const ParseRecord& record) noexcept;

}  // namespace pipwerk::python
