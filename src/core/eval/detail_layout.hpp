#pragma once

// How detail texts are laid out, in one place: the operator symbols, an
// operation of two texts, a set of texts, and when the full text shows the
// detail at all.

#include <cstddef>
#include <string_view>

#include "parser/ast.hpp"
#include "text_sink.hpp"

namespace pipwerk::detail {

inline constexpr std::string_view kSeparator = ", ";
inline constexpr std::string_view kJoiner = " = ";

constexpr char symbol_of(BinaryOp op) noexcept { return "+-*/"[static_cast<std::size_t>(op)]; }

// The full text is detail " = " summary, except for a constant: a scalar
// without any detail is shown by its summary alone.
constexpr bool full_shows_detail(bool is_set, bool detail_empty) noexcept { return is_set || !detail_empty; }

// An operation's text is "left s right", where a side whose text is empty
// is left out with its space, and an operation of two empty texts shows
// nothing. The pieces of a text built by several operations are therefore
// joined by single spaces, empty pieces skipped: Pieces writes them so.
template <class Text>
class Pieces {
public:
    explicit Pieces(Text& out) noexcept : out_(out) {}
    void add(std::string_view piece) {
        if (piece.empty()) return;
        if (any_) out_ += ' ';
        out_ += piece;
        any_ = true;
    }
    void add(char piece) {
        if (any_) out_ += ' ';
        out_ += piece;
        any_ = true;
    }

private:
    Text& out_;
    bool any_ = false;
};

// The same rule for a text written as it is evaluated: the left side is
// already in `out` from `left_start` on, the right one is written after
// open() and before close(), which drops what the rule leaves out.
struct OpenOperation {
    std::size_t symbol_at;
    std::size_t right_start;
    bool left_empty;
};

template <class Text>
OpenOperation open_operation(Text& out, std::size_t left_start, BinaryOp op) {
    const bool left_empty = out.size() == left_start;
    if (!left_empty) out += ' ';
    const std::size_t symbol_at = out.size();
    out += symbol_of(op);
    out += ' ';
    return {symbol_at, out.size(), left_empty};
}

template <class Text>
void close_operation(Text& out, const OpenOperation& open) {
    if (out.size() != open.right_start) return;
    // An empty right side: "left s", or nothing when the left is empty too.
    truncate(out, open.left_empty ? open.symbol_at : open.right_start - 1);
}

// The echo of a real, which can be long, through a buffer of its own.
template <class Text>
[[gnu::noinline]] void append_real_echo(Text& out, const Number& value) {
    char buffer[Number::kMaxTextLength];
    out += std::string_view(buffer, static_cast<std::size_t>(value.write_display_string(buffer) - buffer));
}

// The echo form of a constant, the whole detail of one. Out of line, and
// with the real's buffer in a frame of its own, so the usual Int is written
// in place by a small frame that stays off the recursive ones.
template <class Text>
[[gnu::noinline]] void append_echo(Text& out, const Number& value) {
    if constexpr (!writes_text<Text>) return;
    if (value.is_int()) {
        write_text(out, Number::kMaxIntLength, [&](char* at) { return value.write_display_string(at); });
        return;
    }
    append_real_echo(out, value);
}

// "{a, b, ...}", each item written by write_item(out, i).
template <class Text, class WriteItem>
void append_braced(Text& out, std::size_t count, WriteItem write_item) {
    out += '{';
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) out += kSeparator;
        write_item(out, i);
    }
    out += '}';
}

}  // namespace pipwerk::detail
