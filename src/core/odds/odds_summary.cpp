#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "compensated_sum.hpp"
#include "pipwerk/odds.hpp"

// Statistics of the value given that the roll succeeds: the outcomes'
// probabilities divided by their sum. Sums are carried in two doubles, and
// the mean and variance are taken around a central outcome, so outcomes far
// from zero (2^62 + 1d6) or huge ones that cancel (±9.2e18) keep every
// digit the doubles of the outcomes hold.

namespace pipwerk {
namespace {

using detail::CompensatedSum;
using detail::TwoDouble;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TwoDouble total_of(const Distribution& distribution) {
    CompensatedSum total;
    for (const Outcome& o : distribution) total.add(o.probability);
    return total.total();
}

struct Moments {
    double mean;
    double variance;
};

// Mean and variance of finite outcomes, around the value `center`.
Moments moments_around(const Distribution& distribution, TwoDouble total, double center) {
    CompensatedSum first;
    for (const Outcome& o : distribution) first.add(TwoDouble{o.probability, 0.0} * detail::two_sum(o.value, -center));
    const TwoDouble shift = first.total() / total;
    CompensatedSum second;
    for (const Outcome& o : distribution) {
        const TwoDouble d = detail::two_sum(o.value, -center) - shift;
        second.add(TwoDouble{o.probability, 0.0} * (d * d));
    }
    return {(TwoDouble{center, 0.0} + shift).value(), (second.total() / total).value()};
}

// With an infinite outcome: plain sums give the infinite (or undefined) mean.
Moments moments_with_infinity(const Distribution& distribution, double total) {
    double mean = 0.0;
    for (const Outcome& o : distribution) mean += o.value * (o.probability / total);
    return {mean, std::isnan(mean) ? kNan : std::numeric_limits<double>::infinity()};
}


// The first value whose P(<= v) times `keep` reaches P(> v) times `q`, in
// two doubles, each tail summed from its own end: no slack, and neither the
// total's rounding nor a light far tail can decide.
double first_reaching(const Distribution& distribution, TwoDouble keep, TwoDouble q) {
    const std::size_t n = distribution.size();
    std::vector<TwoDouble> above(n);  // above[i] = P(> value i)
    CompensatedSum tail;
    for (std::size_t i = n; i-- > 0;) {
        above[i] = tail.total();
        tail.add(distribution[i].probability);
    }
    CompensatedSum below;
    for (std::size_t i = 0; i < n; ++i) {
        below.add(distribution[i].probability);
        const TwoDouble gap = keep * below.total() - q * above[i];
        if (gap.hi > 0.0 || (gap.hi == 0.0 && gap.lo >= 0.0)) return distribution[i].value;
    }
    return distribution.back().value;
}

}  // namespace

// P(<= v) >= q * total is (1 - q) P(<= v) >= q P(> v).
double quantile(const Distribution& distribution, double q) {
    if (distribution.empty() || !(q > 0.0 && q <= 1.0)) return kNan;
    return first_reaching(distribution, detail::two_sum(1.0, -q), TwoDouble{q, 0.0});
}

// With q = i / n: (n - i) P(<= v) >= i P(> v), whole numbers exact in doubles.
double quantile(const Distribution& distribution, std::uint64_t i, std::uint64_t n) {
    if (distribution.empty() || i == 0 || i > n) return kNan;
    constexpr std::uint64_t kExact = std::uint64_t{1} << 53;  // whole numbers exact in a double
    if (n > kExact) return quantile(distribution, static_cast<double>(i) / static_cast<double>(n));
    return first_reaching(distribution, TwoDouble{static_cast<double>(n - i), 0.0},
                          TwoDouble{static_cast<double>(i), 0.0});
}

OddsSummary summarize(const Distribution& distribution) {
    OddsSummary s{};
    const TwoDouble total = total_of(distribution);
    s.success = total.value();
    s.min = s.max = s.mean = s.variance = s.stdev = s.median = s.mode = kNan;
    if (distribution.empty()) return s;
    bool has_nan = false;
    bool has_infinity = false;
    const Outcome* mode = nullptr;
    for (const Outcome& o : distribution) {
        has_nan = has_nan || std::isnan(o.value);
        has_infinity = has_infinity || std::isinf(o.value);
        if (mode == nullptr || o.probability > mode->probability) mode = &o;
        if (!std::isnan(o.value)) {
            if (std::isnan(s.min)) s.min = o.value;
            s.max = o.value;
        }
    }
    s.median = quantile(distribution, 0.5);
    s.mode = mode->value;
    // A possible NaN makes the mean NaN: it is no number to average.
    if (!has_nan) {
        const Moments m = has_infinity ? moments_with_infinity(distribution, s.success)
                                       : moments_around(distribution, total, s.median);
        s.mean = m.mean;
        s.variance = m.variance;
        s.stdev = std::sqrt(m.variance);
    }
    return s;
}

}  // namespace pipwerk
