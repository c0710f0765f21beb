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
    PyObject* keep = none();
    if (n.keep) {
        keep = PyDict_New();
        if (keep != nullptr && (!put(keep, "count", PyLong_FromLongLong(n.keep->count)) ||
                                !put(keep, "lowest", boolean(n.keep->lowest)))) {
            Py_DecRef(keep);
            return false;
        }
    }
    if (!put(d, "keep", keep)) return false;
    PyObject* comparison = none();
    if (n.comparison) {
        comparison = PyDict_New();
        if (comparison != nullptr && (!put(comparison, "op", text_object(n.comparison->op)) ||
                                      !put(comparison, "threshold", PyLong_FromLongLong(n.comparison->threshold)))) {
            Py_DecRef(comparison);
            return false;
        }
    }
    if (!put(d, "comparison", comparison)) return false;
    const auto dice = trace.dice_of(n);
    return put(d, "dice", list_of(dice.size(), [&](std::size_t i) { return die_dict(dice[i]); }));
}

// Node `i`'s dict; its children's dicts are taken from `made`.
PyObject* one_node(const TraceOutput& trace, std::size_t i, std::vector<OwnedRef>& made, std::size_t base) noexcept {
    const TraceNode& n = trace.nodes[i];
    OwnedRef d(PyDict_New());
    if (d == nullptr) return nullptr;
    PyObject* dict = d.get();
    if (!put(dict, "kind", text_object(kind_name(n.kind))) || !put(dict, "start", size(n.start)) ||
        !put(dict, "end", size(n.end))) {
        return nullptr;
    }
    const bool valued = n.is_set ? put(dict, "values", float_list(trace.values_of(n)))
                                 : put(dict, "value", PyFloat_FromDouble(trace.values_of(n).front()));
    if (!valued) return nullptr;
    const auto children = trace.children_of(n);
    const auto child = [&](std::size_t k) { return Py_NewRef(made[children[k] - base].get()); };
    bool ok = true;
    switch (n.kind) {
        case TraceKind::Number: ok = put(dict, "text", text_object(n.text)); break;
        case TraceKind::Dice: ok = dice_fields(dict, trace, n); break;
        case TraceKind::Negation: ok = put(dict, "operand", child(0)); break;
        case TraceKind::Binary:
            ok = put(dict, "op", text_object(std::string_view(&n.op, 1))) && put(dict, "left", child(0)) &&
                 put(dict, "right", child(1));
            break;
        case TraceKind::Set:
        case TraceKind::Repetition:
            if (n.kind == TraceKind::Repetition && !put(dict, "count", size(children.size()))) return nullptr;
            ok = put(dict, "elements", list_of(children.size(), child));
            break;
    }
    return ok ? d.release() : nullptr;
}

}  // namespace

PyObject* die_dict(const TraceDie& die) noexcept {
    OwnedRef d(PyDict_New());
    if (d == nullptr) return nullptr;
    PyObject* dict = d.get();
    if (!put(dict, "value", PyLong_FromLong(die.value)) || !put(dict, "kept", boolean(die.kept)) ||
        !put(dict, "bonus", boolean(die.bonus)) || !put(dict, "earned_bonus", boolean(die.earned_bonus)) ||
        !put(dict, "success", die.success ? boolean(*die.success) : none())) {
        return nullptr;
    }
    return d.release();
}

PyObject* trace_dict(const TraceOutput& trace, const RollRecord& record) noexcept {
    OwnedRef d(PyDict_New());
    if (d == nullptr) return nullptr;
    PyObject* dict = d.get();
    const auto hint = [&](std::size_t i) { return text_object(trace.hints[i]); };
    if (!put(dict, "consumed", text_object(record.consumed)) || !put(dict, "tail", text_object(record.tail)) ||
        !put(dict, "summary", text_object(record.summary())) || !put(dict, "detail", text_object(record.detail())) ||
        !put(dict, "full", text_object(record.full())) || !put(dict, "is_set", boolean(record.is_set)) ||
        !put(dict, "values", float_list({record.values.data(), record.values.size()})) ||
        !put(dict, "seed", PyLong_FromUnsignedLongLong(trace.seed)) ||
        !put(dict, "hints", list_of(trace.hints.size(), hint)) ||
        !put(dict, "tree", trace.has_tree() ? node_dict(trace, trace.nodes.size() - 1) : none())) {
        return nullptr;
    }
    return d.release();
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
