#pragma once

#include "flat_set.hpp"
#include "pipwerk/error.hpp"
#include "parser/ast.hpp"
#include "observer.hpp"
#include "rng.hpp"

namespace pipwerk::detail {

// eval_pipwerk: the set `node` gives, into `out` (empty on entry), with its
// texts in `texts`, or without any text when `texts` is null; each node's
// value is reported to `observer` (NoObserver but on the trace path).
template <class Observer>
[[nodiscard]] Result<void> walk_set(const Ast& ast, ExprId node, Rng& rng, SetTexts* texts, FlatSet& out,
                                    ObserverRef<Observer> observer);

// The same without an observer, for callers other than roll and trace.
[[nodiscard]] inline Result<void> walk_set(const Ast& ast, ExprId node, Rng& rng, SetTexts* texts, FlatSet& out) {
    return walk_set(ast, node, rng, texts, out, ObserverRef<NoObserver>{});
}

}  // namespace pipwerk::detail
