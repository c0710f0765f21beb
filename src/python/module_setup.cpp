#include "module_setup.hpp"

#include "refcount.hpp"

namespace pipwerk::python {

PyObject* init_once(ModuleOnce& once) noexcept {
    PyInterpreterState* interpreter = PyInterpreterState_Get();
    const std::int64_t id = PyInterpreterState_GetID(interpreter);
    if (id < 0) return nullptr;
    if (!once.owner_interpreter) once.owner_interpreter = id;
    if (*once.owner_interpreter != id) {
        PyErr_Format(PyExc_ImportError, "%s can be imported by only one interpreter per process", once.name);
        return nullptr;
    }
    if (once.module == nullptr) {
        once.module = once.build();
        if (once.module == nullptr) return nullptr;
    }
    incref(once.module);
    return once.module;
}

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

bool set_all(PyObject* module, const OwnedRef& all) noexcept {
    OwnedRef all_name(PyUnicode_InternFromString("__all__"));
    return all_name != nullptr && PyObject_SetAttr(module, all_name.get(), all.get()) == 0;
}

PyObject* bound_function(PyMethodDef& definition, PyObject* module, PyObject* module_name) noexcept {
    return PyCMethod_New(&definition, module, module_name, nullptr);
}

}  // namespace pipwerk::python
