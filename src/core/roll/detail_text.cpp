#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "parser/ast.hpp"
#include "roll.hpp"

namespace pipwerk {
namespace {

// The texts are written die by die, each followed by the separator; the last
// separator is then overwritten by the closing bracket. So every die has room
// for its digits, two marks and " + " (the bound of roll.hpp), and the
// separator is stored as one four-byte word whose last byte the next piece
// overwrites. The digits and marks are stored byte by byte: read back at once
// by the set layout, bytes from one wide store cost more than they save.

// Three digits or more: d100 and d1000 terms, and bonus terms, whose faces are
// not capped. Out of line, so the usual die needs no stack for it.
[[gnu::noinline]] char* write_wide(char* out, std::int32_t value) noexcept {
    char digits[11];  // any 32-bit value
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::copy(static_cast<const char*>(digits), end, out);
}

// One die: its value, then "*" and "!" in that order when flagged.
char* write_die(char* out, std::int32_t value, bool star, bool bang) noexcept {
    if (value >= 0 && value < 10) {
        *out++ = static_cast<char>('0' + value);
    } else if (value >= 10 && value < 100) {
        *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
    } else {
        out = write_wide(out, value);
    }
    if (star) *out++ = '*';
    if (bang) *out++ = '!';
    return out;
}

char* write_separator(char* out) noexcept {
    std::memcpy(out, " +  ", 4);
    return out + 3;
}

// Closes a text whose last piece is a separator, or which has no die yet.
char* close_text(char* open, char* out, char bracket) noexcept {
    if (out == open + 1) {
        *out = bracket;
        return out + 1;
    }
    out[-3] = bracket;
    return out - 2;
}

}  // namespace

// Any 32-bit value, both marks and the separator, for a full pool.
static_assert(RollResult::kMaxDetailLength >= 2 + kMaxPool * (11 + 2 + 3));

std::size_t RollResult::detail_length_bound() const noexcept {
    // The widest die value decides: faces stop at 1000 for plain terms, so
    // the bound stays small and an inline text buffer rarely has to grow.
    const std::size_t n = std::min(size, kMaxPool);
    if (n == 0) return 2;
    // The extremes in one pass without branches, then the width of the widest.
    std::int32_t low = rolls[0];
    std::int32_t high = rolls[0];
    for (std::size_t i = 1; i < n; ++i) {
        low = std::min(low, rolls[i]);
        high = std::max(high, rolls[i]);
    }
    const std::size_t widest = low < 0 ? 11 : high < 10 ? 1 : high < 100 ? 2 : high < 10000 ? 4 : 11;
    return 2 + n * (widest + 5);
}

char* RollResult::write_detail(char* out) const noexcept {
    const std::size_t n = std::min(size, kMaxPool);
    char* const open = out;
    *out++ = '[';
    for (std::size_t i = 0; i < n; ++i) out = write_separator(write_die(out, rolls[i], !kept[i], earned_bonus[i]));
    return close_text(open, out, ']');
}

char* RollResult::write_detail_comparison(char* out, const ComparisonOp& comparison) const noexcept {
    return write_detail_comparison(out, comparison.kind, comparison.threshold.integer_view());
}

char* RollResult::write_detail_comparison(char* out, ComparisonOp::Kind kind, std::int64_t threshold) const noexcept {
    const std::size_t n = std::min(size, kMaxPool);
    char* const open = out;
    *out++ = '<';
    for (std::size_t i = 0; i < n; ++i) {
        // Every die is written; only a kept one is kept by advancing past it.
        char* next = write_die(out, rolls[i], !ComparisonOp::passes(kind, rolls[i], threshold), earned_bonus[i]);
        next = write_separator(next);
        out = kept[i] ? next : out;
    }
    return close_text(open, out, '>');
}

void RollResult::append_detail(std::string& out) const {
    char buffer[kMaxDetailLength];
    out.append(buffer, write_detail(buffer));
}

std::string RollResult::detail() const {
    std::string out;
    append_detail(out);
    return out;
}

void RollResult::append_detail_comparison(std::string& out, const ComparisonOp& comparison) const {
    char buffer[kMaxDetailLength];
    out.append(buffer, write_detail_comparison(buffer, comparison));
}

std::string RollResult::detail_comparison(const ComparisonOp& comparison) const {
    std::string out;
    append_detail_comparison(out, comparison);
    return out;
}

}  // namespace pipwerk
