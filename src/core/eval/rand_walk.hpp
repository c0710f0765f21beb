#pragma once

#include <string>

#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"
#include "text_buffer.hpp"
#include "text_sink.hpp"

namespace pipwerk::detail {

// The rand level from `node`: its value, with its detail text appended to
// `out` (eval_rand; with or_const, eval_rand_or_const). Into a std::string
// for the values the evaluator returns, into a TextBuffer for the roll
// pipeline's record, into NoText for the numbers alone. Out of line: the walk's dice pool is a frame of its
// own, not part of the frames of set arithmetic that reach here.
[[nodiscard]] Result<Number> walk_rand(const Ast& ast, ExprId node, Rng& rng, std::string& out, bool or_const);
[[nodiscard]] Result<Number> walk_rand(const Ast& ast, ExprId node, Rng& rng, TextBuffer& out, bool or_const);
[[nodiscard]] Result<Number> walk_rand(const Ast& ast, ExprId node, Rng& rng, NoText& out, bool or_const);

}  // namespace pipwerk::detail
