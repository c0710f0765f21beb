#include "comparison_object.hpp"

#include <string>

#include "exception_boundary.hpp"
#include "float_text.hpp"
#include "record_object.hpp"

namespace pipwerk::python {
namespace {

// An instance: the five figures, read-only.
struct ComparisonObject {
    PyObject header;
    Comparison figures;
};

RecordClass comparison_class;

const Comparison& figures_of(PyObject* self) noexcept { return reinterpret_cast<ComparisonObject*>(self)->figures; }

template <double Comparison::*Field>
PyObject* get_figure(PyObject* self, void*) noexcept {
    return PyFloat_FromDouble(figures_of(self).*Field);
}

PyObject* repr(PyObject* self) noexcept {
    return contain([self]() -> PyObject* {
        const Comparison& c = figures_of(self);
        std::string text = "Comparison(greater=";
        append_float(text, c.greater);
        text += ", equal=";
        append_float(text, c.equal);
        text += ", less=";
        append_float(text, c.less);
        text += ", failure=";
        append_float(text, c.failure);
        if (c.unordered != 0.0) {
            text += ", unordered=";
            append_float(text, c.unordered);
        }
        text += ')';
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

void dealloc(PyObject* self) noexcept { free_record(comparison_class, self); }

PyGetSetDef getters[] = {
    {"greater", get_figure<&Comparison::greater>, nullptr, "P(A > B), both rolls succeeding.", nullptr},
    {"equal", get_figure<&Comparison::equal>, nullptr, "P(A = B), both rolls succeeding.", nullptr},
    {"less", get_figure<&Comparison::less>, nullptr, "P(A < B), both rolls succeeding.", nullptr},
    {"failure", get_figure<&Comparison::failure>, nullptr, "P(either roll fails).", nullptr},
    {"unordered", get_figure<&Comparison::unordered>, nullptr,
     "P(both succeed and either value is NaN): such pairs are neither greater, equal nor less.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char* kClassDoc =
    "Two expressions rolled independently, A against B, as pipwerk_odds.compare\n"
    "returns them: greater, equal and less with both rolls succeeding, failure\n"
    "when either fails, and unordered for a NaN on either side. The five add\n"
    "up to 1.";

const ClassShape shape = {
    .name = "pipwerk_odds.Comparison",
    .doc = kClassDoc,
    .basicsize = static_cast<int>(sizeof(ComparisonObject)),
    .getters = getters,
    .repr = repr,
    .refuse = refuse_construction,
    .dealloc = dealloc,
};

}  // namespace

PyObject* create_comparison_class() noexcept { return create_record_class(comparison_class, shape); }

PyObject* new_comparison(const Comparison& comparison) noexcept {
    PyObject* self = allocate_record(comparison_class, 0);
    if (self == nullptr) return nullptr;
    reinterpret_cast<ComparisonObject*>(self)->figures = comparison;
    return self;
}

}  // namespace pipwerk::python
