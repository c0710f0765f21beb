#include <cmath>
#include <cstddef>

#include "pipwerk/odds.hpp"

// Statistics of the value given that the roll succeeds: the outcomes'
// probabilities divided by their sum.

namespace pipwerk {
namespace {

double total_of(const Distribution& distribution) {
    double total = 0.0;
    for (const Outcome& o : distribution) total += o.probability;
    return total;
}

}  // namespace

double quantile(const Distribution& distribution, double q) {
    if (distribution.empty()) return std::nan("");
    const double total = total_of(distribution);
    // A relative slack, so q = 1/2 of an exactly symmetric law is not pushed
    // one value over by rounding. Each half is read from its own end, so a
    // light far tail is never lost in the slack.
    if (q <= 0.5) {
        double below = 0.0;
        for (const Outcome& o : distribution) {
            below += o.probability;
            if (below >= q * total * (1.0 - 1e-12)) return o.value;
        }
        return distribution.back().value;
    }
    // The smallest value v with P(> v) <= (1 - q).
    const double bound = (1.0 - q) * total * (1.0 + 1e-12);
    std::size_t i = distribution.size() - 1;
    double above = 0.0;  // P(> value i)
    while (i > 0 && above + distribution[i].probability <= bound) above += distribution[i--].probability;
    return distribution[i].value;
}

OddsSummary summarize(const Distribution& distribution) {
    OddsSummary s{};
    const double total = total_of(distribution);
    s.success = total;
    double mean = 0.0;
    const Outcome* mode = nullptr;
    for (const Outcome& o : distribution) {
        mean += o.value * (o.probability / total);
        // Chances equal to within the engine's precision tie: the smaller value wins.
        if (mode == nullptr || o.probability > mode->probability * (1.0 + 1e-12)) mode = &o;
    }
    double variance = 0.0;
    for (const Outcome& o : distribution) {
        const double d = o.value - mean;
        variance += d * d * (o.probability / total);
    }
    s.mean = mean;
    s.variance = variance;
    s.stdev = std::sqrt(variance);
    s.min = distribution.empty() ? std::nan("") : distribution.front().value;
    s.max = distribution.empty() ? std::nan("") : distribution.back().value;
    s.median = quantile(distribution, 0.5);
    s.mode = mode != nullptr ? mode->value : std::nan("");
    return s;
}

}  // namespace pipwerk
