#include "pipwerk/parser/ast.hpp"

#include <algorithm>

namespace pipwerk {
namespace {

// Levels: 0 const (no dice), 1 rand (dice), 2 pipwerk (a repeat or a set).
constexpr int kConstLevel = 0;
constexpr int kRandLevel = 1;
constexpr int kPipwerkLevel = 2;

}  // namespace

ExprId Ast::push(Expr::Node node, int level) {
    const auto id = static_cast<ExprId>(nodes_.size());
    nodes_.emplace_back(node, static_cast<std::uint8_t>(level));
    return id;
}

ExprId Ast::add_dice(DiceExpr dice) {
    const auto index = static_cast<std::uint32_t>(dice_.size());
    dice_.push_back(dice);
    return push(DiceRef{index}, kRandLevel);
}

ExprId Ast::add_literal(Number value) { return push(LiteralExpr{value}, kConstLevel); }

ExprId Ast::add_neg(ExprId operand) { return push(NegExpr{operand}, nodes_[operand].level()); }

ExprId Ast::add_binary(BinaryOp op, ExprId left, ExprId right) {
    const int level = std::max(nodes_[left].level(), nodes_[right].level());
    return push(BinaryExpr{left, right, op}, level);
}

ExprId Ast::add_paren(ExprId inner) { return push(ParenExpr{inner}, nodes_[inner].level()); }

ExprId Ast::add_repeat(Number count, ExprId body) { return push(RepeatExpr{count, body}, kPipwerkLevel); }

ExprId Ast::add_set(std::span<const ExprId> items) {
    const auto first = static_cast<std::uint32_t>(items_.size());
    items_.insert(items_.end(), items.begin(), items.end());
    return push(SetExpr{first, static_cast<std::uint32_t>(items.size())}, kPipwerkLevel);
}

}  // namespace pipwerk
