#include "trace_dict.hpp"

#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "exception_boundary.hpp"
#include "owned_ref.hpp"
#include "sequence_object.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

// Sets dict[key] = value and drops the reference to value; false on failure.
bool put(PyObject* dict, const char* key, PyObject* value) noexcept {
    OwnedRef owned(value);
    return value != nullptr && PyDict_SetItemString(dict, key, value) == 0;
}

// A new dict that fill(dict) puts the items of, or null when it fails.
template <class Fill>
PyObject* dict_of(Fill&& fill) noexcept {
    OwnedRef dict(PyDict_New());
    if (dict == nullptr || !fill(dict.get())) return nullptr;
    return dict.release();
}

PyObject* none() noexcept { return Py_NewRef(Py_None); }
PyObject* boolean(bool value) noexcept { return PyBool_FromLong(value ? 1 : 0); }
PyObject* size(std::size_t value) noexcept { return PyLong_FromSize_t(value); }

// A value as the JSON form has it: NaN and the infinities, which JSON cannot
// express, are None, as to_json writes null.
PyObject* json_float(double value) noexcept { return std::isfinite(value) ? PyFloat_FromDouble(value) : none(); }

PyObject* float_list(std::span<const double> values) noexcept {
    return list_of(values.size(), [&](std::size_t i) { return json_float(values[i]); });
}

PyObject* index_list(const std::vector<std::size_t>& indices) noexcept {
    return list_of(indices.size(), [&](std::size_t i) { return size(indices[i]); });
}

bool dice_fields(PyObject* d, const TraceNode& n, std::span<const TraceDie> dice) noexcept {
    const TraceModifiers& m = n.modifiers;
    if (!put(d, "count", PyLong_FromLong(n.count)) || !put(d, "faces", PyLong_FromLong(n.faces)) ||
        !put(d, "bonus", m.bonus ? PyLong_FromLongLong(*m.bonus) : none())) {
        return false;
    }
    const auto keep = [&](PyObject* k) {
        return put(k, "count", PyLong_FromLongLong(m.keep->count)) && put(k, "lowest", boolean(m.keep->lowest));
    };
    const auto comparison = [&](PyObject* c) {
        return put(c, "op", text_object(m.comparison->op)) &&
               put(c, "threshold", PyLong_FromLongLong(m.comparison->threshold));
    };
    if (!put(d, "keep", m.keep ? dict_of(keep) : none()) ||
        !put(d, "comparison", m.comparison ? dict_of(comparison) : none())) {
        return false;
    }
    return put(d, "dice", list_of(dice.size(), [&](std::size_t i) { return die_dict(dice[i]); }));
}

// Node i's row; `children` is room for its children's indices.
PyObject* one_node(const TraceOutput& trace, std::size_t i, std::vector<std::size_t>& children) {
    const TraceNode n = trace.node(i);
    trace.children_of(i, children);
    const std::string text = n.kind == TraceKind::Number ? trace.number_text(i) : std::string();
    return dict_of([&](PyObject* dict) {
        if (!put(dict, "kind", text_object(kind_name(n.kind))) || !put(dict, "start", size(n.start)) ||
            !put(dict, "end", size(n.end))) {
            return false;
        }
        const bool valued = n.is_set ? put(dict, "values", float_list(trace.values_of(i)))
                                     : put(dict, "value", json_float(trace.values_of(i).front()));
        if (!valued) return false;
        switch (n.kind) {
            case TraceKind::Number: return put(dict, "text", text_object(text));
            case TraceKind::Dice: return dice_fields(dict, n, trace.dice_of(i));
            case TraceKind::Negation: return put(dict, "operand", size(children[0]));
            case TraceKind::Binary:
                return put(dict, "op", text_object(std::string_view(&n.op, 1))) &&
                       put(dict, "left", size(children[0])) && put(dict, "right", size(children[1]));
            case TraceKind::Set: return put(dict, "elements", index_list(children));
            case TraceKind::Repetition:
                return put(dict, "count", size(children.size())) && put(dict, "elements", index_list(children));
        }
        return true;
    });
}

}  // namespace

PyObject* die_dict(const TraceDie& die) noexcept {
    const std::optional<bool> success = die.success();
    return dict_of([&](PyObject* dict) {
        return put(dict, "value", PyLong_FromLong(die.value)) && put(dict, "kept", boolean(die.kept)) &&
               put(dict, "bonus", boolean(die.bonus)) && put(dict, "earned_bonus", boolean(die.earned_bonus)) &&
               put(dict, "success", success ? boolean(*success) : none());
    });
}

PyObject* trace_dict(const TraceOutput& trace, const RollRecord& record) noexcept {
    return contain([&]() -> PyObject* {
        std::vector<std::size_t> children;
        // Each row is contained: list_of lets no exception through.
        OwnedRef nodes(list_of(trace.node_count(), [&](std::size_t i) {
            return contain([&] { return one_node(trace, i, children); });
        }));
        if (nodes == nullptr) return nullptr;
        const auto hint = [&](std::size_t i) { return text_object(trace.hints[i]); };
        return dict_of([&](PyObject* dict) {
            return put(dict, "consumed", text_object(record.consumed)) &&
                   put(dict, "tail", text_object(record.tail)) &&
                   put(dict, "summary", text_object(record.summary())) &&
                   put(dict, "detail", text_object(record.detail())) &&
                   put(dict, "full", text_object(record.full())) && put(dict, "is_set", boolean(record.is_set)) &&
                   put(dict, "values", float_list({record.values.data(), record.values.size()})) &&
                   put(dict, "seed", PyLong_FromUnsignedLongLong(trace.seed)) &&
                   put(dict, "hints", list_of(trace.hints.size(), hint)) && put(dict, "nodes", nodes.release()) &&
                   put(dict, "root", trace.has_tree() ? size(trace.root()) : none());
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
