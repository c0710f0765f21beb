#include "parse_output.hpp"

#include <cstddef>
#include <string>

#include "exception_boundary.hpp"
#include "quoted_text.hpp"
#include "record_object.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

// The fixed part of an instance; the texts are the expression's own.
struct ParseHead {
    bool success;
};

RecordClass parse_output_class;

PyObject* get_success(PyObject* self, void*) noexcept {
    return PyBool_FromLong(head_of<ParseHead>(self).success ? 1 : 0);
}

PyObject* repr(PyObject* self) noexcept {
    return contain([self] {
        const auto& [source, consumed, tail] = expression_of<ParseHead>(self);
        std::string text;
        text.reserve(48 + consumed.size() + tail.size());
        text += head_of<ParseHead>(self).success ? "ParseOutput(success=true" : "ParseOutput(success=false";
        text += ", consumed=";
        append_quoted(text, consumed);
        text += ", tail=";
        append_quoted(text, tail);
        text += ')';
        return text_object(text);
    });
}

void dealloc(PyObject* self) noexcept { dealloc_record<ParseHead>(parse_output_class, self); }

PyGetSetDef getters[] = {
    {"success", get_success, nullptr, "Whether parsing succeeded.", nullptr},
    {"consumed", get_consumed<ParseHead>, nullptr, "The source text that was successfully consumed.", nullptr},
    {"tail", get_tail<ParseHead>, nullptr, "The remaining unparsed text (tail).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// No __str__ of its own: str() falls back to the repr.
const ClassShape shape = {
    .name = "builtins.ParseOutput",
    .doc = "The result of parsing (without rolling).",
    .basicsize = static_cast<int>(kRecordBasicSize<ParseHead>),
    .getters = getters,
    .repr = repr,
    .refuse = refuse_construction,
    .dealloc = dealloc,
};

}  // namespace

PyObject* create_parse_output_class() noexcept { return create_record_class(parse_output_class, shape); }

PyObject* new_parse_output(const ParseRecord& record) noexcept {
    PyObject* self = allocate_record(parse_output_class, 0);
    if (self == nullptr) return nullptr;
    set_expression<ParseHead>(self, record.source, record.consumed, record.tail);
    reinterpret_cast<RecordObject<ParseHead>*>(self)->head = ParseHead{.success = record.success};
    return self;
}

}  // namespace pipwerk::python
