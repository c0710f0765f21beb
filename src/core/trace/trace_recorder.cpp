#include "trace/trace_recorder.hpp"

#include <limits>
#include <variant>

#include "eval.hpp"
#include "eval/tree_walk.hpp"
#include "out_of_memory.hpp"

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

constexpr std::size_t kMaxIndex = std::numeric_limits<std::uint32_t>::max();

}  // namespace

TraceRecorder::TraceRecorder(const Ast& ast, TraceSize size, TraceOutput& out) : ast_(ast), out_(out) {
    // Records, dice and set elements are found by 32-bit indices: a trace
    // past them would take tens of gigabytes. Refused before any room is
    // taken, and checked again as each is added.
    if (size.nodes > kMaxIndex || size.dice > kMaxIndex) out_of_memory();
    out_.records.reserve(size.nodes);
    out_.dice.reserve(size.dice);
}

TraceRecord& TraceRecorder::add(ExprId id, std::size_t children) {
    if (out_.records.size() == kMaxIndex) out_of_memory();
    const auto index = static_cast<std::uint32_t>(out_.records.size());
    std::uint32_t start = index;
    if (children != 0) {  // a leaf, the usual node, has none to take
        start = pending_[pending_.size() - children];
        pending_.truncate(pending_.size() - children);
    }
    pending_.push_back(start);
    TraceRecord& record = out_.records.emplace_back();
    record.site = id;
    record.link = index - start + 1;
    return record;
}

void TraceRecorder::add_elements(TraceRecord& record, std::span<const Number> values) {
    if (out_.set_values.size() + values.size() > kMaxIndex) out_of_memory();
    record.elements.first = static_cast<std::uint32_t>(out_.set_values.size());
    record.elements.count = static_cast<std::uint32_t>(values.size());
    for (const Number& v : values) out_.set_values.push_back(v.to_double());
}

void TraceRecorder::scalar(ExprId id, const Number& value) {
    // A Binary of two scalars, or a number.
    const bool binary = out_.sites[id].kind == TraceKind::Binary;
    add(id, binary ? 2 : 0).value = value.to_double();
    last_.clear();
    last_.push_back(value);
}

void TraceRecorder::elements(ExprId id, std::span<const Number> values) {
    TraceSite& site = out_.sites[id];
    site.is_set = true;
    std::size_t children = 2;  // a Binary
    if (site.kind == TraceKind::Set) {
        children = std::get<SetExpr>(ast_[id].node()).item_count;
    } else if (site.kind == TraceKind::Repetition) {
        children = values.size();
    }
    add_elements(add(id, children), values);
    last_.clear();
    last_.append(values.data(), values.size());
}

void TraceRecorder::dice(ExprId id, const DiceTerm& term, const RollResult& pool, const Number& value) {
    TraceSite& site = out_.sites[id];
    site.bits = std::uint64_t{static_cast<std::uint32_t>(term.faces)} << 32 | static_cast<std::uint32_t>(term.count);
    // A plain term (the usual one) has no modifier to read; one evaluated
    // again (in a repetition) has its modifiers already.
    if (const DiceRef ref = std::get<DiceRef>(ast_[id].node());
        ref.index != DiceRef::kInline && site.modifiers == TraceSite::kNoModifiers) {
        const Ast::DiceViews written = ast_.dice_views(ref);
        TraceModifiers m;
        if (written.has_bonus) m.bonus = term.bonus;
        if (written.has_keep) m.keep = TraceKeep{.count = written.keep_n, .lowest = written.keep_dir == KeepMode::Dir::Low};
        if (written.has_comparison) {
            m.comparison = TraceComparison{.op = comparison_symbol(term.comparison), .threshold = term.threshold};
        }
        site.modifiers = static_cast<std::uint32_t>(out_.modifiers.size());
        out_.modifiers.push_back(m);
    }
    TraceRecord& record = add(id, 0);
    record.value = value.to_double();
    record.link = static_cast<std::uint32_t>(out_.dice.size());
    last_.clear();
    last_.push_back(value);
    // Dice past the initial ones were added by bonuses.
    const std::size_t size = pool.size < kMaxPool ? pool.size : kMaxPool;
    if (out_.dice.size() + size > kMaxIndex) out_of_memory();
    const auto initial = static_cast<std::size_t>(term.count);
    for (std::size_t i = 0; i < size; ++i) {
        TraceDie die;
        die.value = pool.rolls[i];
        die.kept = pool.kept[i];
        die.bonus = i >= initial;
        die.earned_bonus = pool.earned_bonus[i];
        die.compared = term.has_comparison;
        die.passes = term.has_comparison && ComparisonOp::passes(term.comparison, pool.rolls[i], term.threshold);
        out_.dice.push_back(die);
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
    const bool is_set = out_.sites[out_.records.back().site].is_set;  // the operand's
    for (std::size_t k = negations.size(); k-- > 0;) {
        for (Number& v : last_) v = negate(v);
        out_.sites[negations[k]].is_set = is_set;
        TraceRecord& record = add(negations[k], 1);
        if (is_set) {
            add_elements(record, last_.span());
        } else {
            record.value = last_[0].to_double();
        }
    }
}

}  // namespace pipwerk::detail
