#include "parser/ast.hpp"

namespace pipwerk {

ExprId Ast::add_dice(const DiceExpr& dice) {
    return add_dice(dice.count, dice.faces, dice.keep, dice.bonus, dice.comparison);
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
