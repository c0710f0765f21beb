#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "detail_layout.hpp"
#include "eval.hpp"
#include "text_buffer.hpp"
#include "text_sink.hpp"

namespace pipwerk {
namespace {

using namespace detail;

// The Display form of a number.
void append_number(TextBuffer& out, const Number& value) {
    // An Int is short: written in place. Reals can be long.
    if (value.is_int()) {
        out.write(Number::kMaxIntLength, [&](char* at) { return value.write_display(at); });
        return;
    }
    char buffer[Number::kMaxTextLength];
    out += std::string_view(buffer, static_cast<std::size_t>(value.write_display(buffer) - buffer));
}

// "{a, b, ...}" with each number as `number_of(element)` gives it.
template <class Text, class Elements, class NumberOf>
void append_set_numbers(Text& out, const Elements& set, NumberOf number_of) {
    // Most numbers print in a few characters; longer ones grow the text.
    reserve_more(out, 2 + 4 * set.size());
    append_braced(out, set.size(), [&](Text& to, std::size_t i) { append_number(to, number_of(set[i])); });
}

}  // namespace

void append_summary(TextBuffer& out, std::span<const Number> numbers, bool is_set) {
    if (!is_set) {
        append_number(out, numbers.front());
        return;
    }
    const auto as_is = [](const Number& n) -> const Number& { return n; };
    // A short set is written in one piece, into room for every number at
    // its longest; a long one number by number, so the room taken stays
    // near the text's own size.
    constexpr std::size_t kOnePiece = 1024;
    std::size_t bound = 2;
    for (std::size_t i = 0; i < numbers.size() && bound <= kOnePiece; ++i) {
        bound += kSeparator.size() + (numbers[i].is_int() ? Number::kMaxIntLength : Number::kMaxTextLength);
    }
    if (bound > kOnePiece) {
        append_set_numbers(out, numbers, as_is);
        return;
    }
    out.write(bound, [&](char* at) {
        RawText raw{at};
        append_braced(raw, numbers.size(), [&](RawText& to, std::size_t i) { to.at = numbers[i].write_display(to.at); });
        return raw.at;
    });
}

}  // namespace pipwerk
