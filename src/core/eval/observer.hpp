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

}  // namespace pipwerk::detail
