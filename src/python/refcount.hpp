#pragma once

#include <Python.h>

namespace pipwerk::python {

// Reference counting through the stable ABI's public functions. The 3.11
// headers' inline Py_INCREF and Py_DECREF touch the count directly and import
// the private _Py_Dealloc, which the limited API does not promise.
inline void incref(PyObject* object) noexcept { Py_IncRef(object); }
inline void decref(PyObject* object) noexcept { Py_DecRef(object); }
inline void xdecref(PyObject* object) noexcept {
    if (object != nullptr) Py_DecRef(object);
}

}  // namespace pipwerk::python
