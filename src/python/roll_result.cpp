#include "roll_result.hpp"

#include <cstddef>
#include <string>

#include "exception_boundary.hpp"
#include "float_text.hpp"
#include "quoted_text.hpp"
#include "record_object.hpp"
#include "refcount.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

RecordClass roll_result_class;

template <std::string RollOutput::*Field>
PyObject* get_text(PyObject* self, void*) noexcept {
    return text_object(record_of<RollOutput>(self).*Field);
}

PyObject* get_is_set(PyObject* self, void*) noexcept {
    return PyBool_FromLong(record_of<RollOutput>(self).is_set ? 1 : 0);
}

PyObject* get_values(PyObject* self, void*) noexcept {
    const std::vector<double>& values = record_of<RollOutput>(self).values;
    if (values.size() > static_cast<std::size_t>(PY_SSIZE_T_MAX)) {
        PyErr_SetString(PyExc_OverflowError, "too many values for a Python list");
        return nullptr;
    }
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr || PyList_SetItem(list, static_cast<Py_ssize_t>(i), item) < 0) {
            decref(list);
            return nullptr;
        }
    }
    return list;
}

PyObject* str(PyObject* self) noexcept { return text_object(record_of<RollOutput>(self).full); }

PyObject* repr(PyObject* self) noexcept {
    return contain([self] {
        const RollOutput& output = record_of<RollOutput>(self);
        std::string text;
        text.reserve(64 + output.consumed.size() + output.tail.size() + output.full.size() +
                     8 * output.values.size());
        text += "RollResult(consumed=";
        append_quoted(text, output.consumed);
        text += ", tail=";
        append_quoted(text, output.tail);
        text += ", full=";
        append_quoted(text, output.full);
        text += output.is_set ? ", is_set=true" : ", is_set=false";
        text += ", values=";
        append_float_list(text, output.values);
        text += ')';
        return text_object(text);
    });
}

PyGetSetDef getters[] = {
    {"consumed", get_text<&RollOutput::consumed>, nullptr,
     "The source text that was successfully consumed.", nullptr},
    {"tail", get_text<&RollOutput::tail>, nullptr, "The remaining unparsed text (tail).", nullptr},
    {"summary", get_text<&RollOutput::summary>, nullptr,
     "The summary string (final result without detail), e.g. \"14\" or \"{10, 11, 13}\".", nullptr},
    {"detail", get_text<&RollOutput::detail>, nullptr,
     "The detail string (roll details), e.g. \"[5 + 3 + 1* + 6]\".", nullptr},
    {"full", get_text<&RollOutput::full>, nullptr,
     "The full output combining detail and summary, e.g. \"[5 + 3 + 1* + 6] = 14\".", nullptr},
    {"is_set", get_is_set, nullptr, "Whether this is a multi-result set.", nullptr},
    {"values", get_values, nullptr, "The numeric values of the result.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_doc, const_cast<char*>("The result of a roll operation.")},
    {Py_tp_getset, getters},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_str, reinterpret_cast<void*>(str)},
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_record_object<RollOutput>)},
    {0, nullptr},
};

PyType_Spec spec = {
    .name = "builtins.RollResult",
    .basicsize = static_cast<int>(sizeof(RecordObject<RollOutput>)),
    .itemsize = 0,
    // Not a base type, so Python code cannot subclass it; immutable, so its
    // attributes cannot be replaced.
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = slots,
};

}  // namespace

PyObject* create_roll_result_class() noexcept { return create_record_class(roll_result_class, spec); }

PyObject* new_roll_result(RollOutput&& output) noexcept {
    return new_record_object(roll_result_class, std::move(output));
}

}  // namespace pipwerk::python
