#pragma once

// What must hold of every trace, whatever the expression: shared by the
// trace tests and the trace fuzz target. trace_fault gives the first rule a
// trace breaks, or an empty text. It knows nothing of how the tree was
// built: it reads the tree against the roll's own texts and values.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pipwerk/trace.hpp"

namespace trace_checks {

inline bool same_number(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b) || a == b;
}

// The dice as the detail text shows them: "[1* + 4]", or with a comparison
// "<4 + 6*>" over the kept dice only.
inline std::string dice_text(const pipwerk::TraceOutput& t, const pipwerk::TraceNode& n) {
    const bool compared = n.comparison.has_value();
    std::string text(1, compared ? '<' : '[');
    bool first = true;
    for (const pipwerk::TraceDie& die : t.dice_of(n)) {
        if (compared && !die.kept) continue;
        if (!first) text += " + ";
        first = false;
        text += std::to_string(die.value);
        if (compared ? !die.success.value_or(false) : !die.kept) text += '*';
        if (die.earned_bonus) text += '!';
    }
    text += compared ? '>' : ']';
    return text;
}

inline std::string strip(std::string_view s, std::string_view drop) {
    std::string out;
    for (const char c : s) {
        if (drop.find(c) == std::string_view::npos) out += c;
    }
    return out;
}

inline std::string dice_fault(const pipwerk::TraceOutput& t, const pipwerk::TraceNode& n) {
    const auto dice = t.dice_of(n);
    std::int64_t sum = 0, successes = 0, kept = 0, bonus = 0, earned = 0;
    for (std::size_t i = 0; i < dice.size(); ++i) {
        const pipwerk::TraceDie& d = dice[i];
        if (d.kept) {
            ++kept;
            sum += d.value;
            successes += d.success.value_or(false);
        }
        bonus += d.bonus;
        earned += d.earned_bonus;
        if (d.value < 1 || d.value > n.faces) return "a die outside [1, faces]";
        if (d.success.has_value() != n.comparison.has_value()) return "success given without a comparison";
        if (d.bonus != (i >= static_cast<std::size_t>(n.count))) return "bonus dice are not the ones past the count";
        if (d.earned_bonus && (!n.bonus || d.value < *n.bonus)) return "a die earned a bonus below the threshold";
    }
    if (bonus != earned) return "bonus dice and dice that earned one differ in number";
    const std::size_t initial = n.count < 50 ? static_cast<std::size_t>(n.count) : 50;
    if (dice.size() < initial || dice.size() > 50) return "pool size out of range";
    if (n.keep && n.keep->count != 0) {
        const std::uint64_t m = n.keep->count < 0 ? 0 - static_cast<std::uint64_t>(n.keep->count)
                                                  : static_cast<std::uint64_t>(n.keep->count);
        const std::uint64_t want = m < dice.size() ? m : dice.size();
        if (static_cast<std::uint64_t>(kept) != want) return "kept dice differ from the keep count";
    } else if (static_cast<std::size_t>(kept) != dice.size()) {
        return "a die dropped without a keep";
    }
    const double value = t.values_of(n).front();
    if (!same_number(value, static_cast<double>(n.comparison ? successes : sum))) {
        return "dice value is not the kept dice's " + std::string(n.comparison ? "successes" : "sum");
    }
    return {};
}

// The node's span against the consumed text, its children's inside it in order.
inline std::string span_fault(const pipwerk::TraceOutput& t, const pipwerk::TraceNode& n) {
    const std::string_view consumed = t.output.consumed;
    if (n.start >= n.end || n.end > consumed.size()) return "span out of the consumed text";
    const std::string_view text = consumed.substr(n.start, n.end - n.start);
    const auto children = t.children_of(n);
    std::size_t at = n.start;
    for (const std::size_t c : children) {
        const pipwerk::TraceNode& child = t.nodes[c];
        if (n.kind != pipwerk::TraceKind::Repetition && child.start < at) return "children overlap or are out of order";
        if (child.start < n.start || child.end > n.end) return "a child's span leaves its parent's";
        at = child.end;
    }
    switch (n.kind) {
        case pipwerk::TraceKind::Number:
            if (strip(text, "") != strip(text, " ") || text.find_first_of("0123456789.") != 0) return "number span";
            break;
        case pipwerk::TraceKind::Dice:
            if (text.find_first_of("dD") == std::string_view::npos || text.find_first_of("+-*/(){},#") != std::string_view::npos) {
                return "dice span";
            }
            break;
        case pipwerk::TraceKind::Negation:
            if (text.front() != '-' || strip(consumed.substr(t.nodes[children[0]].end, n.end - t.nodes[children[0]].end), " )") != "") {
                return "negation span";
            }
            break;
        case pipwerk::TraceKind::Binary: {
            const pipwerk::TraceNode& l = t.nodes[children[0]];
            const pipwerk::TraceNode& r = t.nodes[children[1]];
            const std::string between = strip(consumed.substr(l.end, r.start - l.end), " ()");
            if (between != std::string(1, n.op)) return "binary span: '" + between + "' between the operands";
            break;
        }
        case pipwerk::TraceKind::Set:
            if (text.front() != '{' || text.back() != '}') return "set span";
            break;
        case pipwerk::TraceKind::Repetition:
            if (strip(text.substr(0, t.nodes[children[0]].start - n.start), " ").find('#') == std::string::npos) {
                return "repetition span";
            }
            break;
    }
    return {};
}

inline std::string trace_fault(const pipwerk::TraceOutput& t) {
    const pipwerk::RollOutput& r = t.output;
    if (r.consumed.empty()) return t.nodes.empty() ? std::string() : "a tree without anything consumed";
    if (t.nodes.empty()) return "no tree for a consumed expression";
    std::vector<int> parents(t.nodes.size(), 0);
    for (std::size_t i = 0; i < t.nodes.size(); ++i) {
        for (const std::size_t c : t.children_of(t.nodes[i])) {
            if (c >= i) return "a child after its parent";
            ++parents[c];
        }
    }
    for (std::size_t i = 0; i + 1 < t.nodes.size(); ++i) {
        if (parents[i] != 1) return "a node that is not one parent's child";
    }
    const pipwerk::TraceNode& root = t.root();
    if (root.is_set != r.is_set) return "root is_set differs from the roll's";
    const auto root_values = t.values_of(root);
    if (root_values.size() != r.values.size()) return "root values differ in number";
    for (std::size_t i = 0; i < root_values.size(); ++i) {
        if (!same_number(root_values[i], r.values[i])) return "root values differ from the roll's";
    }
    if (strip(r.consumed.substr(0, root.start), " (") != "" || strip(r.consumed.substr(root.end), " )") != "") {
        return "root span leaves more than brackets outside";
    }
    std::size_t search_from = 0;
    for (const pipwerk::TraceNode& n : t.nodes) {
        if (!n.is_set && n.value_count != 1) return "a scalar node without one value";
        if (std::string fault = span_fault(t, n); !fault.empty()) return fault;
        const auto values = t.values_of(n);
        const auto children = t.children_of(n);
        switch (n.kind) {
            case pipwerk::TraceKind::Dice: {
                if (std::string fault = dice_fault(t, n); !fault.empty()) return fault;
                if (r.detail.empty()) break;
                // The dice's own text, found in the detail: in order for a
                // scalar, whose detail is written as it is evaluated.
                const std::string text = dice_text(t, n);
                const std::size_t at = r.detail.find(text, r.is_set ? 0 : search_from);
                if (at == std::string::npos) return "dice text " + text + " not in the detail";
                if (!r.is_set) search_from = at + text.size();
                break;
            }
            case pipwerk::TraceKind::Negation: {
                const auto operand = t.values_of(t.nodes[children[0]]);
                if (operand.size() != values.size()) return "negation changes the number of values";
                for (std::size_t i = 0; i < values.size(); ++i) {
                    // The smallest Int is its own negation, as a double too.
                    if (!same_number(values[i], -operand[i]) && operand[i] != -9223372036854775808.0) {
                        return "negation value";
                    }
                }
                break;
            }
            case pipwerk::TraceKind::Set:
            case pipwerk::TraceKind::Repetition:
                if (children.size() != values.size()) return "one element per child";
                for (std::size_t i = 0; i < values.size(); ++i) {
                    const pipwerk::TraceNode& e = t.nodes[children[i]];
                    if (e.is_set || !same_number(t.values_of(e).front(), values[i])) return "element value";
                }
                break;
            default: break;
        }
    }
    return {};
}

}  // namespace trace_checks
