#pragma once

// The observer (eval/observer.hpp) that builds a trace's tree from the
// evaluator's reports: each report makes one node, which takes as children
// the nodes its kind calls for from the top of a stack of finished nodes.

#include <cstddef>
#include <span>
#include <vector>

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

    // Room for the tree's nodes, their values, children and dice (as
    // locate_nodes counts them) is taken once.
    TraceRecorder(const Ast& ast, const NodeSpans& spans, TraceSize size, TraceOutput& out);

    void scalar(ExprId id, const Number& value);
    void elements(ExprId id, std::span<const Number> values);
    void dice(ExprId id, const DiceTerm& term, const RollResult& pool, const Number& value);
    void signs(ExprId id);

    // Writes the values out, as roll gives them (Int to the nearest double).
    void finish();

private:
    TraceNode& add(TraceKind kind, ExprId id, std::size_t children);
    void add_value(TraceNode& node, const Number& value);

    const Ast& ast_;
    const NodeSpans& spans_;
    TraceOutput& out_;
    SmallVector<std::size_t, 16> pending_;  // finished nodes without a parent yet
    SmallVector<Number, 16> numbers_;       // the nodes' values as evaluated
};

}  // namespace pipwerk::detail
