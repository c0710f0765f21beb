#include "class_shape.hpp"

#include <array>
#include <cstddef>

namespace pipwerk::python {

PyObject* create_class(const ClassShape& shape) noexcept {
    // The interpreter copies what it needs of the slots: only the getter and
    // method tables must outlive the call.
    std::array<PyType_Slot, 8> slots{};
    std::size_t count = 0;
    const auto slot = [&](int id, void* value) {
        if (value != nullptr) slots[count++] = {id, value};
    };
    slot(Py_tp_doc, const_cast<char*>(shape.doc));
    slot(Py_tp_getset, shape.getters);
    slot(Py_tp_methods, shape.methods);
    slot(Py_tp_repr, reinterpret_cast<void*>(shape.repr));
    slot(Py_tp_str, reinterpret_cast<void*>(shape.str));
    slot(Py_tp_new, reinterpret_cast<void*>(shape.refuse));
    slot(Py_tp_dealloc, reinterpret_cast<void*>(shape.dealloc));
    PyType_Spec type_shape = {
        .name = shape.name,
        .basicsize = shape.basicsize,
        .itemsize = shape.itemsize,
        .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
        .slots = slots.data(),
    };
    return PyType_FromSpec(&type_shape);
}

}  // namespace pipwerk::python
