#pragma once

#include <Python.h>

#include <memory>

#include "refcount.hpp"

namespace pipwerk::python {

struct DecRef {
    void operator()(PyObject* object) const noexcept { decref(object); }
};

// A strong reference released at scope exit, so error paths cannot leak it.
using OwnedRef = std::unique_ptr<PyObject, DecRef>;

}  // namespace pipwerk::python
