#include "flat_set.hpp"

#include <algorithm>
#include <string>

#include "detail_layout.hpp"
#include "eval.hpp"

namespace pipwerk::detail {
namespace {

std::string_view operand_of(const SetTexts& texts, const SetStep& step, std::size_t i) noexcept {
    return texts.text(step.first_span + (step.per_element ? i : 0));
}

// Room for element i laid out.
std::size_t element_bound(const SetTexts& texts, const FlatSet& set, std::size_t i) noexcept {
    std::size_t bound = texts.text(set.first_span + i).size();
    for (const SetStep& step : set.steps) bound += 3 + operand_of(texts, step, i).size();
    return bound;
}

// Room for the whole set laid out, without summing every element's.
std::size_t layout_bound(const FlatSet& set) noexcept {
    const std::size_t n = set.size();
    std::size_t bound = 2 + 2 * n + set.own_size;
    for (const SetStep& step : set.steps) bound += 3 * n + (step.per_element ? step.text_size : n * step.text_size);
    return bound;
}

// Element i into room already taken.
void write_element(RawText& out, const SetTexts& texts, const FlatSet& set, std::size_t i) noexcept {
    const std::string_view own = texts.text(set.first_span + i);
    const auto& steps = set.steps;
    if (steps.empty()) {
        out += own;
        return;
    }
    // While the text is still empty, a step with an empty operand shows nothing.
    std::size_t first = 0;
    if (own.empty()) {
        while (first < steps.size() && operand_of(texts, steps[first], i).empty()) ++first;
    }
    // Operands that come first wrap the element from the outside in.
    Pieces<RawText> pieces(out);
    for (std::size_t k = steps.size(); k-- > first;) {
        if (steps[k].element_first) continue;
        pieces.add(operand_of(texts, steps[k], i));
        pieces.add(symbol_of(steps[k].op));
    }
    pieces.add(own);
    for (std::size_t k = first; k < steps.size(); ++k) {
        if (!steps[k].element_first) continue;
        pieces.add(symbol_of(steps[k].op));
        pieces.add(operand_of(texts, steps[k], i));
    }
}

// The texts of the set's first n elements as one step's operand: its own
// spans when it has no steps, else each laid out into a new span of the set
// texts' own buffer (the texts are read inside the write, after the buffer
// has grown, and from before where it writes). Gives the first span.
std::size_t operand_spans(SetTexts& texts, const FlatSet& set, std::size_t n, std::size_t& text_size) {
    if (set.steps.empty()) {
        text_size = n == 1 ? texts.text(set.first_span).size() : set.own_size;
        return set.first_span;
    }
    const std::size_t first = texts.span_count();
    const std::size_t before = texts.chars.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t begin = texts.chars.size();
        append_element(texts.chars, texts, set, i);
        texts.close_span(begin);
    }
    text_size = texts.chars.size() - before;
    return first;
}

}  // namespace

template <class Text>
void append_element(Text& out, const SetTexts& texts, const FlatSet& set, std::size_t i) {
    write_text(out, element_bound(texts, set, i), [&](char* at) {
        RawText raw{at};
        write_element(raw, texts, set, i);
        return raw.at;
    });
}

template void append_element(TextBuffer&, const SetTexts&, const FlatSet&, std::size_t);
template void append_element(std::string&, const SetTexts&, const FlatSet&, std::size_t);

void append_layout(TextBuffer& out, const SetTexts& texts, const FlatSet& set) {
    write_text(out, layout_bound(set), [&](char* at) {
        RawText raw{at};
        append_braced(raw, set.size(), [&](RawText& to, std::size_t i) { write_element(to, texts, set, i); });
        return raw.at;
    });
}

void apply_scalar(FlatSet& set, BinaryOp op, Number scalar, const SetTexts* texts, std::size_t span,
                  bool element_first) {
    for (Number& e : set.numbers) e = element_first ? apply_binop_or_zero(op, e, scalar) : apply_binop_or_zero(op, scalar, e);
    if (texts != nullptr) set.steps.push_back(SetStep{op, element_first, false, span, texts->text(span).size()});
}

void apply_set(FlatSet& left, BinaryOp op, FlatSet& right, SetTexts* texts) {
    std::size_t text_size = 0;
    // A lone element on the right meets every left element: a step of the left set.
    if (right.size() == 1) {
        const Number r = right.numbers[0];
        for (Number& e : left.numbers) e = apply_binop_or_zero(op, e, r);
        if (texts != nullptr) {
            const std::size_t span = operand_spans(*texts, right, 1, text_size);
            left.steps.push_back(SetStep{op, true, false, span, text_size});
        }
        return;
    }
    // A lone element on the left: a step of the right set, which is the result.
    if (left.size() == 1) {
        const Number l = left.numbers[0];
        for (Number& e : right.numbers) e = apply_binop_or_zero(op, l, e);
        if (texts != nullptr) {
            const std::size_t span = operand_spans(*texts, left, 1, text_size);
            right.steps.push_back(SetStep{op, false, false, span, text_size});
        }
        left = std::move(right);
        return;
    }
    // By position; the longer set's extra elements are dropped.
    const std::size_t n = std::min(left.size(), right.size());
    left.numbers.truncate(n);
    for (std::size_t i = 0; i < n; ++i) left.numbers[i] = apply_binop_or_zero(op, left.numbers[i], right.numbers[i]);
    if (texts != nullptr) {
        const std::size_t first = operand_spans(*texts, right, n, text_size);
        left.steps.push_back(SetStep{op, true, true, first, text_size});
    }
}

}  // namespace pipwerk::detail
