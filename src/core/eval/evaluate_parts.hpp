#pragma once

#include "flat_set.hpp"
#include "pipwerk/error.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"

namespace pipwerk::detail {

// evaluate, for every caller: a scalar becomes the one number of `out`, its
// detail appended to `detail`; a set becomes `out`, its texts in `texts`
// (no text at all when null). `out` starts empty. Gives whether the result
// is a set. Text is std::string, TextBuffer or NoText.
template <class Text>
[[nodiscard]] Result<bool> evaluate_parts(const Ast& ast, ExprId root, Rng& rng, Text& detail, SetTexts* texts,
                                          FlatSet& out);

}  // namespace pipwerk::detail
