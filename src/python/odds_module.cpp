// The pipwerk_odds extension module: exact odds and fast sampling beside
// pipwerk, created once per process, from one interpreter.

#include <Python.h>

#include "comparison_object.hpp"
#include "module_setup.hpp"
#include "odds_functions.hpp"
#include "odds_object.hpp"
#include "owned_ref.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kModuleDoc =
    "Pipwerk odds: exact probabilities and fast sampling of dice expressions.\n"
    "\n"
    "odds(expression) gives the exact distribution of what pipwerk.roll returns\n"
    "for the expression under a uniformly random seed; sample(expression, n, seed)\n"
    "gives the values of n seeded rolls without building any text; compare(a, b)\n"
    "gives the odds of a contest between two independent rolls.";

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "pipwerk_odds",
    .m_doc = kModuleDoc,
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = nullptr,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

PyObject* build_module() noexcept {
    if (!intern_odds_parameters() || !intern_sample_parameters() || !intern_compare_parameters()) return nullptr;
    OwnedRef module(PyModule_Create2(&module_definition, PYTHON_ABI_VERSION));
    if (module == nullptr) return nullptr;
    OwnedRef module_name(PyModule_GetNameObject(module.get()));
    if (module_name == nullptr) return nullptr;

    OwnedRef all;
    PyObject* m = module.get();
    if (!add_export(m, all, "Odds", create_odds_class()) ||
        !add_export(m, all, "odds", bound_function(odds_definition(), m, module_name.get())) ||
        !add_export(m, all, "sample", bound_function(sample_definition(), m, module_name.get())) ||
        !add_export(m, all, "Comparison", create_comparison_class()) ||
        !add_export(m, all, "compare", bound_function(compare_definition(), m, module_name.get())) ||
        !set_all(m, all)) {
        return nullptr;
    }
    return module.release();
}

ModuleOnce odds_module{.name = "pipwerk_odds", .build = build_module};

}  // namespace
}  // namespace pipwerk::python

PyMODINIT_FUNC PyInit_pipwerk_odds(void) { return pipwerk::python::init_once(pipwerk::python::odds_module); }
