#pragma once

// Where each node of a parsed tree was written. The parser keeps no
// positions (its nodes stay 16 bytes), so the trace path finds them again:
// the tree is walked in source order over the tokens of the consumed text,
// each node taking the tokens its kind is written with.

#include <cstddef>
#include <string_view>

#include "parser/ast.hpp"
#include "pipwerk/trace.hpp"

namespace pipwerk::detail {

// How much room the trace of a tree takes, so it is reserved once: its
// nodes, and at most this many dice (a repeat's body counts once per element).
struct TraceSize {
    std::size_t nodes = 0;
    std::size_t dice = 0;
};

// Fills one site per node id: its span, brackets excluded (a bracket's own
// span covers them), its kind, and what it was written with that the
// evaluator does not report (a Binary's operator, a Number's value).
// `consumed` is the text the tree was parsed from, up to where parsing
// stopped; `sites` starts empty.
[[nodiscard]] TraceSize locate_nodes(const Ast& ast, ExprId root, std::string_view consumed,
                                     TraceVector<TraceSite>& sites);

}  // namespace pipwerk::detail
