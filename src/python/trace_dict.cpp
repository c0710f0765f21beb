#include "trace_dict.hpp"

#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exception_boundary.hpp"
#include "owned_ref.hpp"
#include "sequence_object.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

// A field's value as the JSON form has it, as a new reference (or null with
// an exception set).
PyObject* value_of(std::string_view text) noexcept { return text_object(text); }
PyObject* value_of(const std::string& text) noexcept { return text_object(text); }
PyObject* value_of(bool value) noexcept { return PyBool_FromLong(value ? 1 : 0); }
// NaN and the infinities, which JSON cannot express, are None, as to_json writes null.
PyObject* value_of(double value) noexcept {
    return std::isfinite(value) ? PyFloat_FromDouble(value) : Py_NewRef(Py_None);
}
template <std::unsigned_integral Int>
PyObject* value_of(Int value) noexcept {
    return PyLong_FromUnsignedLongLong(value);
}
template <std::signed_integral Int>
PyObject* value_of(Int value) noexcept {
    return PyLong_FromLongLong(value);
}
PyObject* value_of(TraceChild child) noexcept { return PyLong_FromSize_t(child.index); }
PyObject* value_of(const TraceDie& die) noexcept { return fields_dict(die); }
PyObject* value_of(const TraceKeep& keep) noexcept { return fields_dict(keep); }
PyObject* value_of(const TraceComparison& comparison) noexcept { return fields_dict(comparison); }
template <class T>
PyObject* value_of(const std::optional<T>& value) noexcept {
    return value ? value_of(*value) : Py_NewRef(Py_None);
}
template <class T>
PyObject* value_of(std::span<const T> items) noexcept {
    return list_of(items.size(), [&](std::size_t i) { return value_of(items[i]); });
}
PyObject* value_of(TraceChildren children) noexcept { return value_of(children.indices); }
// An object made already: the dict takes a reference of its own.
struct Made {
    PyObject* object;
};
PyObject* value_of(Made made) noexcept { return Py_NewRef(made.object); }

// Puts each field it is given into one dict; stops at the first failure.
class DictFields {
public:
    explicit DictFields(PyObject* dict) noexcept : dict_(dict) {}

    template <class Value>
    void operator()(std::string_view name, const Value& value) noexcept {
        if (!ok_) return;
        OwnedRef item(value_of(value));
        // Every name is a literal, so its data ends in a NUL.
        ok_ = item != nullptr && PyDict_SetItemString(dict_, name.data(), item.get()) == 0;
    }
    [[nodiscard]] bool ok() const noexcept { return ok_; }

private:
    PyObject* dict_;
    bool ok_ = true;
};

// A new dict that fill(fields) puts the items of, or null when it fails.
template <class Fill>
PyObject* dict_of(Fill&& fill) noexcept {
    OwnedRef dict(PyDict_New());
    if (dict == nullptr) return nullptr;
    DictFields fields(dict.get());
    fill(fields);
    return fields.ok() ? dict.release() : nullptr;
}

template <class Object>
PyObject* object_dict(const Object& object) noexcept {
    return dict_of([&](DictFields& fields) { visit_fields(object, fields); });
}

// Node i's row; `children` is room for its children's indices.
PyObject* one_node(const TraceOutput& trace, std::size_t i, std::vector<std::size_t>& children) {
    return dict_of([&](DictFields& fields) { visit_node(trace, i, children, fields); });
}

}  // namespace

PyObject* fields_dict(const TraceDie& die) noexcept { return object_dict(die); }
PyObject* fields_dict(const TraceKeep& keep) noexcept { return object_dict(keep); }
PyObject* fields_dict(const TraceComparison& comparison) noexcept { return object_dict(comparison); }

PyObject* trace_dict(const TraceOutput& trace, const RollView& roll) noexcept {
    return contain([&]() -> PyObject* {
        std::vector<std::size_t> children;
        // Each row is contained: list_of lets no exception through.
        OwnedRef nodes(list_of(trace.node_count(), [&](std::size_t i) {
            return contain([&] { return one_node(trace, i, children); });
        }));
        if (nodes == nullptr) return nullptr;
        OwnedRef root(trace.has_tree() ? PyLong_FromSize_t(trace.root()) : Py_NewRef(Py_None));
        if (root == nullptr) return nullptr;
        return dict_of([&](DictFields& fields) {
            visit_roll(roll, fields);
            fields("seed", trace.seed);
            fields("hints", std::span<const std::string>(trace.hints));
            fields("nodes", Made{nodes.get()});
            fields("root", Made{root.get()});
        });
    });
}

PyObject* node_dict(const TraceOutput& trace, std::size_t index) noexcept {
    return contain([&] {
        std::vector<std::size_t> children;
        return one_node(trace, index, children);
    });
}

}  // namespace pipwerk::python
