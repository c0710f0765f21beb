// The classes of pipwerk_trace. Trace owns the engine's trace and the roll's
// buffer, built in place in the object. Nodes and dice are made when asked
// for: each is a small view (the Trace and an index) holding a reference to
// the Trace only, so no object holds another view and a chain thousands of
// nodes deep is never a chain of objects. Nothing can close a cycle, so the
// classes need no garbage-collector support. Every getter of a node or a
// die reads its field through visit_node or visit_fields, as to_dict and
// the JSON writer do, so the three forms cannot drift apart.
#include "trace_objects.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "class_shape.hpp"
#include "exception_boundary.hpp"
#include "module_setup.hpp"
#include "owned_ref.hpp"
#include "refcount.hpp"
#include "sequence_object.hpp"
#include "text_object.hpp"
#include "engine_error.hpp"
#include "trace_dict.hpp"


namespace pipwerk::python {
namespace {

// The engine's trace and the roll's buffer live in the object itself,
// built in place. The roll's consumed text and tail view the expression's
// own UTF-8, which the object keeps alive; the trace's output texts are
// made from the roll only when the JSON form asks for them.
struct TraceObject {
    PyObject header;
    TraceOutput trace;
    RollBuffer buffer;
    RollView roll;  // views the buffer and the expression
    PyObject* expression;  // the exact str traced
    PyObject* result;      // the RollResult, made on first access; null until then
    bool show_detail;
    bool has_output;       // trace.output made from the roll
};

// A node or a die: which one, in which Trace.
struct ViewObject {
    PyObject header;
    PyObject* owner;  // the Trace, owned
    std::size_t index;
};

// The storage of the last small Trace freed, emptied, for the next trace to
// fill: a trace made and dropped in a loop then allocates none of it again.
// Only small buffers are kept, so what stays held is a few kilobytes; the
// GIL guards it.
struct SpareStorage {
    TraceVector<TraceRecord> records;
    TraceVector<TraceSite> sites;
    TraceVector<double> set_values;
    TraceVector<TraceDie> dice;
    TraceVector<TraceModifiers> modifiers;
};
SpareStorage spare;
constexpr std::size_t kSpareBytes = 8192;  // per buffer

template <class T>
void keep_spare(TraceVector<T>& from, TraceVector<T>& into) noexcept {
    if (from.capacity() * sizeof(T) > kSpareBytes || from.capacity() <= into.capacity()) return;
    from.clear();
    into.swap(from);
}

void give_spare(TraceOutput& t) noexcept {
    keep_spare(t.records, spare.records);
    keep_spare(t.sites, spare.sites);
    keep_spare(t.set_values, spare.set_values);
    keep_spare(t.dice, spare.dice);
    keep_spare(t.modifiers, spare.modifiers);
}

void take_spare(TraceOutput& t) noexcept {
    t.records.swap(spare.records);
    t.sites.swap(spare.sites);
    t.set_values.swap(spare.set_values);
    t.dice.swap(spare.dice);
    t.modifiers.swap(spare.modifiers);
}

// The memory of the last Trace freed, for the next Trace, as CPython keeps
// its own free lists: a Trace is larger than the small-object allocator
// serves, so each would otherwise cost a malloc and a free.
PyObject* spare_trace = nullptr;

constexpr std::size_t kKinds = 6;
PyTypeObject* trace_type = nullptr;
PyTypeObject* die_type = nullptr;
std::array<PyTypeObject*, kKinds> node_types{};

TraceObject& trace_object(PyObject* self) noexcept { return *reinterpret_cast<TraceObject*>(self); }
ViewObject& view(PyObject* self) noexcept { return *reinterpret_cast<ViewObject*>(self); }
const TraceOutput& data_of(PyObject* self) noexcept { return trace_object(view(self).owner).trace; }
std::string_view consumed_of(PyObject* self) noexcept { return trace_object(view(self).owner).roll.consumed; }
TraceNode node_of(PyObject* self) noexcept { return data_of(self).node(view(self).index); }
const TraceDie& die_of(PyObject* self) noexcept { return data_of(self).dice[view(self).index]; }

PyObject* allocate(PyTypeObject* type) noexcept {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    return alloc(type, 0);
}

PyObject* new_view(PyTypeObject* type, PyObject* owner, std::size_t index) noexcept {
    PyObject* self = allocate(type);
    if (self == nullptr) return nullptr;
    incref(owner);
    view(self).owner = owner;
    view(self).index = index;
    return self;
}

PyObject* new_node(PyObject* owner, std::size_t index) noexcept {
    const TraceKind kind = trace_object(owner).trace.kind(index);
    return new_view(node_types[static_cast<std::size_t>(kind)], owner, index);
}

void free_object(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free(self);
    decref(reinterpret_cast<PyObject*>(type));
}

void view_dealloc(PyObject* self) noexcept {
    decref(view(self).owner);
    free_object(self);
}

void trace_dealloc(PyObject* self) noexcept {
    TraceObject& t = trace_object(self);
    give_spare(t.trace);
    t.trace.~TraceOutput();
    t.buffer.~RollBuffer();
    xdecref(t.expression);
    xdecref(t.result);
    if (spare_trace == nullptr) {
        spare_trace = self;
        decref(reinterpret_cast<PyObject*>(trace_type));  // the instance's reference to its type
        return;
    }
    free_object(self);
}

PyObject* refuse(PyTypeObject*, PyObject*, PyObject*) noexcept {
    PyErr_SetString(PyExc_TypeError, "pipwerk_trace objects are made by pipwerk_trace.trace only");
    return nullptr;
}

// The node class's name as its repr shows it ("DiceNode").
const char* kind_class_name(TraceKind kind) noexcept;

// The tuple of the nodes at `indices` of owner's trace.
PyObject* node_tuple(PyObject* owner, std::span<const std::size_t> indices) noexcept {
    return tuple_of(indices.size(), [&](std::size_t i) { return new_node(owner, indices[i]); });
}

// ---- Trace

PyObject* trace_result(PyObject* self, void*) noexcept {
    TraceObject& t = trace_object(self);
    if (t.result == nullptr) {
        // pipwerk's own roll with the seed that replays this trace: a real
        // RollResult, with nothing added to pipwerk to make one.
        OwnedRef pipwerk(PyImport_ImportModule("pipwerk"));
        if (pipwerk == nullptr) return nullptr;
        OwnedRef roll(PyObject_GetAttrString(pipwerk.get(), "roll"));
        if (roll == nullptr) return nullptr;
        OwnedRef seed(PyLong_FromUnsignedLongLong(t.trace.seed));
        if (seed == nullptr) return nullptr;
        OwnedRef args(Py_BuildValue("(OO)", t.expression, t.show_detail ? Py_True : Py_False));
        OwnedRef kwargs(Py_BuildValue("{sO}", "seed", seed.get()));
        if (args == nullptr || kwargs == nullptr) return nullptr;
        t.result = PyObject_Call(roll.get(), args.get(), kwargs.get());
        if (t.result == nullptr) return nullptr;
    }
    return Py_NewRef(t.result);
}

PyObject* trace_seed(PyObject* self, void*) noexcept {
    return PyLong_FromUnsignedLongLong(trace_object(self).trace.seed);
}

PyObject* trace_root(PyObject* self, void*) noexcept {
    const TraceOutput& t = trace_object(self).trace;
    if (!t.has_tree()) return Py_NewRef(Py_None);
    return new_node(self, t.root());
}

PyObject* trace_hints(PyObject* self, void*) noexcept {
    const auto& hints = trace_object(self).trace.hints;
    return tuple_of(hints.size(), [&](std::size_t i) { return text_object(hints[i]); });
}

PyObject* trace_dice(PyObject* self, void*) noexcept {
    return contain([&] {
        const TraceOutput& t = trace_object(self).trace;
        std::vector<std::size_t> dice;
        for (std::size_t i = 0; i < t.node_count(); ++i) {
            if (t.kind(i) == TraceKind::Dice) dice.push_back(i);
        }
        return node_tuple(self, dice);
    });
}

PyObject* trace_to_json(PyObject* self, PyObject*) noexcept {
    return contain([&] {
        TraceObject& t = trace_object(self);
        if (!t.has_output) {
            t.trace.output = to_output(t.roll);
            t.has_output = true;
        }
        std::string out;
        append_trace_json(out, t.trace);
        return text_object(out);
    });
}

PyObject* trace_to_dict(PyObject* self, PyObject*) noexcept {
    return trace_dict(trace_object(self).trace, trace_object(self).roll);
}

PyObject* trace_repr(PyObject* self) noexcept {
    const TraceObject& t = trace_object(self);
    OwnedRef seed(PyLong_FromUnsignedLongLong(t.trace.seed));
    if (seed == nullptr) return nullptr;
    return PyUnicode_FromFormat("Trace(%R, seed=%S)", t.expression, seed.get());
}

PyGetSetDef trace_getters[] = {
    {"result", trace_result, nullptr,
     "The pipwerk.RollResult of this roll: pipwerk.roll(expression, show_detail, seed=seed).", nullptr},
    {"seed", trace_seed, nullptr, "The seed that replays this roll, also for an unseeded call.", nullptr},
    {"root", trace_root, nullptr, "The root node of the tree, or None when nothing was parsed.", nullptr},
    {"hints", trace_hints, nullptr, "Hints for a tail that starts with other dice rollers' notation.", nullptr},
    {"dice", trace_dice, nullptr, "Every dice term in evaluation order, as a flat tuple of DiceNode.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef trace_methods[] = {
    {"to_dict", trace_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\nThe trace as plain dicts, lists, strs, numbers and None, ready for json.dumps:\n"
     "the tree as a flat table, nodes (children by index) and root. NaN and infinities are None."},
    {"to_json", trace_to_json, METH_NOARGS,
     "to_json($self, /)\n--\n\nThe trace as one line of JSON, equal to to_dict() read back."},
    {nullptr, nullptr, 0, nullptr},
};

// ---- nodes and dice

// Where a getter reads: a field that visit_node (or visit_fields, for a die)
// gives, or a member of that field's object (a keep's "count"), with what
// the getter gives when the field is absent (None unless `absent_false`).
struct FieldPath {
    std::string_view field;
    std::string_view member = {};
    bool absent_false = false;
};

// A field's value as a getter gives it: a child as its node, the dice as Die
// objects, values as tuples, any number as it is (NaN too).
class GetterValue {
public:
    explicit GetterValue(PyObject* owner) noexcept : owner_(owner) {}

    PyObject* operator()(std::string_view text) const noexcept { return text_object(text); }
    PyObject* operator()(bool value) const noexcept { return PyBool_FromLong(value ? 1 : 0); }
    PyObject* operator()(double value) const noexcept { return PyFloat_FromDouble(value); }
    PyObject* operator()(std::size_t value) const noexcept { return PyLong_FromSize_t(value); }
    PyObject* operator()(std::int64_t value) const noexcept { return PyLong_FromLongLong(value); }
    PyObject* operator()(TraceChild child) const noexcept { return new_node(owner_, child.index); }
    PyObject* operator()(TraceChildren children) const noexcept { return node_tuple(owner_, children.indices); }
    PyObject* operator()(std::span<const double> values) const noexcept {
        return tuple_of(values.size(), [&](std::size_t i) { return PyFloat_FromDouble(values[i]); });
    }
    PyObject* operator()(std::span<const TraceDie> dice) const noexcept {
        const auto first = static_cast<std::size_t>(dice.data() - trace_object(owner_).trace.dice.data());
        return tuple_of(dice.size(), [&](std::size_t i) { return new_view(die_type, owner_, first + i); });
    }
    template <class Object>
    PyObject* operator()(const Object& object) const noexcept
        requires requires { fields_dict(object); }
    {
        return fields_dict(object);
    }
    template <class T>
    PyObject* operator()(const std::optional<T>& value) const noexcept {
        return value ? (*this)(*value) : Py_NewRef(Py_None);
    }

private:
    PyObject* owner_;
};

// The value at `path` among the fields that visit(field) gives.
template <class Visit>
PyObject* read_path(PyObject* owner, const FieldPath& path, Visit&& visit) noexcept {
    const GetterValue convert(owner);
    PyObject* result = nullptr;
    bool found = false;
    visit([&](std::string_view name, const auto& value) {
        if (found || name != path.field) return;
        found = true;
        if (path.member.empty()) {
            result = convert(value);
            return;
        }
        // Members are read from the optional objects only (a keep, a comparison).
        if constexpr (requires { visit_fields(*value, [](std::string_view, const auto&) {}); }) {
            if (!value) return;  // absent, as a missing field is
            visit_fields(*value, [&](std::string_view member, const auto& v) {
                if (member == path.member) result = convert(v);
            });
        }
    });
    if (result != nullptr || PyErr_Occurred() != nullptr) return result;
    return Py_NewRef(path.absent_false ? Py_False : Py_None);
}

PyObject* node_field(PyObject* self, void* closure) noexcept {
    return contain([&] {
        std::vector<std::size_t> children;
        return read_path(view(self).owner, *static_cast<const FieldPath*>(closure), [&](auto&& field) {
            visit_node(data_of(self), view(self).index, children, field);
        });
    });
}

PyObject* die_field(PyObject* self, void* closure) noexcept {
    return read_path(view(self).owner, *static_cast<const FieldPath*>(closure),
                     [&](auto&& field) { visit_fields(die_of(self), field); });
}

// The getters' paths: each names a field of the JSON form.
constexpr FieldPath kKind{"kind"}, kStart{"start"}, kEnd{"end"}, kValue{"value"}, kText{"text"}, kOp{"op"},
    kLeft{"left"}, kRight{"right"}, kOperand{"operand"}, kElements{"elements"}, kCount{"count"}, kFaces{"faces"},
    kBonus{"bonus"}, kDice{"dice"}, kKeep{"keep", "count"}, kKeepLowest{"keep", "lowest", true},
    kComparison{"comparison", "op"}, kThreshold{"comparison", "threshold"};
constexpr FieldPath kDieValue{"value"}, kKept{"kept"}, kDieBonus{"bonus"}, kEarned{"earned_bonus"},
    kSuccess{"success"};

// A getter's closure: the path it reads (the getter tables hold no const).
constexpr void* path(const FieldPath& p) noexcept { return const_cast<FieldPath*>(&p); }

std::size_t index_of(PyObject* self) noexcept { return view(self).index; }
PyObject* node_index(PyObject* self, void*) noexcept { return PyLong_FromSize_t(index_of(self)); }
// The node's one value or a set's elements, always as a tuple.
PyObject* node_values(PyObject* self, void*) noexcept {
    return GetterValue(view(self).owner)(data_of(self).values_of(index_of(self)));
}
PyObject* node_source(PyObject* self, void*) noexcept {
    const TraceNode n = node_of(self);
    return text_object(consumed_of(self).substr(n.start, n.end - n.start));
}
PyObject* node_to_dict(PyObject* self, PyObject*) noexcept { return node_dict(data_of(self), index_of(self)); }
PyObject* node_repr(PyObject* self) noexcept {
    OwnedRef source(node_source(self, nullptr));
    if (source == nullptr) return nullptr;
    const bool is_set = data_of(self).is_set(index_of(self));
    OwnedRef values(is_set ? node_values(self, nullptr) : node_field(self, path(kValue)));
    if (values == nullptr) return nullptr;
    return PyUnicode_FromFormat("%s(%R, %s=%R)", kind_class_name(data_of(self).kind(index_of(self))), source.get(),
                                is_set ? "values" : "value", values.get());
}
PyObject* node_is_set(PyObject* self, void*) noexcept { return PyBool_FromLong(data_of(self).is_set(index_of(self))); }

PyObject* die_to_dict(PyObject* self, PyObject*) noexcept { return fields_dict(die_of(self)); }
PyObject* die_repr(PyObject* self) noexcept {
    const TraceDie& d = die_of(self);
    return PyUnicode_FromFormat("Die(value=%d, kept=%s, bonus=%s)", static_cast<int>(d.value),
                                d.kept ? "True" : "False", d.bonus ? "True" : "False");
}

PyGetSetDef die_getters[] = {
    {"value", die_field, nullptr, "The face the die shows.", path(kDieValue)},
    {"kept", die_field, nullptr, "Whether the die counts toward its term (False: dropped by a keep).", path(kKept)},
    {"bonus", die_field, nullptr, "Whether a bonus added this die to the pool.", path(kDieBonus)},
    {"earned_bonus", die_field, nullptr, "Whether the die met the bonus threshold and so added a die.",
     path(kEarned)},
    {"success", die_field, nullptr, "Whether the die passes the comparison; None without one.", path(kSuccess)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef die_methods[] = {
    {"to_dict", die_to_dict, METH_NOARGS, "to_dict($self, /)\n--\n\nThe die as a plain dict."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef node_methods[] = {
    {"to_dict", node_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\nThis node's row of the trace's to_dict()[\"nodes\"]: children by index."},
    {nullptr, nullptr, 0, nullptr},
};

// ---- the classes

// The getters every node class has; each class adds its own after them.
constexpr PyGetSetDef kNodeGetters[] = {
    {"kind", node_field, nullptr, "What the node is: its class's kind.", path(kKind)},
    {"index", node_index, nullptr, "The node's place in the trace's nodes, in evaluation order; the root is last.",
     nullptr},
    {"start", node_field, nullptr, "Where the node's text starts in the consumed text.", path(kStart)},
    {"end", node_field, nullptr, "Where the node's text ends (exclusive) in the consumed text.", path(kEnd)},
    {"source", node_source, nullptr, "The node's text: consumed[start:end].", nullptr},
    {"is_set", node_is_set, nullptr, "Whether the node's value is a set.", nullptr},
    {"value", node_field, nullptr, "The node's value; None when it is a set.", path(kValue)},
    {"values", node_values, nullptr, "The node's values: its one value, or a set's elements.", nullptr},
};
constexpr PyGetSetDef kNumberGetters[] = {
    {"text", node_field, nullptr, "The number as roll shows it.", path(kText)},
};
constexpr PyGetSetDef kDiceGetters[] = {
    {"count", node_field, nullptr, "The number of dice rolled before any bonus.", path(kCount)},
    {"faces", node_field, nullptr, "The faces of each die.", path(kFaces)},
    {"bonus", node_field, nullptr, "The bonus threshold, or None.", path(kBonus)},
    {"keep", node_field, nullptr, "How many dice are kept, or None.", path(kKeep)},
    {"keep_lowest", node_field, nullptr, "Whether the lowest dice are kept (kl) rather than the highest.",
     path(kKeepLowest)},
    {"comparison", node_field, nullptr, "The comparison operator, or None.", path(kComparison)},
    {"threshold", node_field, nullptr, "The comparison's threshold, or None.", path(kThreshold)},
    {"dice", node_field, nullptr, "The dice in the order rolled, bonus dice after the others.", path(kDice)},
};
constexpr PyGetSetDef kNegationGetters[] = {
    {"operand", node_field, nullptr, "The node negated.", path(kOperand)},
};
constexpr PyGetSetDef kBinaryGetters[] = {
    {"op", node_field, nullptr, "The operator: '+', '-', '*' or '/'.", path(kOp)},
    {"left", node_field, nullptr, "The left operand.", path(kLeft)},
    {"right", node_field, nullptr, "The right operand.", path(kRight)},
};
constexpr PyGetSetDef kSetGetters[] = {
    {"elements", node_field, nullptr, "The set's elements.", path(kElements)},
};
constexpr PyGetSetDef kRepetitionGetters[] = {
    {"count", node_field, nullptr, "How many times the body was evaluated.", path(kCount)},
    {"elements", node_field, nullptr, "One evaluation of the body per element.", path(kElements)},
};

// One row per node class, in the order of TraceKind.
struct NodeClass {
    const char* name;  // qualified
    const char* doc;
    std::span<const PyGetSetDef> own_getters;
};
constexpr NodeClass kNodeClasses[kKinds] = {
    {"pipwerk_trace.NumberNode", "A number, as roll shows it.", kNumberGetters},
    {"pipwerk_trace.DiceNode", "A dice term: its count, faces and modifiers, its value and its dice.", kDiceGetters},
    {"pipwerk_trace.NegationNode", "A negation of its operand.", kNegationGetters},
    {"pipwerk_trace.BinaryNode", "An operation of two operands.", kBinaryGetters},
    {"pipwerk_trace.SetNode", "A set written in braces, with its elements.", kSetGetters},
    {"pipwerk_trace.RepetitionNode", "A repetition N#body: one evaluation of the body per element.",
     kRepetitionGetters},
};

// Each node class's full getter table: the common getters, its own, then
// the zeroed end mark. Plain arrays, so they outlive every class.
constexpr std::size_t kMostGetters = 17;
static_assert(std::ranges::all_of(kNodeClasses, [](const NodeClass& c) {
    return std::size(kNodeGetters) + c.own_getters.size() < kMostGetters;
}));
std::array<std::array<PyGetSetDef, kMostGetters>, kKinds> node_getters{};

// A class's name without its module: "DiceNode" of "pipwerk_trace.DiceNode".
const char* unqualified(const char* name) noexcept { return std::strchr(name, '.') + 1; }

const char* kind_class_name(TraceKind kind) noexcept {
    return unqualified(kNodeClasses[static_cast<std::size_t>(kind)].name);
}

// Creates the class (kept in `type` for the process) and adds it to the module.
bool add_class(ModuleExports& exports, PyTypeObject*& type, const ClassShape& shape) noexcept {
    type = reinterpret_cast<PyTypeObject*>(create_class(shape));
    if (type == nullptr) return false;
    incref(reinterpret_cast<PyObject*>(type));  // one kept here, one for the module
    return exports.add(unqualified(shape.name), reinterpret_cast<PyObject*>(type));
}

}  // namespace

bool add_trace_classes(ModuleExports& exports) noexcept {
    constexpr int kViewSize = static_cast<int>(sizeof(ViewObject));
    const ClassShape trace_shape = {
        .name = "pipwerk_trace.Trace",
        .doc = "A roll with every node and die behind it, as pipwerk_trace.trace returns it.",
        .basicsize = static_cast<int>(sizeof(TraceObject)),
        .getters = trace_getters,
        .methods = trace_methods,
        .repr = trace_repr,
        .refuse = refuse,
        .dealloc = trace_dealloc,
    };
    const ClassShape die_shape = {
        .name = "pipwerk_trace.Die",
        .doc = "One die of a dice term.",
        .basicsize = kViewSize,
        .getters = die_getters,
        .methods = die_methods,
        .repr = die_repr,
        .refuse = refuse,
        .dealloc = view_dealloc,
    };
    if (!add_class(exports, trace_type, trace_shape) || !add_class(exports, die_type, die_shape)) return false;
    for (std::size_t k = 0; k < kKinds; ++k) {
        const NodeClass& c = kNodeClasses[k];
        auto end = std::ranges::copy(kNodeGetters, node_getters[k].begin()).out;
        std::ranges::copy(c.own_getters, end);
        const ClassShape shape = {
            .name = c.name,
            .doc = c.doc,
            .basicsize = kViewSize,
            .getters = node_getters[k].data(),
            .methods = node_methods,
            .repr = node_repr,
            .refuse = refuse,
            .dealloc = view_dealloc,
        };
        if (!add_class(exports, node_types[k], shape)) return false;
    }
    // Node: the union of the node classes, for isinstance and for annotations.
    OwnedRef node(Py_NewRef(reinterpret_cast<PyObject*>(node_types[0])));
    for (std::size_t k = 1; k < kKinds && node != nullptr; ++k) {
        node.reset(PyNumber_Or(node.get(), reinterpret_cast<PyObject*>(node_types[k])));
    }
    return exports.add("Node", node.release());
}

PyObject* trace_object_of(std::string_view utf8, PyObject* expression, const RollOptions& options) noexcept {
    // PyObject_Init sets the type (taking a reference to it) and the count.
    OwnedRef self(spare_trace != nullptr ? PyObject_Init(std::exchange(spare_trace, nullptr), trace_type)
                                         : allocate(trace_type));
    if (self == nullptr) return nullptr;
    TraceObject& t = trace_object(self.get());
    // Fields the destructor reads are set before anything can fail.
    t.expression = Py_NewRef(expression);
    t.result = nullptr;
    t.show_detail = options.show_detail;
    t.has_output = false;
    return contain([&]() -> PyObject* {
        // Default-initialised, not value-initialised: every field has its own
        // initialiser, and the buffer's inline room (some 400 bytes) is
        // written before it is read, so zeroing it first is wasted work.
        new (&t.trace) TraceOutput;
        new (&t.buffer) RollBuffer;
        take_spare(t.trace);
        const Result<RollView> roll = trace_into(utf8, options, t.buffer, t.trace);
        if (!roll) return raise_value_error(roll.error().message());
        new (&t.roll) RollView(*roll);
        return self.release();
    });
}

}  // namespace pipwerk::python
