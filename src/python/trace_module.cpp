// The pipwerk_trace extension module: a roll with every die behind it, the
// seed that replays it, and hints for other rollers' notation, beside
// pipwerk, created once per process, from one interpreter.

#include <Python.h>

#include <array>
#include <optional>

#include "arguments.hpp"
#include "engine_error.hpp"
#include "exception_boundary.hpp"
#include "module_setup.hpp"
#include "owned_ref.hpp"
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

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "pipwerk_trace",
    .m_doc = kModuleDoc,
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

PyObject* build_module() noexcept {
    if (!intern_parameter_names()) return nullptr;
    OwnedRef module(PyModule_Create2(&module_definition, PYTHON_ABI_VERSION));
    if (module == nullptr) return nullptr;
    OwnedRef module_name(PyModule_GetNameObject(module.get()));
    if (module_name == nullptr) return nullptr;
    OwnedRef all;
    PyObject* m = module.get();
    if (!add_trace_classes(m, all) ||
        !add_export(m, all, "trace", bound_function(trace_method, m, module_name.get())) || !set_all(m, all)) {
        return nullptr;
    }
    return module.release();
}

ModuleOnce trace_module{.name = "pipwerk_trace", .build = build_module};

}  // namespace
}  // namespace pipwerk::python

PyMODINIT_FUNC PyInit_pipwerk_trace(void) { return pipwerk::python::init_once(pipwerk::python::trace_module); }
