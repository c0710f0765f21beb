#include "trace_dict.hpp"

#include <vector>

#include "exception_boundary.hpp"
#include "owned_ref.hpp"
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
    OwnedRef list(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr || PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item) != 0) return nullptr;
    }
    return list.release();
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
    OwnedRef list(PyList_New(static_cast<Py_ssize_t>(dice.size())));
    if (list == nullptr) return false;
    for (std::size_t i = 0; i < dice.size(); ++i) {
        PyObject* item = die_dict(dice[i]);
        if (item == nullptr || PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item) != 0) return false;
    }
    return put(d, "dice", list.release());
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
        case TraceKind::Repetition: {
            if (n.kind == TraceKind::Repetition && !put(dict, "count", size(children.size()))) return nullptr;
            OwnedRef list(PyList_New(static_cast<Py_ssize_t>(children.size())));
            if (list == nullptr) return nullptr;
            for (std::size_t k = 0; k < children.size(); ++k) {
                if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), child(k)) != 0) return nullptr;
            }
            ok = put(dict, "elements", list.release());
            break;
        }
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
