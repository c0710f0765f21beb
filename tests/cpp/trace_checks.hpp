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
inline std::string dice_text(const pipwerk::TraceOutput& t, std::size_t index) {
    const bool compared = t.node(index).modifiers.comparison.has_value();
    std::string text(1, compared ? '<' : '[');
    bool first = true;
    for (const pipwerk::TraceDie& die : t.dice_of(index)) {
        if (compared && !die.kept) continue;
        if (!first) text += " + ";
        first = false;
        text += std::to_string(die.value);
        if (compared ? !die.success().value_or(false) : !die.kept) text += '*';
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

inline std::string dice_fault(const pipwerk::TraceOutput& t, std::size_t index) {
    const pipwerk::TraceNode n = t.node(index);
    const pipwerk::TraceModifiers& m = n.modifiers;
    const auto dice = t.dice_of(index);
    std::int64_t sum = 0, successes = 0, kept = 0, bonus = 0, earned = 0;
    for (std::size_t i = 0; i < dice.size(); ++i) {
        const pipwerk::TraceDie& d = dice[i];
        if (d.kept) {
            ++kept;
            sum += d.value;
            successes += d.success().value_or(false);
        }
        bonus += d.bonus;
        earned += d.earned_bonus;
        if (d.value < 1 || d.value > n.faces) return "a die outside [1, faces]";
        if (d.success().has_value() != m.comparison.has_value()) return "success given without a comparison";
        if (d.bonus != (i >= static_cast<std::size_t>(n.count))) return "bonus dice are not the ones past the count";
        if (d.earned_bonus && (!m.bonus || d.value < *m.bonus)) return "a die earned a bonus below the threshold";
    }
    if (bonus != earned) return "bonus dice and dice that earned one differ in number";
    const std::size_t initial = n.count < 50 ? static_cast<std::size_t>(n.count) : 50;
    if (dice.size() < initial || dice.size() > 50) return "pool size out of range";
    if (m.keep && m.keep->count != 0) {
        const std::uint64_t k = m.keep->count < 0 ? 0 - static_cast<std::uint64_t>(m.keep->count)
                                                  : static_cast<std::uint64_t>(m.keep->count);
        const std::uint64_t want = k < dice.size() ? k : dice.size();
        if (static_cast<std::uint64_t>(kept) != want) return "kept dice differ from the keep count";
    } else if (static_cast<std::size_t>(kept) != dice.size()) {
        return "a die dropped without a keep";
    }
    const double value = t.values_of(index).front();
    if (!same_number(value, static_cast<double>(m.comparison ? successes : sum))) {
        return "dice value is not the kept dice's " + std::string(m.comparison ? "successes" : "sum");
    }
    return {};
}

// The node's span against the consumed text, its children's inside it in order.
inline std::string span_fault(const pipwerk::TraceOutput& t, std::size_t index) {
    const pipwerk::TraceNode n = t.node(index);
    const std::string_view consumed = t.output.consumed;
    if (n.start >= n.end || n.end > consumed.size()) return "span out of the consumed text";
    const std::string_view text = consumed.substr(n.start, n.end - n.start);
    std::vector<std::size_t> children;
    t.children_of(index, children);
    std::size_t at = n.start;
    for (const std::size_t c : children) {
        const pipwerk::TraceNode child = t.node(c);
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
            if (text.front() != '-' || strip(consumed.substr(t.node(children[0]).end, n.end - t.node(children[0]).end), " )") != "") {
                return "negation span";
            }
            break;
        case pipwerk::TraceKind::Binary: {
            const pipwerk::TraceNode l = t.node(children[0]);
            const pipwerk::TraceNode r = t.node(children[1]);
            const std::string between = strip(consumed.substr(l.end, r.start - l.end), " ()");
            if (between != std::string(1, n.op)) return "binary span: '" + between + "' between the operands";
            break;
        }
        case pipwerk::TraceKind::Set:
            if (text.front() != '{' || text.back() != '}') return "set span";
            break;
        case pipwerk::TraceKind::Repetition:
            if (strip(text.substr(0, t.node(children[0]).start - n.start), " ").find('#') == std::string::npos) {
                return "repetition span";
            }
            break;
    }
    return {};
}

inline std::string trace_fault(const pipwerk::TraceOutput& t) {
    const pipwerk::RollOutput& r = t.output;
    const std::size_t count = t.node_count();
    if (r.consumed.empty()) return count == 0 ? std::string() : "a tree without anything consumed";
    if (count == 0) return "no tree for a consumed expression";
    std::vector<std::vector<std::size_t>> children(count);
    std::vector<int> parents(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        t.children_of(i, children[i]);
        for (const std::size_t c : children[i]) {
            if (c >= i) return "a child after its parent";
            ++parents[c];
        }
    }
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (parents[i] != 1) return "a node that is not one parent's child";
    }
    const pipwerk::TraceNode root = t.node(t.root());
    if (root.is_set != r.is_set) return "root is_set differs from the roll's";
    const auto root_values = t.values_of(t.root());
    if (root_values.size() != r.values.size()) return "root values differ in number";
    for (std::size_t i = 0; i < root_values.size(); ++i) {
        if (!same_number(root_values[i], r.values[i])) return "root values differ from the roll's";
    }
    if (strip(r.consumed.substr(0, root.start), " (") != "" || strip(r.consumed.substr(root.end), " )") != "") {
        return "root span leaves more than brackets outside";
    }
    // Pairing two sets drops the elements past the shorter one: an element
    // at an index past the result's size, and all in it, is not shown.
    std::vector<bool> shown(count, true);
    for (std::size_t i = count; i-- > 0;) {
        const pipwerk::TraceKind kind = t.kind(i);
        for (std::size_t k = 0; k < children[i].size(); ++k) {
            const bool element = kind == pipwerk::TraceKind::Set || kind == pipwerk::TraceKind::Repetition;
            shown[children[i][k]] = shown[i] && !(element && k >= r.values.size());
        }
    }
    std::size_t search_from = 0;
    for (std::size_t index = 0; index < count; ++index) {
        const pipwerk::TraceNode n = t.node(index);
        const auto values = t.values_of(index);
        if (!n.is_set && values.size() != 1) return "a scalar node without one value";
        if (std::string fault = span_fault(t, index); !fault.empty()) return fault;
        switch (n.kind) {
            case pipwerk::TraceKind::Dice: {
                if (std::string fault = dice_fault(t, index); !fault.empty()) return fault;
                if (r.detail.empty() || !shown[index]) break;
                // The dice's own text, found in the detail: in order for a
                // scalar, whose detail is written as it is evaluated.
                const std::string text = dice_text(t, index);
                const std::size_t at = r.detail.find(text, r.is_set ? 0 : search_from);
                if (at == std::string::npos) return "dice text " + text + " not in the detail";
                if (!r.is_set) search_from = at + text.size();
                break;
            }
            case pipwerk::TraceKind::Negation: {
                const auto operand = t.values_of(children[index][0]);
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
                for (std::size_t i = 0; i < values.size(); ++i) {
                    const std::size_t e = children[index][i];
                    if (t.is_set(e) || !same_number(t.values_of(e).front(), values[i])) return "element value";
                }
                break;
            default: break;
        }
    }
    return {};
}

}  // namespace trace_checks
