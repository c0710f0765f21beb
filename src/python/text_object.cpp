#include "text_object.hpp"

#include <cstddef>

namespace pipwerk::python {

PyObject* text_object(std::string_view utf8) noexcept {
    if (utf8.size() > static_cast<std::size_t>(PY_SSIZE_T_MAX)) {
        PyErr_SetString(PyExc_OverflowError, "text too long for a Python str");
        return nullptr;
    }
    return PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()));
}

}  // namespace pipwerk::python
