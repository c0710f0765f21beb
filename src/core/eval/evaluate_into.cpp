#include <utility>

#include "detail_layout.hpp"
#include "evaluate_scalar.hpp"
#include "flat_set.hpp"
#include "eval.hpp"
#include "set_walk.hpp"
#include "text_sink.hpp"
#include "tree_walk.hpp"
#include "trace/trace_recorder.hpp"

// The roll pipeline's entries: the evaluation laid out straight into the
// caller's texts, or its numbers alone.

namespace pipwerk {

using namespace detail;

template <class Observer>
Result<bool> evaluate_into(const Ast& ast, ExprId root, Rng& rng, TextBuffer& detail, SmallVector<Number, 8>& numbers,
                           ObserverRef<Observer> observer) {
    if (level_of(ast, root) < 2) {
        const Result<Number> value = evaluate_scalar(ast, root, rng, detail, observer);
        if (!value) return std::unexpected(value.error());
        numbers.push_back(*value);
        return false;
    }
    SetTexts texts;
    FlatSet set;
    if (Result<void> done = walk_set(ast, root, rng, &texts, set, observer); !done) {
        return std::unexpected(done.error());
    }
    append_layout(detail, texts, set);
    numbers = std::move(set.numbers);
    return true;
}

template <class Observer>
Result<bool> evaluate_values(const Ast& ast, ExprId root, Rng& rng, SmallVector<Number, 8>& numbers,
                             ObserverRef<Observer> observer) {
    NoText none;
    if (level_of(ast, root) < 2) {
        const Result<Number> value = evaluate_scalar(ast, root, rng, none, observer);
        if (!value) return std::unexpected(value.error());
        numbers.push_back(*value);
        return false;
    }
    FlatSet set;
    if (Result<void> done = walk_set(ast, root, rng, nullptr, set, observer); !done) {
        return std::unexpected(done.error());
    }
    numbers = std::move(set.numbers);
    return true;
}

template Result<bool> evaluate_into(const Ast&, ExprId, Rng&, TextBuffer&, SmallVector<Number, 8>&, ObserverRef<NoObserver>);
template Result<bool> evaluate_values(const Ast&, ExprId, Rng&, SmallVector<Number, 8>&, ObserverRef<NoObserver>);
template Result<bool> evaluate_into(const Ast&, ExprId, Rng&, TextBuffer&, SmallVector<Number, 8>&, ObserverRef<TraceRecorder>);
template Result<bool> evaluate_values(const Ast&, ExprId, Rng&, SmallVector<Number, 8>&, ObserverRef<TraceRecorder>);

Result<bool> evaluate_into(const Ast& ast, ExprId root, Rng& rng, TextBuffer& detail, SmallVector<Number, 8>& numbers) {
    const ObserverRef<NoObserver> none;
    return evaluate_into(ast, root, rng, detail, numbers, none);
}

Result<bool> evaluate_values(const Ast& ast, ExprId root, Rng& rng, SmallVector<Number, 8>& numbers) {
    const ObserverRef<NoObserver> none;
    return evaluate_values(ast, root, rng, numbers, none);
}

}  // namespace pipwerk
