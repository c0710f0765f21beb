#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "pipwerk/eval.hpp"
#include "rand_walk.hpp"
#include "tree_walk.hpp"

// Long operator chains ("1+1+...+1") are left-leaning trees as deep as they
// are long, so every level walks the left spine of a Binary chain in a loop:
// collect the spine, evaluate the leftmost operand, then fold upward. Runs of
// brackets and unary minus are unwrapped in a loop as well (a double negation
// is the identity, so only the parity counts). Only right operands and set
// elements recurse, and the parser bounds their nesting. The rand level is
// in rand_walk.cpp.

namespace pipwerk {
namespace {

using namespace detail;

// The value of a chain, negated if asked. One return, so the result is
// built where the caller wants it rather than copied there.
Result<Number> eval_const_chain(const Ast& ast, const BinaryExpr& top, bool negated) {
    const auto spine =
        collect_spine(ast, top, [&](ExprId left) { return node_as<BinaryExpr>(ast, left) != nullptr; });
    Result<Number> acc = eval_const(ast, spine.back()->left);
    for (std::size_t i = spine.size(); acc && i-- > 0;) {
        const Result<Number> right = eval_const(ast, spine[i]->right);
        if (!right) {
            acc = std::unexpected(right.error());
            break;
        }
        acc = apply_binop(spine[i]->op, *acc, *right);
    }
    if (acc && negated) *acc = negate(*acc);
    return acc;
}

// Repeats and sets end the recursion; kept out of line so their locals stay
// off the frames of nested set arithmetic.
[[gnu::noinline]] Result<EvalValue> eval_repeat(const Ast& ast, const RepeatExpr& repeat, Rng& rng) {
    const std::int64_t n = ast.count(repeat).integer_view();
    if (n < 1) return std::unexpected(PipwerkError::non_positive());
    if (n > kMaxRepeat) return std::unexpected(PipwerkError::repeat_count_exceeds_max(n, kMaxRepeat));
    EvalValue::Set elements;
    elements.reserve(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i) {
        Result<ScalarValue> element = eval_rand_or_const(ast, repeat.body, rng);
        if (!element) return std::unexpected(std::move(element.error()));
        elements.push_back(std::move(*element));
    }
    return EvalValue(std::move(elements));
}

[[gnu::noinline]] Result<EvalValue> eval_set(const Ast& ast, const SetExpr& set, Rng& rng) {
    EvalValue::Set elements;
    elements.reserve(set.item_count);
    for (const ExprId item : ast.items(set)) {
        Result<ScalarValue> element = eval_rand_or_const(ast, item, rng);
        if (!element) return std::unexpected(std::move(element.error()));
        elements.push_back(std::move(*element));
    }
    return EvalValue(std::move(elements));
}

// The set of a chain step, or null with `acc` turned into the error: the
// dispatch hands set arithmetic only sets, so this is a guard.
EvalValue::Set* set_or_fail(Result<EvalValue>& acc) {
    EvalValue::Set* set = acc ? acc->set() : nullptr;
    if (acc && set == nullptr) acc = fail(ParseMessage::ExpectedSet);
    return set;
}

// A Binary whose left operand is not a set (the spine's end): the scalar on
// the left meets the set on the right. Results are built in place and
// returned from one variable, so nothing is copied on the way out.
Result<EvalValue> eval_scalar_set(const Ast& ast, const BinaryExpr& b, Rng& rng) {
    if (level_of(ast, b.right) != 2) return fail(ParseMessage::ExpectedPipwerkOperand);
    Result<ScalarValue> scalar = eval_rand_or_const(ast, b.left, rng);
    if (!scalar) return std::unexpected(std::move(scalar.error()));
    Result<EvalValue> set = eval_pipwerk(ast, b.right, rng);
    if (EvalValue::Set* elements = set_or_fail(set)) {
        apply_set_scalar(b.op, *elements, scalar->value, scalar->detail, false);
    }
    return set;
}

// eval_pipwerk of a node that does not continue a set chain; brackets are
// already stripped.
Result<EvalValue> pipwerk_single(const Ast& ast, ExprId node, Rng& rng) {
    const Expr::Node& n = ast[node].node();
    if (const auto* b = std::get_if<BinaryExpr>(&n)) return eval_scalar_set(ast, *b, rng);
    if (std::holds_alternative<NegExpr>(n)) return eval_pipwerk(ast, node, rng);
    if (const auto* repeat = std::get_if<RepeatExpr>(&n)) return eval_repeat(ast, *repeat, rng);
    if (const auto* set = std::get_if<SetExpr>(&n)) return eval_set(ast, *set, rng);
    return fail(ParseMessage::ExpectedPipwerkExpression);
}

// A chain whose leftmost operands are sets ("{1} + 1 - d6 ..."), walked
// along its left spine; `node` carries no brackets or signs of its own.
Result<EvalValue> eval_set_chain(const Ast& ast, ExprId node, Rng& rng) {
    // A set on the left continues the chain, through any brackets around it.
    Spine spine;
    for (const BinaryExpr* b = node_as<BinaryExpr>(ast, node); b != nullptr && level_of(ast, b->left) == 2;
         b = node_as<BinaryExpr>(ast, node)) {
        spine.push_back(b);
        node = strip_parens(ast, b->left);
    }

    Result<EvalValue> acc = pipwerk_single(ast, node, rng);
    for (std::size_t i = spine.size(); acc && i-- > 0;) {
        const BinaryExpr& b = *spine[i];
        if (level_of(ast, b.right) == 2) {
            Result<EvalValue> right = eval_pipwerk(ast, b.right, rng);
            if (!right) {
                acc = std::unexpected(right.error());
                break;
            }
            EvalValue::Set* set = set_or_fail(acc);
            EvalValue::Set* right_set = set != nullptr ? set_or_fail(right) : nullptr;
            if (set != nullptr && right_set == nullptr) acc = std::unexpected(right.error());
            if (right_set == nullptr) break;
            apply_set_set(b.op, *set, *right_set);
        } else {
            Result<ScalarValue> right = eval_rand_or_const(ast, b.right, rng);
            if (!right) {
                acc = std::unexpected(right.error());
                break;
            }
            EvalValue::Set* set = set_or_fail(acc);
            if (set == nullptr) break;
            apply_set_scalar(b.op, *set, right->value, right->detail, true);
        }
    }
    return acc;
}

}  // namespace

Result<Number> eval_const(const Ast& ast, ExprId node) {
    // Brackets leave no trace here. Every path returns its result directly.
    const Unwrapped u = unwrap(ast, node);
    const Expr::Node& n = ast[u.inner].node();
    if (const auto* literal = std::get_if<LiteralExpr>(&n)) return u.negated ? negate(literal->value()) : literal->value();
    if (const auto* b = std::get_if<BinaryExpr>(&n)) return eval_const_chain(ast, *b, u.negated);
    return fail(ParseMessage::ExpectedConstExpression);
}

// Out of line, so their frames are not part of the frames of set arithmetic
// that call these. The detail is written straight into the value's text.
[[gnu::noinline]] Result<ScalarValue> eval_rand(const Ast& ast, ExprId node, Rng& rng) {
    Result<ScalarValue> scalar(std::in_place, Number::make_int(0), std::string());
    Result<Number> value = walk_rand(ast, node, rng, scalar->detail, false);
    if (value) {
        scalar->value = *value;
    } else {
        scalar = std::unexpected(value.error());
    }
    return scalar;
}

[[gnu::noinline]] Result<ScalarValue> eval_rand_or_const(const Ast& ast, ExprId node, Rng& rng) {
    Result<ScalarValue> scalar(std::in_place, Number::make_int(0), std::string());
    Result<Number> value = walk_rand(ast, node, rng, scalar->detail, true);
    if (value) {
        scalar->value = *value;
    } else {
        scalar = std::unexpected(value.error());
    }
    return scalar;
}

Result<EvalValue> eval_pipwerk(const Ast& ast, ExprId node, Rng& rng) {
    // Brackets leave no trace at this level; signs negate every element.
    const Unwrapped u = unwrap(ast, node);
    Result<EvalValue> value = eval_set_chain(ast, u.inner, rng);
    if (u.negated) {
        if (EvalValue::Set* elements = set_or_fail(value)) {
            for (ScalarValue& e : *elements) e.value = negate(e.value);
        }
    }
    return value;
}

Result<EvalValue> evaluate(const Ast& ast, ExprId root, Rng& rng) {
    switch (level_of(ast, root)) {
        case 0: {
            Result<Number> value = eval_const(ast, root);
            if (!value) return std::unexpected(std::move(value.error()));
            return EvalValue(ScalarValue{*value, {}});
        }
        case 1: {
            Result<ScalarValue> value = eval_rand(ast, root, rng);
            if (!value) return std::unexpected(std::move(value.error()));
            return EvalValue(std::move(*value));
        }
        default: return eval_pipwerk(ast, root, rng);
    }
}

}  // namespace pipwerk
