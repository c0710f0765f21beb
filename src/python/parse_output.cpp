#include "parse_output.hpp"

#include "exception_boundary.hpp"
#include "quoted_text.hpp"
#include "record_object.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

RecordClass parse_output_class;

template <std::string ParseRecord::*Field>
PyObject* get_text(PyObject* self, void*) noexcept {
    return text_object(record_of<ParseRecord>(self).*Field);
}

PyObject* get_success(PyObject* self, void*) noexcept {
    return PyBool_FromLong(record_of<ParseRecord>(self).success ? 1 : 0);
}

PyObject* repr(PyObject* self) noexcept {
    return contain([self] {
        const ParseRecord& record = record_of<ParseRecord>(self);
        std::string text;
        text.reserve(48 + record.consumed.size() + record.tail.size());
        text += record.success ? "ParseOutput(success=true" : "ParseOutput(success=false";
        text += ", consumed=";
        append_quoted(text, record.consumed);
        text += ", tail=";
        append_quoted(text, record.tail);
        text += ')';
        return text_object(text);
    });
}

PyGetSetDef getters[] = {
    {"success", get_success, nullptr, "Whether parsing succeeded.", nullptr},
    {"consumed", get_text<&ParseRecord::consumed>, nullptr,
     "The source text that was successfully consumed.", nullptr},
    {"tail", get_text<&ParseRecord::tail>, nullptr, "The remaining unparsed text (tail).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// No __str__ of its own: str() falls back to the repr.
PyType_Slot slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_doc, const_cast<char*>("The result of parsing (without rolling).")},
    {Py_tp_getset, getters},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_record_object<ParseRecord>)},
    {0, nullptr},
};

PyType_Spec spec = {
    .name = "builtins.ParseOutput",
    .basicsize = static_cast<int>(sizeof(RecordObject<ParseRecord>)),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    .slots = slots,
};

}  // namespace

PyObject* create_parse_output_class() noexcept { return create_record_class(parse_output_class, spec); }

PyObject* new_parse_output(ParseRecord&& record) noexcept {
    return new_record_object(parse_output_class, std::move(record));
}

}  // namespace pipwerk::python
