#pragma once

// Small helpers the evaluator's files share for walking a tree.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <variant>

#include "eval.hpp"
#include "limits.hpp"
#include "observer.hpp"
#include "pipwerk/error.hpp"
#include "parser/ast.hpp"
#include "small_vector.hpp"

namespace pipwerk::detail {

template <class T>
inline const T* node_as(const Ast& ast, ExprId id) noexcept {
    return std::get_if<T>(&ast[id].node());
}

inline int level_of(const Ast& ast, ExprId id) noexcept { return ast[id].level(); }

inline std::unexpected<PipwerkError> fail(ParseMessage message) noexcept {
    return std::unexpected(PipwerkError::parse(message));
}

// The low 32 bits of the integer view, read as two's complement: a count of
// 4294967297 is 1, one of 2147483648 is negative.
constexpr std::int32_t low32(std::int64_t v) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xffffffffU));
}

// The Binary nodes of a chain, outermost first; short chains stay inline.
using Spine = SmallVector<const BinaryExpr*, 6>;

// The Binary nodes down the left spine from `top`, outermost first, as long
// as `follow(left)` says the left operand continues the chain.
template <class Follow>
Spine collect_spine(const Ast& ast, const BinaryExpr& top, Follow follow) {
    Spine spine;
    spine.push_back(&top);
    for (const BinaryExpr* b = &top; follow(b->left);) {
        b = node_as<BinaryExpr>(ast, b->left);
        spine.push_back(b);
    }
    return spine;
}

// A run of brackets and signs around a node: what is inside, how many
// brackets, and whether an odd number of signs negates it.
struct Unwrapped {
    ExprId inner;
    std::size_t parens;
    bool negated;
};

inline Unwrapped unwrap(const Ast& ast, ExprId node) noexcept {
    Unwrapped u{node, 0, false};
    for (;;) {
        if (const auto* paren = node_as<ParenExpr>(ast, u.inner)) {
            u.inner = paren->inner;
            ++u.parens;
        } else if (const auto* neg = node_as<NegExpr>(ast, u.inner)) {
            u.inner = neg->operand;
            u.negated = !u.negated;
        } else {
            return u;
        }
    }
}

// Brackets around a node, which leave no trace at the set level.
inline ExprId strip_parens(const Ast& ast, ExprId node) noexcept {
    while (const auto* paren = node_as<ParenExpr>(ast, node)) node = paren->inner;
    return node;
}

// eval_const, reporting to an observer.
template <class Observer>
[[nodiscard]] Result<Number> observed_const(const Ast& ast, ExprId node, ObserverRef<Observer> observer);

// eval_const, with a literal, the usual constant, read in place.
template <class Observer>
inline Result<Number> const_value(const Ast& ast, ExprId node, ObserverRef<Observer> observer) noexcept(!Observer::active) {
    if (const auto* literal = node_as<LiteralExpr>(ast, node)) {
        if constexpr (Observer::active) observer->scalar(node, literal->value());
        return literal->value();
    }
    if constexpr (Observer::active) {
        return observed_const(ast, node, observer);
    } else {
        return eval_const(ast, node);
    }
}

inline Result<Number> const_value(const Ast& ast, ExprId node) noexcept {
    const ObserverRef<NoObserver> none;
    return const_value(ast, node, none);
}

// The id of spine[i] of a chain whose outermost node is `top`: each node
// is its parent's left operand, brackets stripped when `through_parens`.
inline ExprId spine_id(const Ast& ast, ExprId top, const Spine& spine, std::size_t i, bool through_parens) noexcept {
    if (i == 0) return top;
    const ExprId left = spine[i - 1]->left;
    return through_parens ? strip_parens(ast, left) : left;
}


}  // namespace pipwerk::detail
