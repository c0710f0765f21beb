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

// The value of a set, each element's text laid out on its own.
EvalValue to_value(const SetTexts& texts, const FlatSet& set) {
    EvalValue::Set elements;
    elements.reserve(set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
        std::string detail;
        append_element(detail, texts, set, i);
        elements.push_back(ScalarValue{set.numbers[i], std::move(detail)});
    }
    return EvalValue(std::move(elements));
}

// A value's set as the evaluator holds it, its texts added to `texts`.
FlatSet to_flat(SetTexts& texts, const EvalValue::Set& elements) {
    FlatSet set;
    set.first_span = texts.span_count();
    const std::size_t begin = texts.chars.size();
    for (const ScalarValue& e : elements) {
        set.numbers.push_back(e.value);
        const std::size_t start = texts.chars.size();
        texts.chars += std::string_view(e.detail);
        texts.close_span(start);
    }
    set.own_size = texts.chars.size() - begin;
    return set;
}

std::unexpected<PipwerkError> expected_set() noexcept { return fail(ParseMessage::ExpectedSet); }

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

// The EvalValue forms below are thin adapters over the flat evaluation.

Result<ScalarValue> eval_rand(const Ast& ast, ExprId node, Rng& rng) {
    Result<ScalarValue> scalar(std::in_place, Number::make_int(0), std::string());
    Result<Number> value = walk_rand(ast, node, rng, scalar->detail, false);
    if (!value) return std::unexpected(value.error());
    scalar->value = *value;
    return scalar;
}

Result<ScalarValue> eval_rand_or_const(const Ast& ast, ExprId node, Rng& rng) {
    Result<ScalarValue> scalar(std::in_place, Number::make_int(0), std::string());
    Result<Number> value = walk_rand(ast, node, rng, scalar->detail, true);
    if (!value) return std::unexpected(value.error());
    scalar->value = *value;
    return scalar;
}

Result<EvalValue> eval_pipwerk(const Ast& ast, ExprId node, Rng& rng) {
    SetTexts texts;
    FlatSet set;
    if (Result<void> done = walk_set(ast, node, rng, &texts, set); !done) return std::unexpected(done.error());
    return to_value(texts, set);
}

Result<EvalValue> evaluate(const Ast& ast, ExprId root, Rng& rng) {
    if (level_of(ast, root) == 2) return eval_pipwerk(ast, root, rng);
    std::string detail;
    const Result<Number> value = evaluate_scalar(ast, root, rng, detail);
    if (!value) return std::unexpected(value.error());
    return EvalValue(ScalarValue{*value, std::move(detail)});
}

Result<EvalValue> binary_set_set(BinaryOp op, EvalValue left, EvalValue right) {
    if (!left.is_set() || !right.is_set()) return expected_set();
    SetTexts texts;
    FlatSet l = to_flat(texts, *left.set());
    FlatSet r = to_flat(texts, *right.set());
    apply_set(l, op, r, &texts);
    return to_value(texts, l);
}

Result<EvalValue> binary_set_scalar(BinaryOp op, EvalValue set, Number scalar, std::string scalar_detail,
                                    bool set_on_left) {
    if (!set.is_set()) return expected_set();
    SetTexts texts;
    FlatSet s = to_flat(texts, *set.set());
    const std::size_t start = texts.chars.size();
    texts.chars += std::string_view(scalar_detail);
    const std::size_t span = texts.close_span(start);
    apply_scalar(s, op, scalar, &texts, span, set_on_left);
    return to_value(texts, s);
}

}  // namespace pipwerk
