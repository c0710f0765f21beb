#include "trace/trace_recorder.hpp"

#include <algorithm>
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

TraceRecorder::TraceRecorder(const Ast& ast, const NodeSpans& spans, TraceSize size, TraceOutput& out)
    : ast_(ast), spans_(spans), out_(out) {
    out_.nodes.reserve(size.nodes);
    numbers_.reserve(size.nodes);
    // Every node but the root is one child.
    if (size.nodes > 1) out_.children.reserve(size.nodes - 1);
    out_.dice.reserve(size.dice);
}

TraceNode& TraceRecorder::add(TraceKind kind, ExprId id, std::size_t children) {
    TraceNode& node = out_.nodes.emplace_back();
    node.kind = kind;
    node.start = spans_[id].start;
    node.end = spans_[id].end;
    node.first_value = numbers_.size();
    // The last `children` finished nodes, in the order they were finished.
    node.first_child = out_.children.size();
    node.child_count = children;
    if (children != 0) {  // a leaf, the usual node, has none to move
        out_.children.insert(out_.children.end(), pending_.end() - children, pending_.end());
        pending_.truncate(pending_.size() - children);
    }
    pending_.push_back(out_.nodes.size() - 1);
    return node;
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
    numbers_.append(values.data(), values.size());
    node.value_count = values.size();
}

void TraceRecorder::dice(ExprId id, const DiceTerm& term, const RollResult& pool, const Number& value) {
    TraceNode& node = add(TraceKind::Dice, id, 0);
    node.count = term.count;
    node.faces = term.faces;
    // A plain term (the usual one) has no modifier to read.
    if (const DiceRef ref = std::get<DiceRef>(ast_[id].node()); ref.index != DiceRef::kInline) {
        const Ast::DiceViews written = ast_.dice_views(ref);
        if (written.has_bonus) node.bonus = term.bonus;
        if (written.has_keep) {
            node.keep = TraceKeep{.count = written.keep_n, .lowest = written.keep_dir == KeepMode::Dir::Low};
        }
        if (written.has_comparison) {
            node.comparison = TraceComparison{.op = comparison_symbol(term.comparison), .threshold = term.threshold};
        }
    }
    add_value(node, value);
    // Dice past the initial ones were added by bonuses.
    const std::size_t size = pool.size < kMaxPool ? pool.size : kMaxPool;
    const auto initial = static_cast<std::size_t>(term.count);
    node.first_die = out_.dice.size();
    node.die_count = size;
    out_.dice.resize(out_.dice.size() + size);
    TraceDie* die = out_.dice.data() + node.first_die;
    for (std::size_t i = 0; i < size; ++i, ++die) {
        die->value = pool.rolls[i];
        die->kept = pool.kept[i];
        die->bonus = i >= initial;
        die->earned_bonus = pool.earned_bonus[i];
        if (term.has_comparison) die->success = ComparisonOp::passes(term.comparison, pool.rolls[i], term.threshold);
    }
}

void TraceRecorder::signs(ExprId id) {
    // The signs from the outermost in; each negates what is inside it, so
    // they are added innermost first.
    SmallVector<ExprId, 4> negations;
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
    out_.values.resize(numbers_.size());
    for (std::size_t i = 0; i < numbers_.size(); ++i) out_.values[i] = numbers_[i].to_double();
}

}  // namespace pipwerk::detail
