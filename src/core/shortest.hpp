#pragma once

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

}  // namespace pipwerk
