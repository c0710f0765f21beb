#include "trace/trace_recorder.hpp"

#include <variant>

#include "eval.hpp"
#include "eval/detail_layout.hpp"
#include "eval/tree_walk.hpp"

namespace pipwerk::detail {
namespace {

std::string_view comparison_symbol(ComparisonOp::Kind kind) noexcept {
    switch (kind) {
        case ComparisonOp::Kind::Greater: return ">";
        case ComparisonOp::Kind::GreaterEqual: return ">=";
        case ComparisonOp::Kind::Less: return "<";
        case ComparisonOp::Kind::LessEqual: return "<=";
        case ComparisonOp::Kind::NotEqual: return "!=";
    }
    return "";
}

}  // namespace

TraceNode& TraceRecorder::add(TraceKind kind, ExprId id, std::size_t children) {
    TraceNode node;
    node.kind = kind;
    node.start = spans_[id].start;
    node.end = spans_[id].end;
    node.first_value = numbers_.size();
    // The last `children` finished nodes, in the order they were finished.
    node.first_child = out_.children.size();
    node.child_count = children;
    out_.children.insert(out_.children.end(), pending_.end() - static_cast<std::ptrdiff_t>(children), pending_.end());
    pending_.resize(pending_.size() - children);
    pending_.push_back(out_.nodes.size());
    return out_.nodes.emplace_back(std::move(node));
}

void TraceRecorder::add_value(TraceNode& node, const Number& value) {
    numbers_.push_back(value);
    node.value_count = 1;
}

void TraceRecorder::scalar(ExprId id, const Number& value) {
    const Expr::Node& n = ast_[id].node();
    if (const auto* b = std::get_if<BinaryExpr>(&n)) {
        TraceNode& node = add(TraceKind::Binary, id, 2);
        node.op = symbol_of(b->op);
        add_value(node, value);
        return;
    }
    TraceNode& node = add(TraceKind::Number, id, 0);
    append_echo(node.text, value);
    add_value(node, value);
}

void TraceRecorder::elements(ExprId id, std::span<const Number> values) {
    const Expr::Node& n = ast_[id].node();
    TraceKind kind = TraceKind::Binary;
    std::size_t children = 2;
    if (const auto* set = std::get_if<SetExpr>(&n)) {
        kind = TraceKind::Set;
        children = set->item_count;
    } else if (std::holds_alternative<RepeatExpr>(n)) {
        kind = TraceKind::Repetition;
        children = values.size();
    }
    TraceNode& node = add(kind, id, children);
    if (const auto* b = std::get_if<BinaryExpr>(&n)) node.op = symbol_of(b->op);
    node.is_set = true;
    numbers_.insert(numbers_.end(), values.begin(), values.end());
    node.value_count = values.size();
}

void TraceRecorder::dice(ExprId id, const DiceTerm& term, const RollResult& pool, const Number& value) {
    TraceNode& node = add(TraceKind::Dice, id, 0);
    node.count = term.count;
    node.faces = term.faces;
    const DiceExpr written = ast_.dice(std::get<DiceRef>(ast_[id].node()));
    if (written.bonus) node.bonus = term.bonus;
    if (written.keep) node.keep = TraceKeep{.count = written.keep->n, .lowest = written.keep->dir == KeepMode::Dir::Low};
    if (written.comparison) {
        node.comparison = TraceComparison{.op = comparison_symbol(term.comparison), .threshold = term.threshold};
    }
    add_value(node, value);
    // Dice past the initial ones were added by bonuses.
    const std::size_t size = pool.size < kMaxPool ? pool.size : kMaxPool;
    const auto initial = static_cast<std::size_t>(term.count);
    node.first_die = out_.dice.size();
    node.die_count = size;
    for (std::size_t i = 0; i < size; ++i) {
        TraceDie die{.value = pool.rolls[i], .kept = pool.kept[i], .bonus = i >= initial,
                     .earned_bonus = pool.earned_bonus[i], .success = std::nullopt};
        if (term.has_comparison) die.success = ComparisonOp::passes(term.comparison, pool.rolls[i], term.threshold);
        out_.dice.push_back(die);
    }
}

void TraceRecorder::signs(ExprId id) {
    // The signs from the outermost in; each negates what is inside it, so
    // they are added innermost first.
    std::vector<ExprId> negations;
    for (ExprId at = id;;) {
        if (const auto* paren = node_as<ParenExpr>(ast_, at)) {
            at = paren->inner;
        } else if (const auto* neg = node_as<NegExpr>(ast_, at)) {
            negations.push_back(at);
            at = neg->operand;
        } else {
            break;
        }
    }
    for (std::size_t k = negations.size(); k-- > 0;) {
        const TraceNode& operand = out_.nodes[pending_.back()];
        const std::size_t first = operand.first_value;
        const std::size_t count = operand.value_count;
        const bool is_set = operand.is_set;
        TraceNode& node = add(TraceKind::Negation, negations[k], 1);
        node.is_set = is_set;
        node.value_count = count;
        for (std::size_t i = 0; i < count; ++i) numbers_.push_back(negate(numbers_[first + i]));
    }
}

void TraceRecorder::finish() {
    out_.values.reserve(numbers_.size());
    for (const Number& n : numbers_) out_.values.push_back(n.to_double());
}

}  // namespace pipwerk::detail
