#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

#include "parser/ast.hpp"
#include "roll.hpp"

namespace pipwerk {
namespace {

constexpr std::size_t kMaxDieText = 13;  // 11 for any 32-bit value, "*" and "!"

// One die: its value, then "*" and "!" in that order when flagged.
char* write_die(char* out, std::int32_t value, bool star, bool bang) noexcept {
    // Faces stop at 1000, so nearly every die is one to four digits.
    if (value >= 0 && value < 10) {
        *out++ = static_cast<char>('0' + value);
    } else if (value >= 10 && value < 100) {
        *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
    } else {
        char digits[11];  // any 32-bit value
        const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        out = std::copy(static_cast<const char*>(digits), end, out);
    }
    if (star) *out++ = '*';
    if (bang) *out++ = '!';
    return out;
}

char* write_separator(char* out) noexcept {
    out[0] = ' ';
    out[1] = '+';
    out[2] = ' ';
    return out + 3;
}

}  // namespace

static_assert(RollResult::kMaxDetailLength >= 2 + kMaxPool * kMaxDieText + (kMaxPool - 1) * 3);

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
    return 2 + n * (widest + 2) + (n - 1) * 3;
}

char* RollResult::write_detail(char* out) const noexcept {
    const std::size_t n = std::min(size, kMaxPool);
    *out++ = '[';
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out = write_separator(out);
        out = write_die(out, rolls[i], !kept[i], earned_bonus[i]);
    }
    *out++ = ']';
    return out;
}

char* RollResult::write_detail_comparison(char* out, const ComparisonOp& comparison) const noexcept {
    const std::int64_t threshold = comparison.threshold.integer_view();
    const std::size_t n = std::min(size, kMaxPool);
    *out++ = '<';
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (!kept[i]) continue;  // dropped dice are not listed
        if (!first) out = write_separator(out);
        first = false;
        out = write_die(out, rolls[i], !ComparisonOp::passes(comparison.kind, rolls[i], threshold), earned_bonus[i]);
    }
    *out++ = '>';
    return out;
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
