#include "trace_dict.hpp"

#include <cstddef>
#include <span>
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

PyObject* float_list(std::span<const double> values) noexcept {
    return list_of(values.size(), [&](std::size_t i) { return PyFloat_FromDouble(values[i]); });
}

bool dice_fields(PyObject* d, const TraceOutput& trace, const TraceNode& n) noexcept {
    if (!put(d, "count", PyLong_FromLong(n.count)) || !put(d, "faces", PyLong_FromLong(n.faces)) ||
        !put(d, "bonus", n.bonus ? PyLong_FromLongLong(*n.bonus) : none())) {
        return false;
    }
    const auto keep = [&](PyObject* k) {
        return put(k, "count", PyLong_FromLongLong(n.keep->count)) && put(k, "lowest", boolean(n.keep->lowest));
    };
    const auto comparison = [&](PyObject* c) {
        return put(c, "op", text_object(n.comparison->op)) &&
               put(c, "threshold", PyLong_FromLongLong(n.comparison->threshold));
    };
    if (!put(d, "keep", n.keep ? dict_of(keep) : none()) ||
        !put(d, "comparison", n.comparison ? dict_of(comparison) : none())) {
        return false;
    }
    const auto dice = trace.dice_of(n);
    return put(d, "dice", list_of(dice.size(), [&](std::size_t i) { return die_dict(dice[i]); }));
}

// Node `i`'s dict; its children's dicts are taken from `made`.
PyObject* one_node(const TraceOutput& trace, std::size_t i, std::vector<OwnedRef>& made, std::size_t base) noexcept {
    const TraceNode& n = trace.nodes[i];
    const auto children = trace.children_of(n);
    const auto child = [&](std::size_t k) { return Py_NewRef(made[children[k] - base].get()); };
    return dict_of([&](PyObject* dict) {
        if (!put(dict, "kind", text_object(kind_name(n.kind))) || !put(dict, "start", size(n.start)) ||
            !put(dict, "end", size(n.end))) {
            return false;
        }
        const bool valued = n.is_set ? put(dict, "values", float_list(trace.values_of(n)))
                                     : put(dict, "value", PyFloat_FromDouble(trace.values_of(n).front()));
        if (!valued) return false;
        switch (n.kind) {
            case TraceKind::Number: return put(dict, "text", text_object(n.text));
            case TraceKind::Dice: return dice_fields(dict, trace, n);
            case TraceKind::Negation: return put(dict, "operand", child(0));
            case TraceKind::Binary:
                return put(dict, "op", text_object(std::string_view(&n.op, 1))) && put(dict, "left", child(0)) &&
                       put(dict, "right", child(1));
            case TraceKind::Set: return put(dict, "elements", list_of(children.size(), child));
            case TraceKind::Repetition:
                return put(dict, "count", size(children.size())) &&
                       put(dict, "elements", list_of(children.size(), child));
        }
        return true;
    });
}

}  // namespace

PyObject* die_dict(const TraceDie& die) noexcept {
    return dict_of([&](PyObject* dict) {
        return put(dict, "value", PyLong_FromLong(die.value)) && put(dict, "kept", boolean(die.kept)) &&
               put(dict, "bonus", boolean(die.bonus)) && put(dict, "earned_bonus", boolean(die.earned_bonus)) &&
               put(dict, "success", die.success ? boolean(*die.success) : none());
    });
}

PyObject* trace_dict(const TraceOutput& trace, const RollRecord& record) noexcept {
    const auto hint = [&](std::size_t i) { return text_object(trace.hints[i]); };
    return dict_of([&](PyObject* dict) {
        return put(dict, "consumed", text_object(record.consumed)) && put(dict, "tail", text_object(record.tail)) &&
               put(dict, "summary", text_object(record.summary())) &&
               put(dict, "detail", text_object(record.detail())) && put(dict, "full", text_object(record.full())) &&
               put(dict, "is_set", boolean(record.is_set)) &&
               put(dict, "values", float_list({record.values.data(), record.values.size()})) &&
               put(dict, "seed", PyLong_FromUnsignedLongLong(trace.seed)) &&
               put(dict, "hints", list_of(trace.hints.size(), hint)) &&
               put(dict, "tree", trace.has_tree() ? node_dict(trace, trace.nodes.size() - 1) : none());
    });
}

PyObject* node_dict(const TraceOutput& trace, std::size_t index) noexcept {
    return contain([&]() -> PyObject* {
        // A subtree is a run of nodes ending at its root: it starts at the
        // first node of its first child's subtree.
        std::size_t first = index;
        while (trace.nodes[first].child_count != 0) first = trace.children_of(trace.nodes[first]).front();
        std::vector<OwnedRef> made(index - first + 1);
        for (std::size_t i = first; i <= index; ++i) {
            made[i - first].reset(one_node(trace, i, made, first));
            if (made[i - first] == nullptr) return nullptr;
        }
        return made.back().release();
    });
}

}  // namespace pipwerk::python
