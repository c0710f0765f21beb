// The pipwerk extension module: created once per process, from one interpreter.

#include <Python.h>

#include "arguments.hpp"
#include "functions.hpp"
#include "module_setup.hpp"
#include "owned_ref.hpp"
#include "parse_output.hpp"
#include "roll_result.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kModuleDoc =
    "Pipwerk: dice expression parsing and evaluation engine.\n"
    "\n"
    "A Python module providing dice expression parsing and evaluation\n"
    "backed by a high-performance C++ implementation.";

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "pipwerk",
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
    if (!add_export(m, all, "RollResult", create_roll_result_class()) ||
        !add_export(m, all, "ParseOutput", create_parse_output_class()) ||
        !add_export(m, all, "roll", bound_function(roll_definition(), m, module_name.get())) ||
        !add_export(m, all, "parse", bound_function(parse_definition(), m, module_name.get()))) {
        return nullptr;
    }
    if (!set_all(m, all)) return nullptr;
    return module.release();
}

ModuleOnce pipwerk_module{.name = "pipwerk", .build = build_module};

}  // namespace
}  // namespace pipwerk::python

// Intended, not an oversight: pipwerk keeps single-phase initialisation (one
// module object per process, made by init_once) and its classes keep the
// type names "builtins.RollResult" and "builtins.ParseOutput", because the
// module's specified surface (its reprs and type names as Python shows them)
// depends on both. Do not move it to multi-phase init or rename the types.
PyMODINIT_FUNC PyInit_pipwerk(void) { return pipwerk::python::init_once(pipwerk::python::pipwerk_module); }
