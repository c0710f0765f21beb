#pragma once

// Sums and products carried in two doubles (a value and the rounding error
// it left), so that statistics of huge outcomes, or of outcomes far from
// zero, lose nothing to cancellation: a value is hi + lo, exact to about
// 106 bits.

#include <cmath>

namespace pipwerk::detail {

struct TwoDouble {
    double hi = 0.0;
    double lo = 0.0;

    [[nodiscard]] double value() const noexcept { return hi + lo; }
};

// a + b exactly, as a rounded sum and its error.
[[nodiscard]] inline TwoDouble two_sum(double a, double b) noexcept {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a * b exactly, as a rounded product and its error.
[[nodiscard]] inline TwoDouble two_product(double a, double b) noexcept {
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

[[nodiscard]] inline TwoDouble operator+(TwoDouble a, TwoDouble b) noexcept {
    const TwoDouble s = two_sum(a.hi, b.hi);
    const double lo = s.lo + a.lo + b.lo;
    return two_sum(s.hi, lo);
}

[[nodiscard]] inline TwoDouble operator-(TwoDouble a) noexcept { return {-a.hi, -a.lo}; }
[[nodiscard]] inline TwoDouble operator-(TwoDouble a, TwoDouble b) noexcept { return a + (-b); }

[[nodiscard]] inline TwoDouble operator*(TwoDouble a, TwoDouble b) noexcept {
    const TwoDouble p = two_product(a.hi, b.hi);
    const double lo = p.lo + (a.hi * b.lo + a.lo * b.hi);
    return two_sum(p.hi, lo);
}

[[nodiscard]] inline TwoDouble operator/(TwoDouble a, TwoDouble b) noexcept {
    const double q = a.hi / b.hi;
    const TwoDouble r = a - b * TwoDouble{q, 0.0};
    return two_sum(q, r.hi / b.hi);
}

// A running sum that keeps its rounding error.
class CompensatedSum {
public:
    void add(double x) noexcept { sum_ = sum_ + TwoDouble{x, 0.0}; }
    void add(TwoDouble x) noexcept { sum_ = sum_ + x; }
    [[nodiscard]] TwoDouble total() const noexcept { return sum_; }
    [[nodiscard]] double value() const noexcept { return sum_.value(); }

private:
    TwoDouble sum_;
};

}  // namespace pipwerk::detail
