#include "pipwerk/parser/ast.hpp"

#include <algorithm>
#include <limits>
#include <new>

namespace pipwerk {
namespace {

// Levels: 0 const (no dice), 1 rand (dice), 2 pipwerk (a repeat or a set).
constexpr int kConstLevel = 0;
constexpr int kRandLevel = 1;
constexpr int kPipwerkLevel = 2;

bool fits_int32(const Number& n) noexcept {
    return n.is_int() && n.int_value() >= std::numeric_limits<std::int32_t>::min() &&
           n.int_value() <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

template <class Alternative>
ExprId Ast::push(const Alternative& node, int level) {
    // Ids are 32 bits and the largest means "no node": an arena that would
    // need more is as good as out of memory (it would hold over 100 GiB).
    if (nodes_.size() >= std::numeric_limits<ExprId>::max()) throw std::bad_alloc();
    const auto id = static_cast<ExprId>(nodes_.size());
    nodes_.emplace_back(std::in_place_type<Alternative>, node, static_cast<std::uint8_t>(level));
    return id;
}

ExprId Ast::add_dice(const DiceExpr& dice) {
    return add_dice(dice.count, dice.faces, dice.keep, dice.bonus, dice.comparison);
}

ExprId Ast::add_dice(const Number& count, const Number& faces, const std::optional<KeepMode>& keep,
                     const std::optional<Number>& bonus, const std::optional<ComparisonOp>& comparison) {
    if (!keep && !bonus && !comparison && fits_int32(count) && fits_int32(faces)) {
        return push(DiceRef{DiceRef::kInline, static_cast<std::int32_t>(count.int_value()),
                            static_cast<std::int32_t>(faces.int_value())},
                    kRandLevel);
    }
    const auto index = static_cast<std::uint32_t>(dice_.size());
    // Every field is written here, in the arena's own slot.
    PackedDice& p = dice_.emplace_back();
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

ExprId Ast::add_literal(Number value) { return push(LiteralExpr{PackedNumber(value)}, kConstLevel); }

ExprId Ast::add_neg(ExprId operand) { return push(NegExpr{operand}, nodes_[operand].level()); }

ExprId Ast::add_binary(BinaryOp op, ExprId left, ExprId right) {
    const int level = std::max(nodes_[left].level(), nodes_[right].level());
    return push(BinaryExpr{left, right, op}, level);
}

ExprId Ast::add_paren(ExprId inner) { return push(ParenExpr{inner}, nodes_[inner].level()); }

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
