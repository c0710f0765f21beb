#pragma once

#include <cstdint>

namespace pipwerk {

// The shortest decimal digits that read back as the same finite double:
// |x| = 0.D1 D2 ... Dn x 10^point with D1 != 0 (zero gives the digit "0" and point 1).
// Both printed forms of numbers (the engine's Display and the Python list form)
// lay these digits out, each in its own notation.
struct ShortestDigits {
    char digits[24];
    int count;
    int point;
    bool negative;
};

[[nodiscard]] ShortestDigits shortest_digits(double finite) noexcept;

// Most values rolled are short decimals (43.2, 0.125): a finite magnitude
// that is exactly the double nearest units / 10^decimals, for a whole
// number of units below 2^50 and at most 8 decimals. Gives the fewest
// decimals that do, so the last decimal of units is not 0 (unless
// decimals is 0); false when no such form exists.
struct ShortDecimal {
    static constexpr int kMaxDecimals = 8;
    std::uint64_t units;
    int decimals;
};
[[nodiscard]] bool short_decimal(double magnitude, ShortDecimal& out) noexcept;

}  // namespace pipwerk
