// The pipwerk extension module: created once per process, from one interpreter.

#include <Python.h>

#include <cstdint>
#include <optional>

#include "arguments.hpp"
#include "functions.hpp"
#include "owned_ref.hpp"
#include "parse_output.hpp"
#include "refcount.hpp"
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

// The module object, once built, and the interpreter that first initialised
// it. The classes belong to that interpreter, so no other may import it.
PyObject* the_module = nullptr;
std::optional<std::int64_t> owner_interpreter;

// Appends name to all (creating the list on the first addition), then sets
// the attribute. Steals value.
bool add_export(PyObject* module, OwnedRef& all, const char* name, PyObject* value) noexcept {
    OwnedRef owned(value);
    if (value == nullptr) return false;
    OwnedRef key(PyUnicode_InternFromString(name));
    if (key == nullptr) return false;
    if (all == nullptr) {
        all.reset(PyList_New(0));
        if (all == nullptr) return false;
    }
    return PyList_Append(all.get(), key.get()) == 0 && PyObject_SetAttr(module, key.get(), value) == 0;
}

PyObject* bound_function(PyMethodDef& definition, PyObject* module, PyObject* module_name) noexcept {
    return PyCMethod_New(&definition, module, module_name, nullptr);
}

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
    OwnedRef all_name(PyUnicode_InternFromString("__all__"));
    if (all_name == nullptr || PyObject_SetAttr(m, all_name.get(), all.get()) < 0) return nullptr;
    return module.release();
}

PyObject* init_module() noexcept {
    PyInterpreterState* interpreter = PyInterpreterState_Get();
    const std::int64_t id = PyInterpreterState_GetID(interpreter);
    if (id < 0) return nullptr;
    if (!owner_interpreter) owner_interpreter = id;
    if (*owner_interpreter != id) {
        PyErr_SetString(PyExc_ImportError,
                        "pipwerk can be imported by only one interpreter per process");
        return nullptr;
    }
    if (the_module == nullptr) {
        the_module = build_module();  // kept for the process, so a re-import finds it
        if (the_module == nullptr) return nullptr;
    }
    incref(the_module);
    return the_module;
}

}  // namespace
}  // namespace pipwerk::python

PyMODINIT_FUNC PyInit_pipwerk(void) { return pipwerk::python::init_module(); }
