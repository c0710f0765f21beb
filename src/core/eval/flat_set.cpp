#include "flat_set.hpp"

#include <algorithm>
#include <string>

#include "detail_layout.hpp"
#include "eval.hpp"

namespace pipwerk::detail {
namespace {

// Lays out the set's first n elements into the set texts' own buffer, one
// new span each; gives the first. Room is taken first, so the texts read
// from the buffer stay where they are while it is written.
std::size_t lay_out_spans(SetTexts& texts, const FlatSet& set, std::size_t n) {
    reserve_more(texts.chars, layout_bound(set, n));
    const std::size_t first = texts.span_count();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t begin = texts.chars.size();
        append_element(texts.chars, texts, set, i);
        texts.close_span(begin);
    }
    return first;
}

}  // namespace

template <class Text>
void append_element(Text& out, const SetTexts& texts, const FlatSet& set, std::size_t i) {
    const std::string_view own = texts.text(set.first_span + i);
    if (set.steps.empty()) {
        out += own;
        return;
    }
    const auto operand = [&](const SetStep& step) { return texts.text(step.first_span + (step.per_element ? i : 0)); };
    const auto& steps = set.steps;
    // While the text is still empty, a step with an empty operand shows nothing.
    std::size_t first = 0;
    if (own.empty()) {
        while (first < steps.size() && operand(steps[first]).empty()) ++first;
    }
    // Operands that come first wrap the element from the outside in.
    Pieces<Text> pieces(out);
    for (std::size_t k = steps.size(); k-- > first;) {
        if (steps[k].element_first) continue;
        pieces.add(operand(steps[k]));
        pieces.add(symbol_of(steps[k].op));
    }
    pieces.add(own);
    for (std::size_t k = first; k < steps.size(); ++k) {
        if (!steps[k].element_first) continue;
        pieces.add(symbol_of(steps[k].op));
        pieces.add(operand(steps[k]));
    }
}

template void append_element(TextBuffer&, const SetTexts&, const FlatSet&, std::size_t);
template void append_element(std::string&, const SetTexts&, const FlatSet&, std::size_t);

std::size_t layout_bound(const FlatSet& set, std::size_t n) noexcept {
    std::size_t bound = set.own_size;
    for (const SetStep& step : set.steps) bound += 3 * n + (step.per_element ? step.text_size : n * step.text_size);
    return bound;
}

void apply_scalar(FlatSet& set, BinaryOp op, Number scalar, const SetTexts* texts, std::size_t span,
                  bool element_first) {
    for (Number& e : set.numbers) e = element_first ? apply_binop_or_zero(op, e, scalar) : apply_binop_or_zero(op, scalar, e);
    if (texts != nullptr) set.steps.push_back(SetStep{op, element_first, false, span, texts->text(span).size()});
}

void apply_set(FlatSet& left, BinaryOp op, FlatSet& right, SetTexts* texts) {
    // A lone element on the right meets every left element: a step of the left set.
    if (right.size() == 1) {
        const Number r = right.numbers[0];
        for (Number& e : left.numbers) e = apply_binop_or_zero(op, e, r);
        if (texts != nullptr) {
            const std::size_t before = texts->chars.size();
            const std::size_t span = lay_out_spans(*texts, right, 1);
            left.steps.push_back(SetStep{op, true, false, span, texts->chars.size() - before});
        }
        return;
    }
    // A lone element on the left: a step of the right set, which is the result.
    if (left.size() == 1) {
        const Number l = left.numbers[0];
        for (Number& e : right.numbers) e = apply_binop_or_zero(op, l, e);
        if (texts != nullptr) {
            const std::size_t before = texts->chars.size();
            const std::size_t span = lay_out_spans(*texts, left, 1);
            right.steps.push_back(SetStep{op, false, false, span, texts->chars.size() - before});
        }
        left = std::move(right);
        return;
    }
    // By position; the longer set's extra elements are dropped.
    const std::size_t n = std::min(left.size(), right.size());
    left.numbers.truncate(n);
    for (std::size_t i = 0; i < n; ++i) left.numbers[i] = apply_binop_or_zero(op, left.numbers[i], right.numbers[i]);
    if (texts != nullptr) {
        const std::size_t before = texts->chars.size();
        const std::size_t first = lay_out_spans(*texts, right, n);
        left.steps.push_back(SetStep{op, true, true, first, texts->chars.size() - before});
    }
}

}  // namespace pipwerk::detail
