#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "parser/ast.hpp"
#include "roll.hpp"

namespace pipwerk {
namespace {

constexpr std::size_t kMaxDieText = 13;  // 11 for any 32-bit value, "*" and "!"

// The digits of every value a plain die can show (faces stop at 1000), so a
// die is one four-byte copy. Every die's room in a bounded buffer holds its
// digits, two marks and a closing bracket: four bytes at least.
struct DieDigits {
    std::array<char, 4> text;
    std::uint32_t length;
};
constexpr std::int32_t kTabled = 1000;
constexpr auto kDigits = [] {
    std::array<DieDigits, kTabled + 1> table{};
    for (std::int32_t v = 0; v <= kTabled; ++v) {
        DieDigits& entry = table[static_cast<std::size_t>(v)];
        for (std::int32_t rest = v;; rest /= 10) {
            ++entry.length;
            if (rest < 10) break;
        }
        std::int32_t rest = v;
        for (std::uint32_t i = entry.length; i-- > 0; rest /= 10) entry.text[i] = static_cast<char>('0' + rest % 10);
    }
    return table;
}();

// A value past the table: only bonus terms, whose faces are not capped.
[[gnu::noinline]] char* write_untabled(char* out, std::int32_t value) noexcept {
    return std::to_chars(out, out + 11, value).ptr;
}

// One die: its value, then "*" and "!" in that order when flagged. The marks
// are stored unconditionally and kept by advancing past them.
char* write_die(char* out, std::int32_t value, bool star, bool bang) noexcept {
    if (static_cast<std::uint32_t>(value) <= static_cast<std::uint32_t>(kTabled)) [[likely]] {
        const DieDigits& digits = kDigits[static_cast<std::size_t>(value)];
        std::memcpy(out, digits.text.data(), 4);
        out += digits.length;
    } else {
        out = write_untabled(out, value);
    }
    *out = '*';
    out += star;
    *out = '!';
    out += bang;
    return out;
}

char* write_separator(char* out) noexcept {
    std::memcpy(out, " + ", 3);
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
    if (n > 0) out = write_die(out, rolls[0], !kept[0], earned_bonus[0]);
    for (std::size_t i = 1; i < n; ++i) {
        out = write_separator(out);
        out = write_die(out, rolls[i], !kept[i], earned_bonus[i]);
    }
    *out++ = ']';
    return out;
}

char* RollResult::write_detail_comparison(char* out, const ComparisonOp& comparison) const noexcept {
    return write_detail_comparison(out, comparison.kind, comparison.threshold.integer_view());
}

char* RollResult::write_detail_comparison(char* out, ComparisonOp::Kind kind, std::int64_t threshold) const noexcept {
    const std::size_t n = std::min(size, kMaxPool);
    *out++ = '<';
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (!kept[i]) continue;  // dropped dice are not listed
        if (!first) out = write_separator(out);
        first = false;
        out = write_die(out, rolls[i], !ComparisonOp::passes(kind, rolls[i], threshold), earned_bonus[i]);
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
