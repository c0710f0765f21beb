#include <array>

#include "arguments.hpp"
#include "comparison_object.hpp"
#include "engine_error.hpp"
#include "exception_boundary.hpp"
#include "gil_release.hpp"
#include "module_setup.hpp"
#include "odds_functions.hpp"
#include "pipwerk/odds.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kCompareDoc =
    "compare(a, b)\n"
    "--\n"
    "\n"
    "Who wins a contest: the exact odds of two expressions rolled independently.\n"
    "\n"
    "Each expression is parsed as pipwerk.roll parses it and must give a single\n"
    "value. The result gives P(a > b), P(a = b) and P(a < b) with both rolls\n"
    "succeeding, and the probability that either roll fails.\n"
    "\n"
    "Args:\n"
    "    a: The first pipwerk expression (e.g. \"1d20+5\").\n"
    "    b: The second pipwerk expression.\n"
    "\n"
    "Returns:\n"
    "    Comparison with greater, equal, less, failure and unordered.\n"
    "\n"
    "Raises:\n"
    "    ValueError: when either expression gives a set or parses nothing, or\n"
    "        when the exact computation is too large (\"too large for exact odds: ...\").\n"
    "\n"
    "Examples:\n"
    "    >>> import pipwerk_odds\n"
    "    >>> c = pipwerk_odds.compare(\"1d6\", \"1d6\")\n"
    "    >>> round(c.greater, 4), round(c.equal, 4), round(c.less, 4)\n"
    "    (0.4167, 0.1667, 0.4167)";

constexpr const char* kNames[] = {"a", "b"};
PyObject* interned[2] = {};
const Parameters parameters{kNames, 2, interned};

PyObject* compare_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::array<PyObject*, 2> bound{};
    if (!bind_arguments("compare", parameters, args, nargs, kwnames, bound)) return nullptr;
    ExpressionText a;
    ExpressionText b;
    if (!convert_expression(bound[0], a) || !convert_expression(bound[1], b)) return nullptr;

    return contain([&] {
        // Both texts are the strs' own buffers, kept alive by `a` and `b`.
        const OddsResult<Comparison> result = without_gil([&] { return pipwerk::compare(a.utf8, b.utf8); });
        if (!result) return raise_value_error(result.error().message);
        return new_comparison(*result);
    });
}

PyMethodDef compare_method = {"compare", as_cfunction(compare_function), METH_FASTCALL | METH_KEYWORDS, kCompareDoc};

}  // namespace

bool add_compare_function(ModuleExports& exports) noexcept {
    return intern_parameters(parameters) && exports.add_function(compare_method);
}

}  // namespace pipwerk::python
