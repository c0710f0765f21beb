#pragma once

#include <Python.h>

#include <string_view>

namespace pipwerk::python {

// What a ParseOutput holds: the parser's outcome. consumed and tail view the
// UTF-8 of source, an exact str the object keeps a reference to.
struct ParseRecord {
    bool success = false;
    PyObject* source = nullptr;
    std::string_view consumed;
    std::string_view tail;
};

// Creates the class builtins.ParseOutput on the first call; returns a new
// reference to it, or null with an exception set.
[[nodiscard]] PyObject* create_parse_output_class() noexcept;

// A new ParseOutput holding record and a new reference to its source. The class must exist.
[[nodiscard]] PyObject* new_parse_output(const ParseRecord& record) noexcept;

}  // namespace pipwerk::python
