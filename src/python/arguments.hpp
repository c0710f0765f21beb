#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "owned_ref.hpp"

namespace pipwerk::python {

// The parameters of roll, in order; parse takes the first alone.
enum Parameter : std::size_t { kExpression, kShowDetail, kSeed, kParameterCount };

// Interns the parameter names that keywords are matched against (once).
// False with an exception set on failure.
[[nodiscard]] bool intern_parameter_names() noexcept;

// Binds fast-call arguments to the first bound.size() parameters, the first
// of which is required. Entries not given stay null (borrowed references).
// False with the TypeError of the first binding fault set.
[[nodiscard]] bool bind_arguments(const char* function, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames, std::span<PyObject*> bound) noexcept;

// Conversions, in the order roll applies them. Each returns false with the
// exception set when the argument is not acceptable.

// The expression as an exact str (a subclass instance is copied into one)
// and its UTF-8, which views that str's own cached buffer. The results keep
// the str and view their consumed text and tail in it instead of copying
// them: an exact str holds no references, so no cycle can form through it.
struct ExpressionText {
    OwnedRef source;
    std::string_view utf8;
};
[[nodiscard]] bool convert_expression(PyObject* argument, ExpressionText& expression) noexcept;
// A bool, or a NumPy boolean scalar by its truth value.
[[nodiscard]] bool convert_show_detail(PyObject* argument, bool& show_detail) noexcept;
// None for no seed, otherwise an integer (via __index__) from 0 to 2^64 - 1.
[[nodiscard]] bool convert_seed(PyObject* argument, std::optional<std::uint64_t>& seed) noexcept;

}  // namespace pipwerk::python
