#include "dense_law.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pipwerk::detail {
namespace {

// A double-double running sum: hi + lo holds the sum to about 2^-106.
struct Sum2 {
    double hi = 0.0;
    double lo = 0.0;

    void add(double x) noexcept {
        const double s = hi + x;
        const double v = s - hi;
        const double err = (hi - (s - v)) + (x - v);
        hi = s;
        lo += err;
    }
};

// (a - b) rounded to a double, with the low parts taken into account.
double difference(const Sum2& a, const Sum2& b) noexcept {
    const double s = a.hi - b.hi;
    const double v = s - a.hi;
    const double err = (a.hi - (s - v)) + (-b.hi - v);
    return s + (err + (a.lo - b.lo));
}

}  // namespace

void add_scaled(DenseLaw& target, const DenseLaw& source, double weight, std::int64_t shift) {
    if (source.empty() || weight == 0.0) return;
    const std::int64_t first = source.lo + shift;
    const std::int64_t last = first + static_cast<std::int64_t>(source.size()) - 1;
    if (target.empty()) {
        target.lo = first;
        target.p.assign(source.size(), 0.0);
    }
    const std::int64_t target_last = target.lo + static_cast<std::int64_t>(target.size()) - 1;
    if (first < target.lo) {
        target.p.insert(target.p.begin(), static_cast<std::size_t>(target.lo - first), 0.0);
        target.lo = first;
    }
    if (last > target_last) target.p.resize(static_cast<std::size_t>(last - target.lo + 1), 0.0);
    double* out = target.p.data() + (first - target.lo);
    const double* in = source.p.data();
    for (std::size_t i = 0; i < source.size(); ++i) out[i] += weight * in[i];
}

DenseLaw add_uniform(const DenseLaw& law, std::int64_t first, std::int64_t width, bool symmetric) {
    const std::size_t n = law.size();
    const auto w = static_cast<std::size_t>(width);
    DenseLaw out{law.lo + first, std::vector<double>(n + w - 1, 0.0)};
    const double scale = 1.0 / static_cast<double>(width);
    // below[i]: the sum of law.p[0..i); above[i]: the sum of law.p[i..n).
    std::vector<Sum2> below(n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        below[i + 1] = below[i];
        below[i + 1].add(law.p[i]);
    }
    const std::size_t m = out.size();
    if (symmetric) {
        // The lower half (through the middle) from below, then mirrored.
        for (std::size_t x = 0; x < (m + 1) / 2; ++x) {
            const std::size_t r = std::min(x, n - 1);
            const std::size_t l = x + 1 >= w ? x + 1 - w : 0;
            out.p[x] = difference(below[r + 1], below[l]) * scale;
        }
        for (std::size_t x = (m + 1) / 2; x < m; ++x) out.p[x] = out.p[m - 1 - x];
        return out;
    }
    std::vector<Sum2> above(n + 1);
    for (std::size_t i = n; i-- > 0;) {
        above[i] = above[i + 1];
        above[i].add(law.p[i]);
    }
    for (std::size_t x = 0; x < m; ++x) {
        const std::size_t r = std::min(x, n - 1);
        const std::size_t l = x + 1 >= w ? x + 1 - w : 0;
        // Subtract the two running sums that carry the lesser mass.
        const double sum = below[r + 1].hi <= above[l].hi ? difference(below[r + 1], below[l])
                                                           : difference(above[l], above[r + 1]);
        out.p[x] = sum * scale;
    }
    return out;
}

DenseLaw add_coin(const DenseLaw& law, double yes, double no) {
    DenseLaw out{law.lo, std::vector<double>(law.size() + 1, 0.0)};
    for (std::size_t i = 0; i < law.size(); ++i) {
        out.p[i] += no * law.p[i];
        out.p[i + 1] += yes * law.p[i];
    }
    return out;
}

DenseLaw convolve(const DenseLaw& a, const DenseLaw& b) {
    if (a.empty() || b.empty()) return {};
    DenseLaw out{a.lo + b.lo, std::vector<double>(a.size() + b.size() - 1, 0.0)};
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double x = a.p[i];
        if (x == 0.0) continue;
        double* row = out.p.data() + i;
        for (std::size_t j = 0; j < b.size(); ++j) row[j] += x * b.p[j];
    }
    return out;
}

}  // namespace pipwerk::detail
