#include "flat_set.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "detail_layout.hpp"
#include "eval.hpp"
#include "set_pairing.hpp"

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

// The set's texts as the layout reads them, copied into locals once per
// layout: every byte written through a char pointer may alias the set and
// its texts, so read through them the pointers would be loaded again after
// each piece.
class ElementWriter {
public:
    ElementWriter(const SetTexts& texts, const FlatSet& set) noexcept
        : chars_(texts.chars.view().data()),
          spans_(texts.spans()),
          steps_(set.steps.data()),
          step_count_(set.steps.size()),
          first_span_(set.first_span) {
        for (const SetStep& step : set.steps) operand_first_ = operand_first_ || !step.element_first;
    }

    // Element i at `at`, into room already taken; gives the end.
    char* write(char* at, std::size_t i) const noexcept {
        const SetTexts::Span own = spans_[first_span_ + i];
        if (step_count_ == 0) return copy(at, own);
        // The usual shape: the element, then each symbol and operand after it.
        if (!operand_first_ && !empty(own)) {
            at = copy(at, own);
            for (const SetStep* step = steps_; step != steps_ + step_count_; ++step) {
                at[0] = ' ';
                at[1] = symbol_of(step->op);
                at += 2;
                const SetTexts::Span operand_text = operand(*step, i);
                if (!empty(operand_text)) at = copy(space(at), operand_text);
            }
            return at;
        }
        // While the text is still empty, a step with an empty operand shows nothing.
        std::size_t first = 0;
        if (own.begin == own.end) {
            while (first < step_count_ && empty(operand(steps_[first], i))) ++first;
        }
        // Operands that come first wrap the element from the outside in;
        // pieces are joined by single spaces, empty ones skipped.
        char* const start = at;
        for (std::size_t k = step_count_; k-- > first;) {
            const SetStep& step = steps_[k];
            if (step.element_first) continue;
            const SetTexts::Span operand_text = operand(step, i);
            if (!empty(operand_text)) at = space(copy(at, operand_text));
            *at++ = symbol_of(step.op);
            *at++ = ' ';
        }
        if (!empty(own)) {
            at = copy(at, own);
        } else if (at != start) {
            --at;  // no element between: the space after the last symbol goes
        }
        for (std::size_t k = first; k < step_count_; ++k) {
            const SetStep& step = steps_[k];
            if (!step.element_first) continue;
            if (at != start) *at++ = ' ';
            *at++ = symbol_of(step.op);
            const SetTexts::Span operand_text = operand(step, i);
            if (!empty(operand_text)) at = copy(space(at), operand_text);
        }
        return at;
    }

private:
    static bool empty(SetTexts::Span s) noexcept { return s.begin == s.end; }
    static char* space(char* at) noexcept {
        *at = ' ';
        return at + 1;
    }
    [[nodiscard]] SetTexts::Span operand(const SetStep& step, std::size_t i) const noexcept {
        return spans_[step.first_span + (step.per_element ? i : 0)];
    }
    [[nodiscard]] char* copy(char* at, SetTexts::Span s) const noexcept {
        const std::size_t n = s.end - s.begin;
        std::memcpy(at, chars_ + s.begin, n);
        return at + n;
    }

    const char* chars_;
    const SetTexts::Span* spans_;
    const SetStep* steps_;
    std::size_t step_count_;
    std::size_t first_span_;
    bool operand_first_ = false;  // some step shows its operand before the element
};

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
    write_text(out, element_bound(texts, set, i), [&](char* at) { return ElementWriter(texts, set).write(at, i); });
}

template void append_element(TextBuffer&, const SetTexts&, const FlatSet&, std::size_t);
template void append_element(std::string&, const SetTexts&, const FlatSet&, std::size_t);

void append_layout(TextBuffer& out, const SetTexts& texts, const FlatSet& set) {
    write_text(out, layout_bound(set), [&](char* at) {
        const ElementWriter writer(texts, set);
        const std::size_t n = set.size();
        *at++ = '{';
        for (std::size_t i = 0; i < n; ++i) {
            if (i != 0) {
                at[0] = kSeparator[0];
                at[1] = kSeparator[1];
                at += 2;
            }
            at = writer.write(at, i);
        }
        *at++ = '}';
        return at;
    });
}

void apply_scalar(FlatSet& set, BinaryOp op, Number scalar, const SetTexts* texts, std::size_t span,
                  bool element_first) {
    for (Number& e : set.numbers) e = element_first ? apply_binop_or_zero(op, e, scalar) : apply_binop_or_zero(op, scalar, e);
    if (texts != nullptr) set.steps.push_back(SetStep{op, element_first, false, span, texts->text(span).size()});
}

void apply_set(FlatSet& left, BinaryOp op, FlatSet& right, SetTexts* texts) {
    std::size_t text_size = 0;
    const SetPairing pairing = set_pairing(left.size(), right.size());
    // A lone element on the right meets every left element: a step of the left set.
    if (pairing == SetPairing::LoneRight) {
        const Number r = right.numbers[0];
        for (Number& e : left.numbers) e = apply_binop_or_zero(op, e, r);
        if (texts != nullptr) {
            const std::size_t span = operand_spans(*texts, right, 1, text_size);
            left.steps.push_back(SetStep{op, true, false, span, text_size});
        }
        return;
    }
    // A lone element on the left: a step of the right set, which is the result.
    if (pairing == SetPairing::LoneLeft) {
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
    const std::size_t n = paired_size(left.size(), right.size());
    left.numbers.truncate(n);
    for (std::size_t i = 0; i < n; ++i) left.numbers[i] = apply_binop_or_zero(op, left.numbers[i], right.numbers[i]);
    if (texts != nullptr) {
        const std::size_t first = operand_spans(*texts, right, n, text_size);
        left.steps.push_back(SetStep{op, true, true, first, text_size});
    }
}

}  // namespace pipwerk::detail
