#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

#include "pipwerk/parser/ast.hpp"
#include "pipwerk/roll.hpp"

namespace pipwerk {
namespace {

// One die: its value, then "*" and "!" in that order when flagged.
void append_die_text(std::string& out, std::int32_t value, bool star, bool bang) {
    char buf[12];  // 10 digits and a sign
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    static_cast<void>(ec);  // cannot fail: the buffer holds every 32-bit value
    out.append(buf, end);
    if (star) out.push_back('*');
    if (bang) out.push_back('!');
}

}  // namespace

void RollResult::append_detail(std::string& out) const {
    const std::size_t n = std::min(size, kMaxPool);
    out.push_back('[');
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out.append(" + ");
        append_die_text(out, rolls[i], !kept[i], earned_bonus[i]);
    }
    out.push_back(']');
}

std::string RollResult::detail() const {
    std::string out;
    append_detail(out);
    return out;
}

void RollResult::append_detail_comparison(std::string& out, const ComparisonOp& comparison) const {
    const std::int64_t threshold = comparison.threshold.integer_view();
    const std::size_t n = std::min(size, kMaxPool);
    out.push_back('<');
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (!kept[i]) continue;  // dropped dice are not listed
        if (!first) out.append(" + ");
        first = false;
        append_die_text(out, rolls[i], !ComparisonOp::passes(comparison.kind, rolls[i], threshold), earned_bonus[i]);
    }
    out.push_back('>');
}

std::string RollResult::detail_comparison(const ComparisonOp& comparison) const {
    std::string out;
    append_detail_comparison(out, comparison);
    return out;
}

}  // namespace pipwerk
