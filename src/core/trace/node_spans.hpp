#pragma once

// Where each node of a parsed tree was written. The parser keeps no
// positions (its nodes stay 16 bytes), so the trace path finds them again:
// the tree is walked in source order over the tokens of the consumed text,
// each node taking the tokens its kind is written with.

#include <cstddef>
#include <string_view>
#include <vector>

#include "parser/ast.hpp"
#include "small_vector.hpp"

namespace pipwerk::detail {

struct NodeSpan {
    std::size_t start = 0;
    std::size_t end = 0;
};

// One span per node id, brackets excluded (a bracket's own span covers them).
using NodeSpans = SmallVector<NodeSpan, 16>;

// How much room the trace of a tree takes, so it is reserved once: its
// nodes, and at most this many dice (a repeat's body counts once per element).
struct TraceSize {
    std::size_t nodes = 0;
    std::size_t dice = 0;
};

// `consumed` is the text the tree was parsed from, up to where parsing
// stopped; `spans` starts empty.
[[nodiscard]] TraceSize locate_nodes(const Ast& ast, ExprId root, std::string_view consumed, NodeSpans& spans);

}  // namespace pipwerk::detail
