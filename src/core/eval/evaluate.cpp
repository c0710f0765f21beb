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
#include "trace/trace_recorder.hpp"

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
template <class Observer>
Result<Number> eval_const_chain(const Ast& ast, ExprId top_id, const BinaryExpr& top, bool negated,
                                ObserverRef<Observer> observer) {
    const auto spine =
        collect_spine(ast, top, [&](ExprId left) { return node_as<BinaryExpr>(ast, left) != nullptr; });
    Result<Number> acc = const_value(ast, spine.back()->left, observer);
    for (std::size_t i = spine.size(); acc && i-- > 0;) {
        const Result<Number> right = const_value(ast, spine[i]->right, observer);
        if (!right) {
            acc = std::unexpected(right.error());
            break;
        }
        acc = apply_binop(spine[i]->op, *acc, *right);
        if constexpr (Observer::active) {
            if (acc) observer->scalar(spine_id(ast, top_id, spine, i, false), *acc);
        }
    }
    if (acc && negated) *acc = negate(*acc);
    return acc;
}

// eval_const. Brackets leave no trace here. Every path returns its result directly.
template <class Observer>
Result<Number> const_eval(const Ast& ast, ExprId node, ObserverRef<Observer> observer) {
    const Unwrapped u = unwrap(ast, node);
    const Expr::Node& n = ast[u.inner].node();
    if (const auto* literal = std::get_if<LiteralExpr>(&n)) {
        if constexpr (Observer::active) {
            observer->scalar(u.inner, literal->value());
            observer->signs(node);
        }
        return u.negated ? negate(literal->value()) : literal->value();
    }
    if (const auto* b = std::get_if<BinaryExpr>(&n)) {
        if constexpr (Observer::active) {
            Result<Number> value = eval_const_chain(ast, u.inner, *b, u.negated, observer);
            if (value) observer->signs(node);
            return value;
        } else {
            return eval_const_chain(ast, u.inner, *b, u.negated, observer);
        }
    }
    return fail(ParseMessage::ExpectedConstExpression);
}

}  // namespace
}  // namespace detail

using namespace detail;

Result<Number> eval_const(const Ast& ast, ExprId node) {
    const ObserverRef<NoObserver> none;
    return const_eval(ast, node, none);
}

namespace detail {

template <class Observer>
Result<Number> observed_const(const Ast& ast, ExprId node, ObserverRef<Observer> observer) {
    return const_eval(ast, node, observer);
}

template Result<Number> observed_const(const Ast&, ExprId, ObserverRef<TraceRecorder>);

template <class Text, class Observer>
Result<Number> evaluate_scalar(const Ast& ast, ExprId root, Rng& rng, Text& detail, ObserverRef<Observer> observer) {
    if (level_of(ast, root) == 0) return const_value(ast, root, observer);
    return walk_rand(ast, root, rng, detail, false, observer);
}

template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, std::string&, ObserverRef<NoObserver>);
template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, TextBuffer&, ObserverRef<NoObserver>);
template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, NoText&, ObserverRef<NoObserver>);
template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, TextBuffer&, ObserverRef<TraceRecorder>);
template Result<Number> evaluate_scalar(const Ast&, ExprId, Rng&, NoText&, ObserverRef<TraceRecorder>);

}  // namespace detail

}  // namespace pipwerk
