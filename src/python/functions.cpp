#include "functions.hpp"

#include <array>
#include <string>
#include <string_view>

#include "arguments.hpp"
#include "engine_error.hpp"
#include "exception_boundary.hpp"
#include "module_setup.hpp"
#include "parse_output.hpp"
#include "pipwerk/pipwerk.hpp"
#include "refcount.hpp"
#include "roll_result.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kRollDoc =
    "roll(expression, show_detail=True, seed=None)\n"
    "--\n"
    "\n"
    "Parse and evaluate a pipwerk expression.\n"
    "\n"
    "This function combines parsing and evaluation into one step.\n"
    "It uses strtol-style fault-tolerant parsing: if the input contains\n"
    "invalid syntax, it parses as much as possible and returns the\n"
    "unparsed remainder as the ``tail``.\n"
    "\n"
    "Args:\n"
    "    expression: The pipwerk expression string (e.g. \"4d6k3\").\n"
    "    show_detail: Whether to show detailed roll results (default True).\n"
    "    seed: Optional random seed for deterministic results (testing).\n"
    "\n"
    "Returns:\n"
    "    RollResult with the evaluation results.\n"
    "\n"
    "Examples:\n"
    "    >>> import pipwerk\n"
    "    >>> result = pipwerk.roll(\"4d6k3\")\n"
    "    >>> print(result.full)\n"
    "    [5 + 3 + 1* + 6] = 14";

constexpr const char* kParseDoc =
    "parse(expression)\n"
    "--\n"
    "\n"
    "Parse a pipwerk expression without rolling.\n"
    "\n"
    "Returns the consumed portion and the remaining tail.\n"
    "Uses strtol-style fault-tolerant parsing.\n"
    "\n"
    "Args:\n"
    "    expression: The pipwerk expression string.\n"
    "\n"
    "Returns:\n"
    "    ParseOutput with the parsing results.\n"
    "\n"
    "Examples:\n"
    "    >>> import pipwerk\n"
    "    >>> result = pipwerk.parse(\"d20 + (d4+ test\")\n"
    "    >>> print(result.success)\n"
    "    True\n"
    "    >>> print(result.consumed)\n"
    "    d20";

PyObject* roll_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    ExpressionText expression;
    RollOptions options;
    if (!convert_roll_arguments("roll", args, nargs, kwnames, expression, options)) return nullptr;

    // The interpreter lock stays held: the engine is quick and keeps no state.
    // The core lays the whole roll out in one buffer (inline for short rolls)
    // that the result object copies in one allocation. The lock guards the
    // one buffer, which every call reuses.
    static RollBuffer buffer;
    return contain([&] {
        const Result<RollView> view = buffer.roll(expression.utf8, options);
        if (!view) return raise_value_error(view.error().message());
        return new_roll_result(*view, expression.source);
    });
}

PyObject* parse_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::array<PyObject*, 1> bound{};
    if (!bind_arguments("parse", args, nargs, kwnames, bound)) return nullptr;
    ExpressionText expression;
    if (!convert_expression(bound[kExpression], expression)) return nullptr;

    return contain([&] {
        const ParseOutput outcome = pipwerk::parse(expression.utf8);
        return new_parse_output(ParseRecord{
            .success = outcome.success,
            .source = expression.source,
            .consumed = outcome.consumed,
            .tail = outcome.tail,
        });
    });
}

PyMethodDef roll_method = {"roll", as_cfunction(roll_function), METH_FASTCALL | METH_KEYWORDS, kRollDoc};
PyMethodDef parse_method = {"parse", as_cfunction(parse_function), METH_FASTCALL | METH_KEYWORDS, kParseDoc};

}  // namespace

bool add_roll_function(ModuleExports& exports) noexcept {
    return intern_parameter_names() && exports.add_function(roll_method);
}
bool add_parse_function(ModuleExports& exports) noexcept {
    return intern_parameter_names() && exports.add_function(parse_method);
}

}  // namespace pipwerk::python
