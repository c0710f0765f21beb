#include "rand_walk.hpp"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <variant>

#include "detail_layout.hpp"
#include "eval.hpp"
#include "roll.hpp"
#include "text_sink.hpp"
#include "tree_walk.hpp"
#include "trace/trace_recorder.hpp"

// At the rand level every detail text is written in the order the tree is
// evaluated, so it is appended into one text as it is made: a chain costs
// one growing text, and a bracket costs two characters instead of a copy of
// everything inside it. The roll pipeline's text keeps short texts inline,
// so a typical roll writes its detail without touching the heap.

namespace pipwerk::detail {
namespace {

// One rand-level evaluation: the tree, the generator, the text the detail
// goes to, and one dice pool that every term of the walk rolls into.
template <class Text, class Observer>
struct RandWalk {
    const Ast& ast;
    Rng& rng;
    Text& out;
    RollResult& pool;
    [[no_unique_address]] ObserverRef<Observer> observer;
};

// Storage for a walk's pool that is not cleared: clearing the inline lists
// (a few hundred bytes) costs more than rolling a term. A RollResult is an
// implicit-lifetime type, so the byte array provides one; rolling writes its
// size, total and every die before anything reads them, and nothing reads
// past the size.
struct PoolStorage {
    alignas(RollResult) unsigned char bytes[sizeof(RollResult)];

    RollResult& pool() noexcept { return *std::launder(reinterpret_cast<RollResult*>(bytes)); }
};

template <class Text, class Observer>
Result<Number> rand_into(RandWalk<Text, Observer>& walk, ExprId node);

// eval_rand_or_const, appending the detail text to walk.out.
template <class Text, class Observer>
Result<Number> rand_or_const_into(RandWalk<Text, Observer>& walk, ExprId node) {
    switch (level_of(walk.ast, node)) {
        case 0: {
            Result<Number> value = const_value(walk.ast, node, walk.observer);
            if (value) append_echo(walk.out, *value);
            return value;
        }
        case 1: return rand_into(walk, node);
        default: return fail(ParseMessage::UnexpectedPipwerkLevel);
    }
}

bool has_pipwerk_operand(const Ast& ast, const BinaryExpr& b) noexcept {
    return level_of(ast, b.left) == 2 || level_of(ast, b.right) == 2;
}

template <class Text, class Observer>
Result<Number> rand_chain_into(RandWalk<Text, Observer>& walk, ReportedId<Observer> top_id, const BinaryExpr& top) {
    const Ast& ast = walk.ast;
    Text& out = walk.out;
    if (has_pipwerk_operand(ast, top)) return fail(ParseMessage::UnexpectedPipwerkInRand);
    // A const left operand is one leaf (it shows only its value); a rand-level
    // Binary continues the chain.
    const auto spine = collect_spine(ast, top, [&](ExprId left) {
        return level_of(ast, left) == 1 && node_as<BinaryExpr>(ast, left) != nullptr;
    });

    const std::size_t start = out.size();
    Result<Number> acc = rand_or_const_into(walk, spine.back()->left);
    for (std::size_t i = spine.size(); acc && i-- > 0;) {
        const BinaryExpr& b = *spine[i];
        // The left text is out[start..].
        const OpenOperation open = open_operation(out, start, b.op);
        const Result<Number> right = rand_or_const_into(walk, b.right);
        if (!right) {
            acc = std::unexpected(right.error());
            break;
        }
        close_operation(out, open);
        acc = apply_binop(b.op, *acc, *right);
        if constexpr (Observer::active) {
            if (acc) walk.observer->scalar(spine_id(ast, top_id, spine, i, false), *acc);
        }
    }
    return acc;
}

// A dice term already read from the tree.
template <class Text, class Observer>
[[gnu::always_inline]] inline Result<Number> term_into(RandWalk<Text, Observer>& walk, ReportedId<Observer> id,
                                                           const DiceTerm& term) {
    RollResult& roll = walk.pool;
    if (Result<void> rolled = roll_with_modifiers_into(roll, walk.rng, term); !rolled) {
        return std::unexpected(rolled.error());
    }
    if constexpr (writes_text<Text>) {
        // Every die lies in [1, faces], so the room for the text needs no pass over the pool.
        write_text(walk.out, RollResult::detail_length_bound(roll.size, term.faces), [&](char* at) {
            return term.has_comparison ? roll.write_detail_comparison(at, term.comparison, term.threshold)
                                       : roll.write_detail(at);
        });
    }
    if constexpr (Observer::active) {
        const Number value = Number::make_int(term_value(roll, term));
        walk.observer->dice(id, term, roll, value);
        return value;
    } else {
        return Number::make_int(term_value(roll, term));
    }
}

// Kept out of line so the recursive evaluation frames stay small.
template <class Text, class Observer>
[[gnu::noinline]] Result<Number> dice_into(RandWalk<Text, Observer>& walk, ReportedId<Observer> id, DiceRef ref) {
    return term_into(walk, id, term_of(walk.ast, ref));
}

// eval_rand, appending the detail text to walk.out.
template <class Text, class Observer>
Result<Number> rand_into(RandWalk<Text, Observer>& walk, ExprId node) {
    // A lone dice term, the usual rand node, has no brackets or sign to see to.
    if (const auto* dice = node_as<DiceRef>(walk.ast, node)) return dice_into(walk, node, *dice);
    // Brackets wrap the text of what they hold; a sign shows in the value only.
    const Unwrapped u = unwrap(walk.ast, node);
    walk.out.append(u.parens, '(');
    const Expr::Node& n = walk.ast[u.inner].node();
    const auto* b = std::get_if<BinaryExpr>(&n);
    const auto* dice = std::get_if<DiceRef>(&n);
    Result<Number> value = b != nullptr      ? rand_chain_into(walk, u.inner, *b)
                           : dice != nullptr ? dice_into(walk, u.inner, *dice)
                                             : fail(ParseMessage::ExpectedRandExpression);
    if (!value) return value;
    walk.out.append(u.parens, ')');
    if (u.negated) *value = negate(*value);
    if constexpr (Observer::active) walk.observer->signs(node);
    return value;
}

template <class Text, class Observer>
Result<Number> walk(const Ast& ast, ExprId node, Rng& rng, Text& out, bool or_const, ObserverRef<Observer> observer) {
    PoolStorage storage;
    RandWalk<Text, Observer> walk{.ast = ast, .rng = rng, .out = out, .pool = storage.pool(), .observer = observer};
    // A lone dice term needs no level dispatch either.
    if (const auto* dice = node_as<DiceRef>(ast, node)) return dice_into(walk, node, *dice);
    return or_const ? rand_or_const_into(walk, node) : rand_into(walk, node);
}

template <class Text, class Observer>
Result<void> walk_repeat(const Ast& ast, ExprId body, std::size_t n, Rng& rng, Text& out, Number* numbers,
                         SetTexts::Span* spans, std::size_t& done, ObserverRef<Observer> observer) {
    PoolStorage storage;
    RandWalk<Text, Observer> walk{.ast = ast, .rng = rng, .out = out, .pool = storage.pool(), .observer = observer};
    // A dice term, the usual body, is read from the tree once for all its rolls.
    const auto* dice = node_as<DiceRef>(ast, body);
    const DiceTerm term = dice != nullptr ? term_of(ast, *dice) : DiceTerm{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t begin = out.size();
        const Result<Number> value = dice != nullptr ? term_into(walk, body, term) : rand_or_const_into(walk, body);
        if (!value) {
            done = i;
            return std::unexpected(value.error());
        }
        numbers[i] = *value;
        if constexpr (writes_text<Text>) spans[i] = SetTexts::Span{begin, out.size()};
    }
    done = n;
    return {};
}

}  // namespace

template <class Text, class Observer>
Result<Number> walk_rand(const Ast& ast, ExprId node, Rng& rng, Text& out, bool or_const, ObserverRef<Observer> observer) {
    return walk(ast, node, rng, out, or_const, observer);
}

template <class Observer>
Result<void> walk_rand_repeat(const Ast& ast, ExprId body, std::size_t n, Rng& rng, SetTexts& texts, Number* numbers,
                              SetTexts::Span* spans, std::size_t& done, ObserverRef<Observer> observer) {
    return walk_repeat(ast, body, n, rng, texts.chars, numbers, spans, done, observer);
}

template <class Observer>
Result<void> walk_rand_repeat(const Ast& ast, ExprId body, std::size_t n, Rng& rng, Number* numbers,
                              std::size_t& done, ObserverRef<Observer> observer) {
    NoText none;
    return walk_repeat(ast, body, n, rng, none, numbers, nullptr, done, observer);
}

template Result<Number> walk_rand(const Ast&, ExprId, Rng&, std::string&, bool, ObserverRef<NoObserver>);
template Result<Number> walk_rand(const Ast&, ExprId, Rng&, TextBuffer&, bool, ObserverRef<NoObserver>);
template Result<Number> walk_rand(const Ast&, ExprId, Rng&, NoText&, bool, ObserverRef<NoObserver>);
template Result<Number> walk_rand(const Ast&, ExprId, Rng&, TextBuffer&, bool, ObserverRef<TraceRecorder>);
template Result<Number> walk_rand(const Ast&, ExprId, Rng&, NoText&, bool, ObserverRef<TraceRecorder>);
template Result<void> walk_rand_repeat(const Ast&, ExprId, std::size_t, Rng&, SetTexts&, Number*, SetTexts::Span*,
                                       std::size_t&, ObserverRef<NoObserver>);
template Result<void> walk_rand_repeat(const Ast&, ExprId, std::size_t, Rng&, SetTexts&, Number*, SetTexts::Span*,
                                       std::size_t&, ObserverRef<TraceRecorder>);
template Result<void> walk_rand_repeat(const Ast&, ExprId, std::size_t, Rng&, Number*, std::size_t&, ObserverRef<NoObserver>);
template Result<void> walk_rand_repeat(const Ast&, ExprId, std::size_t, Rng&, Number*, std::size_t&, ObserverRef<TraceRecorder>);

}  // namespace pipwerk::detail
