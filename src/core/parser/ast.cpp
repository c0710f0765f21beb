#include "parser/ast.hpp"

namespace pipwerk {

ExprId Ast::add_dice(const DiceExpr& dice) {
    return add_dice(dice.count, dice.faces, dice.keep, dice.bonus, dice.comparison);
}

ExprId Ast::add_packed_dice(Number count, Number faces, const std::optional<KeepMode>& keep,
                            const std::optional<Number>& bonus, const std::optional<ComparisonOp>& comparison) {
    const auto index = static_cast<std::uint32_t>(dice_.size());
    // Every field is written here, in the arena's own slot, which is left
    // unset rather than cleared first.
    PackedDice& p = *dice_.extend(1);
    p.count = payload_of(count);
    p.count_kind = count.kind();
    p.faces = payload_of(faces);
    p.faces_kind = faces.kind();
    p.present = 0;
    p.keep_n = keep ? keep->n : 0;
    p.keep_dir = keep ? keep->dir : KeepMode::Dir::High;
    if (keep) p.present |= PackedDice::kKeep;
    p.bonus = bonus ? payload_of(*bonus) : 0;
    p.bonus_kind = bonus ? bonus->kind() : Number::Kind::Int;
    if (bonus) p.present |= PackedDice::kBonus;
    p.threshold = comparison ? payload_of(comparison->threshold) : 0;
    p.threshold_kind = comparison ? comparison->threshold.kind() : Number::Kind::Int;
    p.comparison_kind = comparison ? comparison->kind : ComparisonOp::Kind::Greater;
    if (comparison) p.present |= PackedDice::kComparison;
    return push(DiceRef{.index = index, .count = 0, .faces = 0}, kRandLevel);
}

ExprId Ast::add_repeat(Number count, ExprId body) {
    const auto index = static_cast<std::uint32_t>(counts_.size());
    counts_.push_back(count);
    return push(RepeatExpr{index, body}, kPipwerkLevel);
}

ExprId Ast::add_set(std::span<const ExprId> items) {
    const auto first = static_cast<std::uint32_t>(items_.size());
    items_.append(items.data(), items.size());
    return push(SetExpr{first, static_cast<std::uint32_t>(items.size())}, kPipwerkLevel);
}

}  // namespace pipwerk
