#include <utility>

#include "detail_layout.hpp"
#include "evaluate_parts.hpp"
#include "flat_set.hpp"
#include "eval.hpp"
#include "text_sink.hpp"

// The roll pipeline's entries: the evaluation laid out straight into the
// caller's texts, or its numbers alone.

namespace pipwerk {

using namespace detail;

Result<bool> evaluate_into(const Ast& ast, ExprId root, Rng& rng, TextBuffer& detail, SmallVector<Number, 8>& numbers) {
    SetTexts texts;
    FlatSet set;
    const Result<bool> is_set = evaluate_parts(ast, root, rng, detail, &texts, set);
    if (!is_set) return is_set;
    if (*is_set) {
        // Room for the whole layout at once, so a big set is not regrown.
        reserve_more(detail, 2 + 2 * set.size() + layout_bound(set, set.size()));
        append_braced(detail, set.size(), [&](TextBuffer& out, std::size_t i) { append_element(out, texts, set, i); });
    }
    numbers = std::move(set.numbers);
    return is_set;
}

Result<bool> evaluate_values(const Ast& ast, ExprId root, Rng& rng, SmallVector<Number, 8>& numbers) {
    NoText none;
    FlatSet set;
    const Result<bool> is_set = evaluate_parts(ast, root, rng, none, nullptr, set);
    if (is_set) numbers = std::move(set.numbers);
    return is_set;
}

}  // namespace pipwerk
