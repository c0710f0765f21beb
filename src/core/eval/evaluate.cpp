#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "evaluate_scalar.hpp"
#include "flat_set.hpp"
#include "eval.hpp"
#include "rand_walk.hpp"
#include "set_walk.hpp"
#include "text_sink.hpp"
#include "tree_walk.hpp"

// Long operator chains ("1+1+...+1") are left-leaning trees as deep as they
// are long, so every level walks the left spine of a Binary chain in a loop:
// collect the spine, evaluate the leftmost operand, then fold upward. Runs of
// brackets and unary minus are unwrapped in a loop as well (a double negation
// is the identity, so only the parity counts). Only right operands and set
// elements recurse, and the parser bounds their nesting. The rand level is
// in rand_walk.cpp, the set level in set_walk.cpp.

namespace pipwerk {
namespace detail {
namespace {

// The value of a chain, negated if asked. One return, so the result is
// built where the caller wants it rather than copied there.
Result<Number> eval_const_chain(const Ast& ast, const BinaryExpr& top, bool negated) {
    const auto spine =
        collect_spine(ast, top, [&](ExprId left) { return node_as<BinaryExpr>(ast, left) != nullptr; });
    Result<Number> acc = const_value(ast, spine.back()->left);
    for (std::size_t i = spine.size(); acc && i-- > 0;) {
        const Result<Number> right = const_value(ast, spine[i]->right);
        if (!right) {
            acc = std::unexpected(right.error());
            break;
        }
        acc = apply_binop(spine[i]->op, *acc, *right);
    }
    if (acc && negated) *acc = negate(*acc);
    return acc;
}

}  // namespace
}  // namespace detail

using namespace detail;

Result<Number> eval_const(const Ast& ast, ExprId node) {
    // Brackets leave no trace here. Every path returns its result directly.
    const Unwrapped u = unwrap(ast, node);
    const Expr::Node& n = ast[u.inner].node();
    if (const auto* literal = std::get_if<LiteralExpr>(&n)) return u.negated ? negate(literal->value()) : literal->value();
    if (const auto* b = std::get_if<BinaryExpr>(&n)) return eval_const_chain(ast, *b, u.negated);
    return fail(ParseMessage::ExpectedConstExpression);
}

namespace detail {

template <class Text>
Result<Number> evaluate_scalar(const Ast& ast, ExprId root, Rng& rng, Text& detail) {
    if (level_of(ast, root) == 0) return eval_const(ast, root);
    return walk_rand(ast, root, rng, detail, false);
}

template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, std::string&);
template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, TextBuffer&);
template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, NoText&);

}  // namespace detail

}  // namespace pipwerk
