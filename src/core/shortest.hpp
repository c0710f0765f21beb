#pragma once

#include <cstdint>

#include "pipwerk/text.hpp"  // ShortestDigits

namespace pipwerk {

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
