#pragma once

// The hook through which an evaluation reports what it computed, for trace.
// roll evaluates with NoObserver, whose reports are empty and vanish at
// compile time: the tree of values is built on the trace path only, by the
// same evaluator. An observer's reports come in evaluation order, each when a
// node's value is complete, so children come before their parent:
//   scalar(id, value)     a number or an operation of scalars
//   elements(id, values)  a set, a repeat, or an operation with a set
//   dice(id, term, pool, value)  a dice term, rolled into `pool`
//   signs(id)             the run of signs and brackets from `id` down to a
//                         node already reported, whose sign the evaluator
//                         applied by its parity
// Brackets are never reported. Only an active observer may throw (allocation).

#include <span>
#include <type_traits>

#include "number.hpp"
#include "parser/ast.hpp"
#include "roll.hpp"

namespace pipwerk::detail {

struct NoObserver {
    static constexpr bool active = false;
    void scalar(ExprId, const Number&) noexcept {}
    void elements(ExprId, std::span<const Number>) noexcept {}
    void dice(ExprId, const DiceTerm&, const RollResult&, const Number&) noexcept {}
    void signs(ExprId) noexcept {}
};

// How an observer is handed down the walks: a pointer to a real one, and
// for NoObserver an empty value, which takes no register or stack slot, so
// roll's walks pass exactly what they passed before there was a hook.
template <class Observer>
class ObserverRef {
public:
    ObserverRef(Observer& observer) noexcept : observer_(&observer) {}
    Observer* operator->() const noexcept { return observer_; }

private:
    Observer* observer_;
};

template <>
class ObserverRef<NoObserver> {
public:
    constexpr ObserverRef() noexcept = default;
    constexpr ObserverRef(NoObserver&) noexcept {}
};

// A node's id where only an observer needs it: for NoObserver an empty
// value, so roll's out-of-line steps take no extra argument.
struct NoNodeId {
    constexpr NoNodeId(ExprId) noexcept {}
};
template <class Observer>
using ReportedId = std::conditional_t<Observer::active, ExprId, NoNodeId>;

}  // namespace pipwerk::detail
