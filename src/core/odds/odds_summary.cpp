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
    const double total = total_of(distribution);
    double below = 0.0;
    for (const Outcome& o : distribution) {
        below += o.probability;
        // A relative slack, so q = 1/2 of an exactly symmetric law is not
        // pushed one value up by rounding.
        if (below >= q * total * (1.0 - 1e-12)) return o.value;
    }
    return distribution.empty() ? std::nan("") : distribution.back().value;
}

OddsSummary summarize(const Distribution& distribution) {
    OddsSummary s{};
    const double total = total_of(distribution);
    s.success = total;
    double mean = 0.0;
    const Outcome* mode = nullptr;
    for (const Outcome& o : distribution) {
        mean += o.value * (o.probability / total);
        if (mode == nullptr || o.probability > mode->probability) mode = &o;
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
