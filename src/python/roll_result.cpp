#include "roll_result.hpp"

#include <cstddef>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "exception_boundary.hpp"
#include "float_text.hpp"
#include "quoted_text.hpp"
#include "record_object.hpp"
#include "sequence_object.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

// The fixed part of an instance. The values follow it, then the roll's
// text, with the offsets of RollView's slices of it.
struct RollHead {
    std::size_t value_count;
    std::size_t text_size;
    std::size_t detail_size;
    std::size_t summary_start;
    std::size_t full_start;
    bool is_set;
};

RecordClass roll_result_class;

const RollHead& head(PyObject* self) noexcept { return head_of<RollHead>(self); }

std::span<const double> values_of(PyObject* self) noexcept {
    return {reinterpret_cast<const double*>(variable_part<RollHead>(self)), head(self).value_count};
}

std::string_view text_of(PyObject* self) noexcept {
    return {variable_part<RollHead>(self) + head(self).value_count * sizeof(double), head(self).text_size};
}

std::string_view detail_of(PyObject* self) noexcept { return text_of(self).substr(0, head(self).detail_size); }
std::string_view summary_of(PyObject* self) noexcept { return text_of(self).substr(head(self).summary_start); }
std::string_view full_of(PyObject* self) noexcept { return text_of(self).substr(head(self).full_start); }

template <std::string_view (*Field)(PyObject*) noexcept>
PyObject* get_text(PyObject* self, void*) noexcept {
    return text_object(Field(self));
}

PyObject* get_is_set(PyObject* self, void*) noexcept { return PyBool_FromLong(head(self).is_set ? 1 : 0); }

PyObject* get_values(PyObject* self, void*) noexcept {
    const std::span<const double> values = values_of(self);
    return list_of(values.size(), [&](std::size_t i) { return PyFloat_FromDouble(values[i]); });
}

PyObject* str(PyObject* self) noexcept { return text_object(full_of(self)); }

PyObject* repr(PyObject* self) noexcept {
    return contain([self] {
        const auto& [source, consumed, tail] = expression_of<RollHead>(self);
        const std::string_view full = full_of(self);
        const std::span<const double> values = values_of(self);
        std::string text;
        text.reserve(64 + consumed.size() + tail.size() + full.size() + 8 * values.size());
        text += "RollResult(consumed=";
        append_quoted(text, consumed);
        text += ", tail=";
        append_quoted(text, tail);
        text += ", full=";
        append_quoted(text, full);
        text += head(self).is_set ? ", is_set=true" : ", is_set=false";
        text += ", values=";
        append_float_list(text, values);
        text += ')';
        return text_object(text);
    });
}

void dealloc(PyObject* self) noexcept { dealloc_record<RollHead>(roll_result_class, self); }

PyGetSetDef getters[] = {
    {"consumed", get_consumed<RollHead>, nullptr, "The source text that was successfully consumed.", nullptr},
    {"tail", get_tail<RollHead>, nullptr, "The remaining unparsed text (tail).", nullptr},
    {"summary", get_text<summary_of>, nullptr,
     "The summary string (final result without detail), e.g. \"14\" or \"{10, 11, 13}\".", nullptr},
    {"detail", get_text<detail_of>, nullptr, "The detail string (roll details), e.g. \"[5 + 3 + 1* + 6]\".",
     nullptr},
    {"full", get_text<full_of>, nullptr,
     "The full output combining detail and summary, e.g. \"[5 + 3 + 1* + 6] = 14\".", nullptr},
    {"is_set", get_is_set, nullptr, "Whether this is a multi-result set.", nullptr},
    {"values", get_values, nullptr, "The numeric values of the result.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const ClassShape shape = {
    .name = "builtins.RollResult",
    .doc = "The result of a roll operation.",
    .basicsize = static_cast<int>(kRecordBasicSize<RollHead>),
    .itemsize = 1,  // the values and texts, byte by byte
    .getters = getters,
    .repr = repr,
    .str = str,
    .refuse = refuse_construction,
    .dealloc = dealloc,
};

}  // namespace

PyObject* create_roll_result_class() noexcept { return create_record_class(roll_result_class, shape); }

PyObject* new_roll_result(const RollView& roll, PyObject* source) noexcept {
    const std::string_view text = roll.text;
    const std::size_t value_bytes = roll.values.size() * sizeof(double);
    // Each part is smaller than the address space; their sum must not wrap.
    if (roll.values.size() > static_cast<std::size_t>(PY_SSIZE_T_MAX) / sizeof(double) ||
        text.size() > static_cast<std::size_t>(PY_SSIZE_T_MAX) - value_bytes) {
        return PyErr_NoMemory();
    }
    PyObject* self = allocate_record(roll_result_class, value_bytes + text.size());
    if (self == nullptr) return nullptr;
    set_expression<RollHead>(self, source, roll.consumed, roll.tail);
    reinterpret_cast<RecordObject<RollHead>*>(self)->head = RollHead{
        .value_count = roll.values.size(),
        .text_size = text.size(),
        .detail_size = roll.detail_size,
        .summary_start = roll.summary_start,
        .full_start = roll.full_start,
        .is_set = roll.is_set,
    };
    char* at = variable_part<RollHead>(self);
    if (value_bytes != 0) std::memcpy(at, roll.values.data(), value_bytes);
    copy_text(at + value_bytes, text);
    return self;
}

}  // namespace pipwerk::python
