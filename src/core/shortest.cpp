#include "shortest.hpp"

#include <charconv>
#include <cmath>

namespace pipwerk {

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
