#include "module_setup.hpp"

#include "refcount.hpp"

namespace pipwerk::python {
namespace {

PyObject* build(ModuleOnce& once) noexcept {
    once.definition = PyModuleDef{
        .m_base = PyModuleDef_HEAD_INIT,
        .m_name = once.name,
        .m_doc = once.doc,
        .m_size = 0,
        .m_methods = nullptr,
        .m_slots = nullptr,
        .m_traverse = nullptr,
        .m_clear = nullptr,
        .m_free = nullptr,
    };
    OwnedRef module(PyModule_Create2(&once.definition, PYTHON_ABI_VERSION));
    if (module == nullptr) return nullptr;
    OwnedRef module_name(PyModule_GetNameObject(module.get()));
    if (module_name == nullptr) return nullptr;
    ModuleExports exports(module.get(), module_name.get());
    if (!once.add_exports(exports) || !exports.set_all()) return nullptr;
    return module.release();
}

}  // namespace

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
        once.module = build(once);
        if (once.module == nullptr) return nullptr;
    }
    incref(once.module);
    return once.module;
}

bool ModuleExports::add(const char* name, PyObject* value) noexcept {
    OwnedRef owned(value);
    if (value == nullptr) return false;
    OwnedRef key(PyUnicode_InternFromString(name));
    if (key == nullptr) return false;
    if (all_ == nullptr) {
        all_.reset(PyList_New(0));
        if (all_ == nullptr) return false;
    }
    return PyList_Append(all_.get(), key.get()) == 0 && PyObject_SetAttr(module_, key.get(), value) == 0;
}

bool ModuleExports::add_function(PyMethodDef& definition) noexcept {
    return add(definition.ml_name, PyCMethod_New(&definition, module_, module_name_, nullptr));
}

bool ModuleExports::set_all() noexcept {
    if (all_ == nullptr) {
        all_.reset(PyList_New(0));
        if (all_ == nullptr) return false;
    }
    OwnedRef all_name(PyUnicode_InternFromString("__all__"));
    return all_name != nullptr && PyObject_SetAttr(module_, all_name.get(), all_.get()) == 0;
}

}  // namespace pipwerk::python
