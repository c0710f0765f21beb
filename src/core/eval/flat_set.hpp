#pragma once

// A set as the evaluator holds it: its numbers, the text of each element,
// and the operations still to be shown in every element's text. An
// operation with a scalar, or with a lone element of another set, is the
// same for every element, so it is recorded once as a step instead of being
// written into each element; a set paired element by element becomes a
// step with one text per element. Each text is written once, into the
// evaluation's one buffer, and an element's whole text is laid out from
// its pieces only at the end. Every shape of set arithmetic is so linear.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "number.hpp"
#include "parser/ast.hpp"
#include "small_vector.hpp"
#include "text_buffer.hpp"

namespace pipwerk::detail {

// The texts of one evaluation, back to back; a text is a span of them.
class SetTexts {
public:
    struct Span {
        std::size_t begin;
        std::size_t end;
    };

    [[nodiscard]] std::string_view text(std::size_t span) const noexcept {
        const Span s = spans_[span];
        return {chars.view().data() + s.begin, s.end - s.begin};
    }
    // The span of what was written to `chars` since `begin`; gives its index.
    std::size_t close_span(std::size_t begin) {
        spans_.push_back(Span{begin, chars.size()});
        return spans_.size() - 1;
    }
    // Room for the next n spans, left for the caller to fill before any
    // other span is closed.
    [[nodiscard]] Span* open_spans(std::size_t n) { return spans_.extend(n); }
    [[nodiscard]] std::size_t span_count() const noexcept { return spans_.size(); }
    [[nodiscard]] const Span* spans() const noexcept { return spans_.data(); }

    TextBuffer chars;

private:
    SmallVector<Span, 16> spans_;
};

// One operation still to be shown in every element's text.
struct SetStep {
    BinaryOp op;
    bool element_first;  // "element s operand", else "operand s element"
    bool per_element;    // one operand text per element, else one for all
    std::size_t first_span;
    std::size_t text_size;  // of all its operand texts together
};

struct FlatSet {
    SmallVector<Number, 8> numbers;  // one per element; their count is the set's size
    std::size_t first_span = 0;      // element i's own text is span first_span + i
    std::size_t own_size = 0;        // of all own texts together
    SmallVector<SetStep, 4> steps;   // in the order they apply

    [[nodiscard]] std::size_t size() const noexcept { return numbers.size(); }
};

// The set's element i with every step applied, in the set's texts.
// Text is std::string or TextBuffer; it may be the set texts' own buffer.
template <class Text>
void append_element(Text& out, const SetTexts& texts, const FlatSet& set, std::size_t i);
// The whole set laid out: "{" its elements ", " "}".
void append_layout(TextBuffer& out, const SetTexts& texts, const FlatSet& set);

// set = set op scalar (element_first) or scalar op set, for every element;
// the scalar's text is span `span` of `texts`, which is null when the
// evaluation keeps no text.
void apply_scalar(FlatSet& set, BinaryOp op, Number scalar, const SetTexts* texts, std::size_t span,
                  bool element_first);
// left = left op right: a lone element on either side meets every element
// of the other, otherwise elements pair by position up to the shorter set.
// `right` is used up.
void apply_set(FlatSet& left, BinaryOp op, FlatSet& right, SetTexts* texts);

}  // namespace pipwerk::detail
