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

// One die of a dice term, in the order the dice were rolled.
struct TraceDie {
    std::int32_t value = 0;
    bool kept = true;            // counts toward the term's value
    bool bonus = false;          // added to the pool by a bonus
    bool earned_bonus = false;   // met the bonus threshold, so added a die ("!")
    std::optional<bool> success; // passes the comparison; only with a comparison
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

struct TraceNode {
    TraceKind kind = TraceKind::Number;
    bool is_set = false;     // values are a set's elements, else the one value
    std::size_t start = 0;   // span [start, end) in RollOutput::consumed;
    std::size_t end = 0;     // brackets around the node are not part of it
    std::size_t first_value = 0, value_count = 0;  // in TraceOutput::values
    std::size_t first_child = 0, child_count = 0;  // in TraceOutput::children
    std::size_t first_die = 0, die_count = 0;      // in TraceOutput::dice (Dice)
    std::string text;        // Number: the number as roll shows it
    char op = 0;             // Binary: '+', '-', '*' or '/'
    // Dice: count and faces as rolled, and the modifiers given.
    std::int32_t count = 0;
    std::int32_t faces = 0;
    std::optional<std::int64_t> bonus;
    std::optional<TraceKeep> keep;
    std::optional<TraceComparison> comparison;
};

// The tree is flat: nodes in evaluation order, each after its children, so
// the root is the last. A node's values, children and dice are runs of the
// shared lists. Children: a Negation has its operand, a Binary its left and
// right operands, a Set its elements, a Repetition one evaluation of its
// body per element.
struct TraceOutput {
    RollOutput output;
    std::uint64_t seed = 0;  // roll(expression, {.seed = seed}) replays this roll
    std::vector<TraceNode> nodes;  // empty when nothing parsed
    std::vector<double> values;
    std::vector<std::size_t> children;
    std::vector<TraceDie> dice;
    std::vector<std::string> hints;  // for the tail; see hints_for

    [[nodiscard]] bool has_tree() const noexcept { return !nodes.empty(); }
    [[nodiscard]] const TraceNode& root() const noexcept { return nodes.back(); }
    [[nodiscard]] std::span<const double> values_of(const TraceNode& n) const noexcept {
        return std::span(values).subspan(n.first_value, n.value_count);
    }
    [[nodiscard]] std::span<const std::size_t> children_of(const TraceNode& n) const noexcept {
        return std::span(children).subspan(n.first_child, n.child_count);
    }
    [[nodiscard]] std::span<const TraceDie> dice_of(const TraceNode& n) const noexcept {
        return std::span(dice).subspan(n.first_die, n.die_count);
    }
};

// Rolls exactly as roll does (the same RollOutput for the same expression,
// show_detail and seed) and records the tree. Fails with roll's error.
[[nodiscard]] Result<TraceOutput> trace(std::string_view expression, const RollOptions& options);

// What pipwerk reads instead of other rollers' notation at the start of a
// tail: "kh" -> "k already keeps the highest", and so on. Empty for a tail
// that starts with nothing known. The table is in trace/hint_table.cpp.
[[nodiscard]] std::vector<std::string_view> hints_for(std::string_view tail);

// The tree as one JSON object, the form docs/trace.md documents:
// {"kind": ..., "start": ..., "end": ..., "value" or "values": ..., ...}.
// Writes null when nothing parsed.
void append_trace_tree_json(std::string& out, const TraceOutput& trace);
// The whole trace as one JSON object: the roll's texts and values, "seed",
// "hints" and "tree" (append_trace_tree_json).
void append_trace_json(std::string& out, const TraceOutput& trace);

}  // namespace pipwerk
