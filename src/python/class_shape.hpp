#pragma once

#include <Python.h>

namespace pipwerk::python {

// What a class of these modules is made of. Every one is immutable and not
// a base type: Python code can neither replace its attributes nor subclass
// it, and its instances come only from the module's own functions.
struct ClassShape {
    const char* name;  // qualified: "module.Class"
    const char* doc;
    int basicsize;
    int itemsize = 0;
    PyGetSetDef* getters;
    PyMethodDef* methods = nullptr;
    reprfunc repr;
    reprfunc str = nullptr;  // null: str() falls back to the repr
    newfunc refuse;          // tp_new: raises the TypeError of a call of the class
    destructor dealloc;
};

// A new heap type of that shape, or null with an exception set.
[[nodiscard]] PyObject* create_class(const ClassShape& shape) noexcept;

}  // namespace pipwerk::python
