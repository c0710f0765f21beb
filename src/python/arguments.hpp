#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "owned_ref.hpp"
#include "pipwerk/pipwerk.hpp"

namespace pipwerk::python {

// The parameters of roll, in order; parse takes the first alone.
enum Parameter : std::size_t { kExpression, kShowDetail, kSeed, kParameterCount };

// A function's parameters: their names in order, how many of the first are
// required, and room for the interned names that keywords are matched
// against (filled once by intern_parameters).
struct Parameters {
    std::span<const char* const> names;
    std::size_t required;
    std::span<PyObject*> interned;
};

// Interns the names of `parameters` (once). False with an exception set on failure.
[[nodiscard]] bool intern_parameters(const Parameters& parameters) noexcept;

// Binds fast-call arguments to the first bound.size() of `parameters`.
// Entries not given stay null (borrowed references). False with the
// TypeError of the first binding fault set.
[[nodiscard]] bool bind_arguments(const char* function, const Parameters& parameters, PyObject* const* args,
                                  Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> bound) noexcept;

// The same for roll's parameters (parse takes the first alone).
[[nodiscard]] bool intern_parameter_names() noexcept;
[[nodiscard]] bool bind_arguments(const char* function, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames, std::span<PyObject*> bound) noexcept;

// Conversions, in the order roll applies them. Each returns false with the
// exception set when the argument is not acceptable.

// The expression as an exact str (a subclass instance is copied into one)
// and its UTF-8, which views that str's own cached buffer. The results keep
// the str and view their consumed text and tail in it instead of copying
// them: an exact str holds no references, so no cycle can form through it.
// An exact str argument is borrowed: the caller's reference keeps it alive
// for the whole call, so only a copy needs a reference of its own.
struct ExpressionText {
    PyObject* source = nullptr;  // the argument itself, or copy
    OwnedRef copy;
    std::string_view utf8;
};
[[nodiscard]] bool convert_expression(PyObject* argument, ExpressionText& expression) noexcept;
// A bool, or a NumPy boolean scalar by its truth value.
[[nodiscard]] bool convert_show_detail(PyObject* argument, bool& show_detail) noexcept;
// None for no seed, otherwise an integer (via __index__) from 0 to 2^64 - 1.
[[nodiscard]] bool convert_seed(PyObject* argument, std::optional<std::uint64_t>& seed) noexcept;

// Binds and converts roll's three arguments, as roll and trace take them.
// Inline: it sits on roll's hot path.
[[nodiscard]] inline bool convert_roll_arguments(const char* function, PyObject* const* args, Py_ssize_t nargs,
                                                 PyObject* kwnames, ExpressionText& expression,
                                                 RollOptions& options) noexcept {
    PyObject* bound[kParameterCount] = {};
    if (!bind_arguments(function, args, nargs, kwnames, bound)) return false;
    if (!convert_expression(bound[kExpression], expression)) return false;
    if (bound[kShowDetail] != nullptr && !convert_show_detail(bound[kShowDetail], options.show_detail)) return false;
    return convert_seed(bound[kSeed], options.seed);
}

// An integer (via __index__); `overflow` says it does not fit an int64 and
// then `value` holds its sign (-1 or 1). A TypeError is prefixed with the name.
[[nodiscard]] bool convert_integer(PyObject* argument, const char* name, std::int64_t& value,
                                   bool& overflow) noexcept;
// A real number (a float, or anything with __float__ or __index__). A
// TypeError is prefixed with the name.
[[nodiscard]] bool convert_real(PyObject* argument, const char* name, double& value) noexcept;

}  // namespace pipwerk::python
