#include "record_object.hpp"

#include "refcount.hpp"

namespace pipwerk::python {

PyObject* create_record_class(RecordClass& cls, const ClassShape& shape) noexcept {
    if (cls.type == nullptr) {
        PyObject* type = create_class(shape);
        if (type == nullptr) return nullptr;
        auto* type_object = reinterpret_cast<PyTypeObject*>(type);
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type_object, Py_tp_alloc));
        auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type_object, Py_tp_free));
        if (alloc == nullptr || free == nullptr) {
            PyErr_Clear();
            if (alloc == nullptr) alloc = PyType_GenericAlloc;
            if (free == nullptr) free = PyObject_Free;
        }
        cls.type = type_object;  // keeps the reference from PyType_FromSpec for good
        cls.alloc = alloc;
        cls.free = free;
        if (shape.itemsize == 1 && alloc == PyType_GenericAlloc && free == PyObject_Free) {
            cls.direct_basic_size = static_cast<std::size_t>(shape.basicsize);
        }
    }
    incref(reinterpret_cast<PyObject*>(cls.type));
    return reinterpret_cast<PyObject*>(cls.type);
}

PyObject* allocate_record(const RecordClass& cls, std::size_t variable) noexcept {
    // The classes' item size is one byte, so the item count is the byte count.
    if (variable > static_cast<std::size_t>(PY_SSIZE_T_MAX) / 2) return PyErr_NoMemory();
    const auto items = static_cast<Py_ssize_t>(variable);
    if (cls.direct_basic_size == 0) return cls.alloc(cls.type, items);
    // What the generic slot does for a class without garbage-collector
    // support, less clearing the memory first.
    void* memory = PyObject_Malloc(cls.direct_basic_size + variable);
    if (memory == nullptr) return PyErr_NoMemory();
    return reinterpret_cast<PyObject*>(PyObject_InitVar(static_cast<PyVarObject*>(memory), cls.type, items));
}

PyObject* source_text_object(const ExpressionTexts& expression, std::string_view text) noexcept {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(expression.source, &size);  // cached since the call
    if (utf8 == nullptr) return nullptr;
    if (utf8 == text.data() && static_cast<std::size_t>(size) == text.size()) {
        incref(expression.source);
        return expression.source;
    }
    return text_object(text);
}

void free_record(const RecordClass& cls, PyObject* self) noexcept {
    cls.free(self);
    decref(reinterpret_cast<PyObject*>(cls.type));
}

PyObject* refuse_construction(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    PyObject* name = PyType_GetName(type);
    if (name == nullptr) return nullptr;
    PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name);
    decref(name);
    return nullptr;
}

}  // namespace pipwerk::python
