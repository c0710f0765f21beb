#include <array>
#include <utility>

#include "arguments.hpp"
#include "engine_error.hpp"
#include "exception_boundary.hpp"
#include "gil_release.hpp"
#include "module_setup.hpp"
#include "odds_functions.hpp"
#include "odds_object.hpp"
#include "pipwerk/odds.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kOddsDoc =
    "odds(expression)\n"
    "--\n"
    "\n"
    "The exact odds of every result a pipwerk expression can roll.\n"
    "\n"
    "The expression is parsed as pipwerk.roll parses it (the same consumed\n"
    "text and tail). The result holds, for a single value, the probability of\n"
    "every value the roll can give; for a set, one such distribution per\n"
    "element; and the probability of each error the roll can end with.\n"
    "\n"
    "Args:\n"
    "    expression: The pipwerk expression string (e.g. \"4d6k3\").\n"
    "\n"
    "Returns:\n"
    "    Odds with the distribution and its statistics.\n"
    "\n"
    "Raises:\n"
    "    ValueError: when every roll fails (the roll's message), or when the\n"
    "        exact computation is too large (\"too large for exact odds: ...\").\n"
    "\n"
    "Examples:\n"
    "    >>> import pipwerk_odds\n"
    "    >>> o = pipwerk_odds.odds(\"4d6k3\")\n"
    "    >>> round(o.mean, 4), round(o.at_least(15), 4)\n"
    "    (12.2446, 0.2315)";

constexpr const char* kNames[] = {"expression"};
PyObject* interned[1] = {};
const Parameters parameters{kNames, 1, interned};

PyObject* odds_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::array<PyObject*, 1> bound{};
    if (!bind_arguments("odds", parameters, args, nargs, kwnames, bound)) return nullptr;
    ExpressionText expression;
    if (!convert_expression(bound[0], expression)) return nullptr;

    return contain([&] {
        // The text is the str's own buffer, kept alive by `expression`; the
        // engine may work for up to a second, so other threads may run.
        OddsResult<Odds> result = without_gil([&] { return pipwerk::odds(expression.utf8); });
        if (!result) return raise_value_error(result.error().message);
        return new_odds(std::move(*result));
    });
}

PyMethodDef odds_method = {"odds", as_cfunction(odds_function), METH_FASTCALL | METH_KEYWORDS, kOddsDoc};

}  // namespace

bool add_odds_function(ModuleExports& exports) noexcept {
    return intern_parameters(parameters) && exports.add_function(odds_method);
}

}  // namespace pipwerk::python
