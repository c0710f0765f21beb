#pragma once

// The observer (eval/observer.hpp) that records a trace from the evaluator's
// reports: each report adds one record, whose children are the subtrees
// just finished before it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "number.hpp"
#include "parser/ast.hpp"
#include "pipwerk/trace.hpp"
#include "roll.hpp"
#include "small_vector.hpp"
#include "trace/node_spans.hpp"

namespace pipwerk::detail {

class TraceRecorder {
public:
    static constexpr bool active = true;

    // `out` holds the sites (locate_nodes); room for the records and dice
    // (as locate_nodes counts them) is taken once.
    TraceRecorder(const Ast& ast, TraceSize size, TraceOutput& out);

    void scalar(ExprId id, const Number& value);
    void elements(ExprId id, std::span<const Number> values);
    void dice(ExprId id, const DiceTerm& term, const RollResult& pool, const Number& value);
    void signs(ExprId id);

private:
    TraceRecord& add(ExprId id, std::size_t children);
    void add_elements(TraceRecord& record, std::span<const Number> values);

    const Ast& ast_;
    TraceOutput& out_;
    SmallVector<std::uint32_t, 16> pending_;  // where the subtrees not yet anyone's child start
    // The last node's value or elements as evaluated: a sign over it
    // negates these, not their doubles (the smallest Int is its own negation).
    SmallVector<Number, 8> last_;
};

}  // namespace pipwerk::detail
