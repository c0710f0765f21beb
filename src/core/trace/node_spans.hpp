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

// `consumed` is the text the tree was parsed from, up to where parsing
// stopped; `spans` starts empty. Gives how many nodes the trace of the tree
// has (a repeat's body counts once per element).
[[nodiscard]] std::size_t locate_nodes(const Ast& ast, ExprId root, std::string_view consumed, NodeSpans& spans);

}  // namespace pipwerk::detail
