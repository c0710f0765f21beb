// The pipwerk_trace extension module: a roll with every die behind it, the
// seed that replays it, and hints for other rollers' notation, beside
// pipwerk, created once per process, from one interpreter.

#include <Python.h>

#include "arguments.hpp"
#include "module_setup.hpp"
#include "pipwerk/trace.hpp"
#include "trace_objects.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kTraceDoc =
    "trace(expression, show_detail=True, seed=None)\n"
    "--\n"
    "\n"
    "Rolls a pipwerk expression exactly as pipwerk.roll does, keeping every die.\n"
    "\n"
    "Args:\n"
    "    expression: The pipwerk expression string (e.g. \"4d6k3\").\n"
    "    show_detail: Whether the result's texts show the detail, as for roll.\n"
    "    seed: An integer from 0 to 2**64 - 1, or None to seed from the clock.\n"
    "\n"
    "Returns:\n"
    "    Trace with the result (a pipwerk.RollResult), the seed that replays it,\n"
    "    the tree of nodes (root), every dice term (dice) and hints for the tail.\n"
    "\n"
    "Raises:\n"
    "    ValueError: the error pipwerk.roll raises for the same roll.";

PyObject* trace_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    ExpressionText expression;
    RollOptions options;
    if (!convert_roll_arguments("trace", args, nargs, kwnames, expression, options)) return nullptr;
    return trace_object_of(expression.utf8, expression.source, options);
}

PyMethodDef trace_method = {"trace", as_cfunction(trace_function), METH_FASTCALL | METH_KEYWORDS, kTraceDoc};

constexpr const char* kModuleDoc =
    "Pipwerk trace: every die behind a roll, the seed that replays it, and hints.\n"
    "\n"
    "trace(expression, show_detail, seed) rolls as pipwerk.roll does and keeps the\n"
    "tree of the expression as it was evaluated, with each dice term's dice.";

bool add_exports(ModuleExports& exports) noexcept {
    return intern_parameter_names() && add_trace_classes(exports) && exports.add_function(trace_method);
}

ModuleOnce trace_module{.name = "pipwerk_trace", .doc = kModuleDoc, .add_exports = add_exports};

}  // namespace
}  // namespace pipwerk::python

PyMODINIT_FUNC PyInit_pipwerk_trace(void) { return pipwerk::python::init_once(pipwerk::python::trace_module); }
