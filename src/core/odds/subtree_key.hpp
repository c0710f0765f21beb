#pragma once

#include <string>

#include "parser/ast.hpp"

namespace pipwerk::detail {

// The shape of a subtree as text: every node's kind, operator and numbers
// (brackets left out). Two subtrees with the same key are rolled alike, so
// their laws are equal, and the odds engine computes such a law once. The
// walk is a loop, so a long chain costs no stack; the key's length is linear
// in the subtree's size.
void append_subtree_key(std::string& out, const Ast& ast, ExprId node);

}  // namespace pipwerk::detail
