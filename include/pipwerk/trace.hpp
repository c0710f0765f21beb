#pragma once

// A second view of one roll: the same texts and values as roll, the seed that
// replays it, every node of the expression as it was evaluated with its dice,
// and hints for a tail that starts with another roller's notation.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pipwerk/error.hpp"
#include "pipwerk/pipwerk.hpp"

namespace pipwerk {

enum class TraceKind : std::uint8_t { Number, Dice, Negation, Binary, Set, Repetition };

// The name of a kind as the JSON form and Python give it: "number", "dice",
// "negation", "binary", "set", "repetition".
[[nodiscard]] std::string_view kind_name(TraceKind kind) noexcept;

// One die of a dice term, in the order the dice were rolled, in 8 bytes.
struct TraceDie {
    std::int32_t value = 0;     // 1 to the faces
    bool kept : 1 = true;       // counts toward the term's value
    bool bonus : 1 = false;     // added to the pool by a bonus
    bool earned_bonus : 1 = false;  // met the bonus threshold, so added a die ("!")
    bool compared : 1 = false;  // the term has a comparison
    bool passes : 1 = false;    // with one: the die passes it

    // Whether the die passes the comparison; nothing without one.
    [[nodiscard]] std::optional<bool> success() const noexcept {
        return compared ? std::optional<bool>(passes) : std::nullopt;
    }
};

// A dice term's modifiers as written, each where given. Numbers are the
// integer views the roller uses.
struct TraceKeep {
    std::int64_t count = 0;
    bool lowest = false;  // klN, else kN
};
struct TraceComparison {
    std::string_view op;  // ">", ">=", "<", "<=" or "!="
    std::int64_t threshold = 0;
};
struct TraceModifiers {
    std::optional<std::int64_t> bonus;
    std::optional<TraceKeep> keep;
    std::optional<TraceComparison> comparison;
};

// One node as TraceOutput::node reads it from the records.
struct TraceNode {
    TraceKind kind = TraceKind::Number;
    bool is_set = false;     // values are a set's elements, else the one value
    std::size_t start = 0;   // span [start, end) in RollOutput::consumed;
    std::size_t end = 0;     // brackets around the node are not part of it
    char op = 0;             // Binary: '+', '-', '*' or '/'
    // Dice: count and faces as rolled, and the modifiers given.
    std::int32_t count = 0;
    std::int32_t faces = 0;
    TraceModifiers modifiers;
};

namespace detail {

// Storage of a trace: a block of a megabyte or more is a mapping of its own,
// so a large trace gives its memory back to the system when it is freed.
// Room for `count` items of `size` bytes; out of memory past the address space.
[[nodiscard]] void* allocate_trace_block(std::size_t count, std::size_t size);
void free_trace_block(void* block, std::size_t bytes) noexcept;

template <class T>
struct TraceAllocator {
    using value_type = T;
    TraceAllocator() noexcept = default;
    template <class U>
    TraceAllocator(const TraceAllocator<U>&) noexcept {}
    [[nodiscard]] T* allocate(std::size_t n) { return static_cast<T*>(allocate_trace_block(n, sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { free_trace_block(p, n * sizeof(T)); }
    friend bool operator==(TraceAllocator, TraceAllocator) noexcept { return true; }
};

}  // namespace detail

template <class T>
using TraceVector = std::vector<T, detail::TraceAllocator<T>>;

// What a node of the parsed expression was written as, kept once per node id
// however often it was evaluated (a repetition evaluates its body once per
// element).
struct TraceSite {
    static constexpr std::uint32_t kNoModifiers = ~std::uint32_t{0};
    std::size_t start = 0;
    std::size_t end = 0;
    std::uint64_t bits = 0;        // Number: the number's 64 bits; Dice: faces << 32 | count
    std::uint32_t modifiers = kNoModifiers;  // Dice: its place in TraceOutput::modifiers
    TraceKind kind = TraceKind::Number;
    bool is_set = false;           // a node's level is fixed by how it is written
    char op = 0;                   // Binary
    std::uint8_t number_kind = 0;  // Number: whole, real or percentage
};

// A set's elements: a run of TraceOutput::set_values.
struct TraceElements {
    std::uint32_t first;
    std::uint32_t count;
};

// One evaluated node: 16 bytes whatever its kind.
struct TraceRecord {
    std::uint32_t site = 0;  // its TraceSite
    // Dice: its first die in TraceOutput::dice. Any other kind: the nodes of
    // its subtree, itself included, which are the ones just before it.
    std::uint32_t link = 0;
    union {
        double value;             // a scalar's value
        TraceElements elements;   // a set's
    };
};
static_assert(sizeof(TraceRecord) == 16);

// The tree is flat: records in evaluation order, each after its children, so
// the root is the last and a node's subtree is the run of records ending at
// it. Children: a Negation has its operand, a Binary its left and right
// operands, a Set its elements, a Repetition one evaluation of its body per
// element. Read it through the functions; the storage is compact, as a trace
// of a long expression holds millions of nodes.
struct TraceOutput {
    RollOutput output;
    std::uint64_t seed = 0;  // roll(expression, {.seed = seed}) replays this roll
    std::vector<std::string> hints;  // for the tail; see hints_for

    TraceVector<TraceRecord> records;  // empty when nothing parsed
    TraceVector<TraceSite> sites;      // by node id of the parsed expression
    TraceVector<double> set_values;
    TraceVector<TraceDie> dice;
    TraceVector<TraceModifiers> modifiers;

    [[nodiscard]] std::size_t node_count() const noexcept { return records.size(); }
    [[nodiscard]] bool has_tree() const noexcept { return !records.empty(); }
    [[nodiscard]] std::size_t root() const noexcept { return records.size() - 1; }

    [[nodiscard]] TraceKind kind(std::size_t i) const noexcept { return site_of(i).kind; }
    [[nodiscard]] bool is_set(std::size_t i) const noexcept { return site_of(i).is_set; }
    [[nodiscard]] TraceNode node(std::size_t i) const noexcept;
    // The node's one value, or a set's elements.
    [[nodiscard]] std::span<const double> values_of(std::size_t i) const noexcept;
    // A Dice node's dice, in the order rolled; none for other kinds.
    [[nodiscard]] std::span<const TraceDie> dice_of(std::size_t i) const noexcept;
    // A Number node's text, as roll shows the number.
    [[nodiscard]] std::string number_text(std::size_t i) const;

    [[nodiscard]] std::size_t child_count(std::size_t i) const noexcept;
    // The first record of the node's subtree.
    [[nodiscard]] std::size_t subtree_start(std::size_t i) const noexcept;
    // Its children in order, into `out` (emptied first).
    void children_of(std::size_t i, std::vector<std::size_t>& out) const;
    // Child k, in O(child_count - k): a Binary's left is child 0.
    [[nodiscard]] std::size_t child(std::size_t i, std::size_t k) const noexcept;

private:
    [[nodiscard]] const TraceSite& site_of(std::size_t i) const noexcept { return sites[records[i].site]; }
};

// Rolls exactly as roll does (the same RollOutput for the same expression,
// show_detail and seed) and records the tree. Fails with roll's error.
[[nodiscard]] Result<TraceOutput> trace(std::string_view expression, const RollOptions& options);

// trace with the roll laid out in `roll`, as RollBuffer::roll lays it out,
// instead of in out.output, which is left empty: for a caller that keeps the
// buffer and makes the texts only when asked. `out` starts empty; on an
// error both are to be dropped.
[[nodiscard]] Result<RollView> trace_into(std::string_view expression, const RollOptions& options, RollBuffer& roll,
                                          TraceOutput& out);

// A child of a node, and a node's children, by their indices in the records.
struct TraceChild {
    std::size_t index;
};
struct TraceChildren {
    std::span<const std::size_t> indices;
};

// The fields of a node as its JSON form has them (docs/trace.md), in order:
// field(name, value) for each, with the value one of
//   std::string_view                "kind", a Number's "text", a Binary's "op"
//   std::size_t                     "start", "end"
//   double                          a scalar's "value"
//   std::span<const double>         a set's "values"
//   std::int64_t                    a Dice's "count" and "faces", a Repetition's "count"
//   std::optional<std::int64_t>     "bonus"
//   std::optional<TraceKeep>        "keep"
//   std::optional<TraceComparison>  "comparison"
//   std::span<const TraceDie>       "dice"
//   TraceChild, TraceChildren       "operand", "left", "right"; "elements"
// The JSON writer, the Python dicts and the Python node getters all read a
// node through this one list. `children` is scratch room for the indices.
template <class Field>
void visit_node(const TraceOutput& trace, std::size_t i, std::vector<std::size_t>& children, Field&& field) {
    const TraceNode node = trace.node(i);
    field("kind", kind_name(node.kind));
    field("start", node.start);
    field("end", node.end);
    if (node.is_set) {
        field("values", trace.values_of(i));
    } else {
        field("value", trace.values_of(i).front());
    }
    switch (node.kind) {
        case TraceKind::Number: {
            const std::string text = trace.number_text(i);
            field("text", std::string_view(text));
            break;
        }
        case TraceKind::Dice:
            field("count", std::int64_t{node.count});
            field("faces", std::int64_t{node.faces});
            field("bonus", node.modifiers.bonus);
            field("keep", node.modifiers.keep);
            field("comparison", node.modifiers.comparison);
            field("dice", trace.dice_of(i));
            break;
        case TraceKind::Negation: field("operand", TraceChild{i - 1}); break;
        case TraceKind::Binary:
            field("op", std::string_view(&node.op, 1));
            field("left", TraceChild{trace.child(i, 0)});
            field("right", TraceChild{i - 1});
            break;
        case TraceKind::Set:
        case TraceKind::Repetition:
            trace.children_of(i, children);
            if (node.kind == TraceKind::Repetition) field("count", static_cast<std::int64_t>(children.size()));
            field("elements", TraceChildren{children});
            break;
    }
}

// The fields of the objects inside a node, in the same way: a die's "value"
// (std::int64_t), "kept", "bonus" and "earned_bonus" (bool) and "success"
// (std::optional<bool>); a keep's "count" and "lowest"; a comparison's "op"
// and "threshold".
template <class Field>
void visit_fields(const TraceDie& die, Field&& field) {
    field("value", std::int64_t{die.value});
    field("kept", static_cast<bool>(die.kept));
    field("bonus", static_cast<bool>(die.bonus));
    field("earned_bonus", static_cast<bool>(die.earned_bonus));
    field("success", die.success());
}
template <class Field>
void visit_fields(const TraceKeep& keep, Field&& field) {
    field("count", keep.count);
    field("lowest", keep.lowest);
}
template <class Field>
void visit_fields(const TraceComparison& comparison, Field&& field) {
    field("op", comparison.op);
    field("threshold", comparison.threshold);
}

// What pipwerk reads instead of other rollers' notation at the start of a
// tail: "kh" -> "k already keeps the highest", and so on. Empty for a tail
// that starts with nothing known. The table is in trace/hint_table.cpp.
[[nodiscard]] std::vector<std::string_view> hints_for(std::string_view tail);

// The JSON form of a trace (docs/trace.md), written a piece at a time, so
// that a trace of any size is written with little memory besides itself.
class TraceJson {
public:
    enum class Part : std::uint8_t {
        Whole,  // one object: the roll's texts and values, "seed", "hints", "nodes" and "root"
        Tree,   // the keys "nodes" and "root" alone, for a caller that writes the object around them
    };

    TraceJson(const TraceOutput& trace, Part part) noexcept : trace_(trace), part_(part) {}

    // Appends the next piece, `piece` bytes or more unless it is the last,
    // to `out`; false, appending nothing, once everything is written.
    bool append_next(std::string& out, std::size_t piece);

    // No more bytes than the nodes take when written, found without writing
    // them: a caller that can hold only so much refuses a trace early.
    [[nodiscard]] std::size_t least_size() const noexcept;

private:
    void append_node(std::string& out, std::size_t i);

    const TraceOutput& trace_;
    Part part_;
    bool started_ = false;
    std::size_t next_node_ = 0;
    bool done_ = false;
    std::vector<std::size_t> children_;
};

// The whole form at once: TraceJson's Whole part.
void append_trace_json(std::string& out, const TraceOutput& trace);

}  // namespace pipwerk
