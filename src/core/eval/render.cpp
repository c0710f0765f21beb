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

// The Display form of a number, appended to either kind of text.
void append_number(std::string& out, const Number& value) {
    char buffer[Number::kMaxTextLength];
    out += std::string_view(buffer, static_cast<std::size_t>(value.write_display(buffer) - buffer));
}

void append_number(TextBuffer& out, const Number& value) {
    // An Int is short: written in place. Reals can be long.
    if (value.is_int()) {
        out.write(Number::kMaxIntLength, [&](char* at) { return value.write_display(at); });
        return;
    }
    char buffer[Number::kMaxTextLength];
    out += std::string_view(buffer, static_cast<std::size_t>(value.write_display(buffer) - buffer));
}

template <class Text>
void append_set_details(Text& out, const EvalValue::Set& set) {
    std::size_t needed = 2;
    for (const ScalarValue& e : set) needed += e.detail.size() + kSeparator.size();
    reserve_more(out, needed);
    append_braced(out, set.size(), [&](Text& to, std::size_t i) { to += std::string_view(set[i].detail); });
}

// "{a, b, ...}" with each number as `number_of(element)` gives it.
template <class Text, class Elements, class NumberOf>
void append_set_numbers(Text& out, const Elements& set, NumberOf number_of) {
    // Most numbers print in a few characters; longer ones grow the text.
    reserve_more(out, 2 + 4 * set.size());
    append_braced(out, set.size(), [&](Text& to, std::size_t i) { append_number(to, number_of(set[i])); });
}

template <class Text>
void append_detail_of(Text& out, const EvalValue& value) {
    if (const ScalarValue* s = value.scalar()) {
        out += std::string_view(s->detail);
    } else {
        append_set_details(out, *value.set());
    }
}

template <class Text>
void append_summary_of(Text& out, const EvalValue& value) {
    if (const ScalarValue* s = value.scalar()) {
        append_number(out, s->value);
    } else {
        append_set_numbers(out, *value.set(), [](const ScalarValue& e) -> const Number& { return e.value; });
    }
}

}  // namespace

void EvalValue::append_detail(std::string& out) const { append_detail_of(out, *this); }
void EvalValue::append_detail(TextBuffer& out) const { append_detail_of(out, *this); }
void EvalValue::append_summary(std::string& out) const { append_summary_of(out, *this); }

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

void EvalValue::append_full(std::string& out) const {
    if (const ScalarValue* s = scalar(); !full_shows_detail(s == nullptr, s != nullptr && s->detail.empty())) {
        append_summary(out);
        return;
    }
    append_detail(out);
    out += kJoiner;
    append_summary(out);
}

std::string EvalValue::detail() const {
    std::string out;
    append_detail(out);
    return out;
}

std::string EvalValue::summary() const {
    std::string out;
    append_summary(out);
    return out;
}

std::string EvalValue::full() const {
    std::string out;
    // One allocation for the usual scalar: its detail, the joiner and a short number.
    if (const ScalarValue* s = scalar(); s != nullptr && !s->detail.empty()) {
        out.reserve(s->detail.size() + kJoiner.size() + 24);
    }
    append_full(out);
    return out;
}

std::vector<Number> EvalValue::values() const {
    if (const ScalarValue* s = scalar()) return {s->value};
    std::vector<Number> out;
    out.reserve(set()->size());
    for (const ScalarValue& e : *set()) out.push_back(e.value);
    return out;
}

}  // namespace pipwerk
