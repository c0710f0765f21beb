#include "engine_error.hpp"

#include "refcount.hpp"
#include "text_object.hpp"

namespace pipwerk::python {

PyObject* raise_value_error(std::string_view message) noexcept {
    PyObject* text = text_object(message);
    if (text == nullptr) return nullptr;
    PyErr_SetObject(PyExc_ValueError, text);
    decref(text);
    return nullptr;
}

}  // namespace pipwerk::python
