#include "record_object.hpp"

#include "refcount.hpp"

namespace pipwerk::python {

PyObject* create_record_class(RecordClass& cls, PyType_Spec& spec) noexcept {
    if (cls.type == nullptr) {
        PyObject* type = PyType_FromSpec(&spec);
        if (type == nullptr) return nullptr;
        auto* type_object = reinterpret_cast<PyTypeObject*>(type);
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type_object, Py_tp_alloc));
        if (alloc == nullptr) {
            PyErr_Clear();
            alloc = PyType_GenericAlloc;
        }
        cls.type = type_object;  // keeps the reference from PyType_FromSpec for good
        cls.alloc = alloc;
    }
    incref(reinterpret_cast<PyObject*>(cls.type));
    return reinterpret_cast<PyObject*>(cls.type);
}

PyObject* refuse_construction(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyObject* name = PyType_GetName(type);
    if (name == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name);
    decref(name);
    return nullptr;
}

}  // namespace pipwerk::python
