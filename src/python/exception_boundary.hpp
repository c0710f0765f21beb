#pragma once

#include <Python.h>

#include <new>

namespace pipwerk::python {

// Runs body, which returns a new reference or null with a Python exception
// set, and keeps every C++ exception from crossing into the interpreter:
// std::bad_alloc becomes MemoryError, anything else SystemError.
template <class Body>
[[nodiscard]] PyObject* contain(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "pipwerk: internal error");
        return nullptr;
    }
}

}  // namespace pipwerk::python
