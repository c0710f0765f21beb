#pragma once

#include <string>

#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"
#include "roll.hpp"
#include "flat_set.hpp"
#include "text_buffer.hpp"
#include "text_sink.hpp"
#include "observer.hpp"
#include "tree_walk.hpp"

namespace pipwerk::detail {

// The term a dice node holds, read for the roller. A plain term sits in the
// node itself; one with modifiers is unpacked from the tree's side table.
[[nodiscard, gnu::always_inline]] inline DiceTerm term_of(const Ast& ast, DiceRef ref) noexcept {
    if (ref.index == DiceRef::kInline) return DiceTerm{.count = ref.count, .faces = ref.faces};
    const Ast::DiceViews v = ast.dice_views(ref);
    DiceTerm term{.count = low32(v.count), .faces = low32(v.faces)};
    if (v.has_keep) term.keep = signed_keep(KeepMode{.dir = v.keep_dir, .n = v.keep_n});
    term.has_bonus = v.has_bonus;
    term.bonus = v.bonus;
    term.has_comparison = v.has_comparison;
    term.comparison = v.comparison;
    term.threshold = v.threshold;
    return term;
}

// The rand level from `node`: its value, with its detail text appended to
// `out` (eval_rand; with or_const, eval_rand_or_const). Into a std::string
// for the values the evaluator returns, into a TextBuffer for the roll
// pipeline's record, into NoText for the numbers alone; each node's value is
// reported to `observer` (NoObserver but on the trace path). Out of line: the
// walk's dice pool is a frame of its own, not part of the frames of set
// arithmetic that reach here.
template <class Text, class Observer>
[[nodiscard]] Result<Number> walk_rand(const Ast& ast, ExprId node, Rng& rng, Text& out, bool or_const,
                                       ObserverRef<Observer> observer);

// The same without an observer, for callers other than roll and trace.
template <class Text>
[[nodiscard]] inline Result<Number> walk_rand(const Ast& ast, ExprId node, Rng& rng, Text& out, bool or_const) {
    return walk_rand(ast, node, rng, out, or_const, ObserverRef<NoObserver>{});
}

// A repeat's elements: eval_rand_or_const of its body n times, in one walk
// with one dice pool, and a dice body read from the tree once. Element i's
// number goes to numbers[i], its text to the end of texts.chars and that
// text's span to spans[i]. `done` gives how many elements succeeded; the
// first failure ends the walk.
template <class Observer>
[[nodiscard]] Result<void> walk_rand_repeat(const Ast& ast, ExprId body, std::size_t n, Rng& rng, SetTexts& texts,
                                            Number* numbers, SetTexts::Span* spans, std::size_t& done,
                                            ObserverRef<Observer> observer);
// The same numbers without any text.
template <class Observer>
[[nodiscard]] Result<void> walk_rand_repeat(const Ast& ast, ExprId body, std::size_t n, Rng& rng, Number* numbers,
                                            std::size_t& done, ObserverRef<Observer> observer);

}  // namespace pipwerk::detail
