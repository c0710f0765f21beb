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

// The EvalValue forms below are thin adapters over the flat evaluation.

Result<ScalarValue> eval_rand(const Ast& ast, ExprId node, Rng& rng) {
    Result<ScalarValue> scalar(std::in_place, Number::make_int(0), std::string());
    const ObserverRef<NoObserver> none;
    Result<Number> value = walk_rand(ast, node, rng, scalar->detail, false, none);
    if (!value) return std::unexpected(value.error());
    scalar->value = *value;
    return scalar;
}

Result<ScalarValue> eval_rand_or_const(const Ast& ast, ExprId node, Rng& rng) {
    Result<ScalarValue> scalar(std::in_place, Number::make_int(0), std::string());
    const ObserverRef<NoObserver> none;
    Result<Number> value = walk_rand(ast, node, rng, scalar->detail, true, none);
    if (!value) return std::unexpected(value.error());
    scalar->value = *value;
    return scalar;
}

Result<EvalValue> eval_pipwerk(const Ast& ast, ExprId node, Rng& rng) {
    SetTexts texts;
    FlatSet set;
    const ObserverRef<NoObserver> none;
    if (Result<void> done = walk_set(ast, node, rng, &texts, set, none); !done) return std::unexpected(done.error());
    return to_value(texts, set);
}

Result<EvalValue> evaluate(const Ast& ast, ExprId root, Rng& rng) {
    if (level_of(ast, root) == 2) return eval_pipwerk(ast, root, rng);
    std::string detail;
    const ObserverRef<NoObserver> none;
    const Result<Number> value = evaluate_scalar(ast, root, rng, detail, none);
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
