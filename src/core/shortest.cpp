#include "shortest.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace pipwerk {
namespace {

// Short decimals: the digits of the units with the point placed.
void short_decimal_digits(const ShortDecimal& d, ShortestDigits& out) noexcept {
    // Below 2^50, the units have at most 16 digits: they fit the digits in place.
    const auto res = std::to_chars(out.digits, out.digits + sizeof out.digits, d.units);
    int count = static_cast<int>(res.ptr - out.digits);
    const int whole = count - d.decimals;  // digits before the point
    while (count > 1 && out.digits[count - 1] == '0') --count;
    out.count = count;
    out.point = whole;
}

}  // namespace

// The test that x == n / 10^k is far cheaper than the general search.
// Division of two exact doubles is correctly rounded, so the test passing
// means the text "n / 10^k" reads back as x. Keeping n * 10^-k below 2^50
// units makes x's rounding interval narrower than a quarter of one unit, so
// n is the only candidate with k decimals and the first k that passes gives
// the fewest digits: the same digits as the general search.
bool short_decimal(double magnitude, ShortDecimal& out) noexcept {
    static constexpr double kUnitCap = 1125899906842624.0;  // 2^50
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    static_assert(std::size(kPowers) == ShortDecimal::kMaxDecimals + 1);
    if (!(magnitude >= 1e-3)) return false;  // NaN too
    for (int k = 0; k < static_cast<int>(std::size(kPowers)); ++k) {
        const double scaled = magnitude * kPowers[k];
        if (scaled >= kUnitCap) return false;
        const double n = std::nearbyint(scaled);
        if (n == 0.0 || n / kPowers[k] != magnitude) continue;
        out = ShortDecimal{static_cast<std::uint64_t>(n), k};
        return true;
    }
    return false;
}

ShortestDigits shortest_digits(double finite) noexcept {
    ShortestDigits out{};
    out.negative = std::signbit(finite);
    const double magnitude = std::fabs(finite);
    if (magnitude == 0.0 || !std::isfinite(magnitude)) {
        out.digits[0] = '0';
        out.count = 1;
        out.point = 1;
        return out;
    }

    if (ShortDecimal d{}; short_decimal(magnitude, d)) {
        short_decimal_digits(d, out);
        return out;
    }

    // The shortest round-trip form "d.ddde+XX"; its digits and exponent are
    // all we need, each caller lays them out in its own notation.
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    const char* p = buf;
    const char* const end = res.ptr;
    int count = 0;
    for (; p != end && *p != 'e'; ++p) {
        if (*p != '.' && count < static_cast<int>(sizeof out.digits)) out.digits[count++] = *p;
    }
    int exponent = 0;
    if (p != end) {
        ++p;  // 'e'
        if (p != end && *p == '+') ++p;
        std::from_chars(p, end, exponent);
    }
    while (count > 1 && out.digits[count - 1] == '0') --count;
    out.count = count;
    out.point = exponent + 1;
    return out;
}

}  // namespace pipwerk
