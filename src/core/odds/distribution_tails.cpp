#include <cmath>
#include <cstddef>

#include "compensated_sum.hpp"
#include "pipwerk/odds.hpp"

// Tail probabilities, each summed from its own end of the outcomes so a
// small tail keeps its relative precision.

namespace pipwerk {

double pmf(const Distribution& distribution, double x) noexcept {
    for (const Outcome& o : distribution) {
        if (o.value == x || (std::isnan(o.value) && std::isnan(x))) return o.probability;
    }
    return 0.0;
}

double at_most(const Distribution& distribution, double x) noexcept {
    detail::CompensatedSum sum;
    for (const Outcome& o : distribution) {
        if (!(o.value <= x)) break;
        sum.add(o.probability);
    }
    return sum.value();
}

double cdf(const Distribution& distribution, double x) noexcept { return at_most(distribution, x); }

double at_least(const Distribution& distribution, double x) noexcept {
    detail::CompensatedSum sum;
    for (auto it = distribution.rbegin(); it != distribution.rend(); ++it) {
        if (std::isnan(it->value)) continue;
        if (!(it->value >= x)) break;
        sum.add(it->probability);
    }
    return sum.value();
}

double Odds::pmf(double x, std::size_t element) const noexcept {
    return element < elements.size() ? pipwerk::pmf(elements[element], x) : 0.0;
}
double Odds::at_most(double x, std::size_t element) const noexcept {
    return element < elements.size() ? pipwerk::at_most(elements[element], x) : 0.0;
}
double Odds::cdf(double x, std::size_t element) const noexcept { return at_most(x, element); }
double Odds::at_least(double x, std::size_t element) const noexcept {
    return element < elements.size() ? pipwerk::at_least(elements[element], x) : 0.0;
}

}  // namespace pipwerk
