#pragma once

#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "observer.hpp"
#include "rng.hpp"

namespace pipwerk::detail {

// evaluate for a root below the set level: a const root's number (no
// detail), or a rand root's number with its detail appended to `detail`.
// Text is std::string, TextBuffer or NoText; Observer is NoObserver, or
// TraceRecorder on the trace path. A set-level root is evaluate's other
// case, walk_set.
template <class Text, class Observer>
[[nodiscard]] Result<Number> evaluate_scalar(const Ast& ast, ExprId root, Rng& rng, Text& detail, ObserverRef<Observer> observer);

// The same without an observer, for callers other than roll and trace.
template <class Text>
[[nodiscard]] inline Result<Number> evaluate_scalar(const Ast& ast, ExprId root, Rng& rng, Text& detail) {
    return evaluate_scalar(ast, root, rng, detail, ObserverRef<NoObserver>{});
}

}  // namespace pipwerk::detail
