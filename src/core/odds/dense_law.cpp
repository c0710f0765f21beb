#include "dense_law.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pipwerk::detail {
namespace {

// Two doubles worked on together: one instruction for both on most targets.
using Pair = double __attribute__((vector_size(16)));

// Double-double running sums: hi[i] + lo[i] holds the sum of the first i
// values to about 2^-106 of itself. The two halves of the values are summed
// side by side (each step waits on the last, so two chains run twice as
// fast), then the second half's sums are moved up by the first half's total.
void running_sums(const double* values, std::size_t count, double* hi, double* lo) noexcept {
    hi[0] = 0.0;
    lo[0] = 0.0;
    const std::size_t half = count / 2;
    Pair h = {0.0, 0.0};
    Pair l = {0.0, 0.0};
    for (std::size_t i = 0; i < half; ++i) {
        const Pair x = {values[i], values[half + i]};
        const Pair s = h + x;
        const Pair v = s - h;
        l += (h - (s - v)) + (x - v);
        h = s;
        hi[i + 1] = h[0];
        lo[i + 1] = l[0];
        hi[half + i + 1] = h[1];
        lo[half + i + 1] = l[1];
    }
    double h1 = h[1];
    double l1 = l[1];
    for (std::size_t i = 2 * half; i < count; ++i) {  // an odd last value
        const double x = values[i];
        const double s = h1 + x;
        const double v = s - h1;
        l1 += (h1 - (s - v)) + (x - v);
        h1 = s;
        hi[i + 1] = h1;
        lo[i + 1] = l1;
    }
    const double base_hi = hi[half];
    const double base_lo = lo[half];
    for (std::size_t i = half + 1; i <= count; ++i) {
        const double a = hi[i];
        const double s = a + base_hi;
        const double v = s - a;
        lo[i] += base_lo + ((a - (s - v)) + (base_hi - v));
        hi[i] = s;
    }
}

// (a_hi + a_lo) - (b_hi + b_lo), rounded once.
inline double difference(double a_hi, double a_lo, double b_hi, double b_lo) noexcept {
    const double s = a_hi - b_hi;
    const double v = s - a_hi;
    const double err = (a_hi - (s - v)) + (-b_hi - v);
    return s + (err + (a_lo - b_lo));
}

}  // namespace

[[gnu::target_clones("avx2", "default")]]
void add_scaled(DenseLaw& target, const DenseLaw& source, double weight, std::int64_t shift) {
    if (source.empty() || weight == 0.0) return;
    const std::int64_t first = source.lo + shift;
    const std::int64_t last = first + (static_cast<std::int64_t>(source.size()) - 1);
    if (target.empty()) {
        target.lo = first;
        target.p.assign(source.size(), 0.0);
    }
    const std::int64_t target_last = target.lo + (static_cast<std::int64_t>(target.size()) - 1);
    if (first < target.lo) {
        target.p.insert(target.p.begin(), static_cast<std::size_t>(target.lo - first), 0.0);
        target.lo = first;
    }
    if (last > target_last) target.p.resize(static_cast<std::size_t>(last - target.lo + 1), 0.0);
    double* out = target.p.data() + (first - target.lo);
    const double* in = source.p.data();
    for (std::size_t i = 0; i < source.size(); ++i) out[i] += weight * in[i];
}

std::uint64_t scaled_values_per_step() noexcept { return __builtin_cpu_supports("avx2") ? 8 : 4; }

[[gnu::target_clones("avx2", "default")]]
void add_uniform_into(const DenseLaw& law, std::int64_t first, std::int64_t width, bool symmetric, DenseLaw& out,
                      RunningSums& sums) {
    const std::size_t n = law.size();
    const auto w = static_cast<std::size_t>(width);
    const std::size_t m = n + w - 1;
    out.lo = law.lo + first;
    out.p.resize(m);
    double* o = out.p.data();
    const double scale = 1.0 / static_cast<double>(width);
    // Output x sums the inputs l(x) .. r(x): l = max(0, x + 1 - w), r = min(x, n - 1).
    const std::size_t end = symmetric ? (m + 1) / 2 : m;
    const std::size_t needed = std::min(end, n);  // running sums from below up to here
    sums.below_hi.resize(needed + 1);
    sums.below_lo.resize(needed + 1);
    running_sums(law.p.data(), needed, sums.below_hi.data(), sums.below_lo.data());
    const double* bh = sums.below_hi.data();
    const double* bl = sums.below_lo.data();
    if (symmetric) {
        // The lower half from below (where the sums are small), then mirrored.
        // By ranges of x, so each loop is straight-line and vectorises:
        // windows cut by the start, whole windows, windows cut by the end.
        const std::size_t cut = std::min(end, w - 1);  // x below this: l = 0
        const std::size_t inside = std::min(end, n);   // x below this: r = x + 1
        std::size_t x = 0;
        for (; x < std::min(cut, inside); ++x) o[x] = (bh[x + 1] + bl[x + 1]) * scale;
        for (; x < cut; ++x) o[x] = (bh[n] + bl[n]) * scale;
        for (; x < inside; ++x) o[x] = difference(bh[x + 1], bl[x + 1], bh[x + 1 - w], bl[x + 1 - w]) * scale;
        for (; x < end; ++x) o[x] = difference(bh[n], bl[n], bh[x + 1 - w], bl[x + 1 - w]) * scale;
        for (x = end; x < m; ++x) o[x] = o[m - 1 - x];
        return;
    }
    // From above as well; each output subtracts the pair of running sums
    // that carry the lesser mass.
    sums.above_hi.resize(n + 1);
    sums.above_lo.resize(n + 1);
    double* ah = sums.above_hi.data();
    double* al = sums.above_lo.data();
    {
        double h = 0.0;
        double l = 0.0;
        ah[n] = 0.0;
        al[n] = 0.0;
        for (std::size_t i = n; i-- > 0;) {
            const double x = law.p[i];
            const double s = h + x;
            const double v = s - h;
            l += (h - (s - v)) + (x - v);
            h = s;
            ah[i] = h;
            al[i] = l;
        }
    }
    for (std::size_t x = 0; x < m; ++x) {
        const std::size_t r = std::min(x, n - 1) + 1;
        const std::size_t l = x + 1 >= w ? x + 1 - w : 0;
        const double sum = bh[r] <= ah[l] ? difference(bh[r], bl[r], bh[l], bl[l]) : difference(ah[l], al[l], ah[r], al[r]);
        o[x] = sum * scale;
    }
}

DenseLaw add_uniform(const DenseLaw& law, std::int64_t first, std::int64_t width, bool symmetric) {
    DenseLaw out;
    RunningSums sums;
    add_uniform_into(law, first, width, symmetric, out, sums);
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
    // The shorter law outside, so the inner loop runs long and vectorises.
    const DenseLaw& outer = a.size() <= b.size() ? a : b;
    const DenseLaw& inner = a.size() <= b.size() ? b : a;
    DenseLaw out{a.lo + b.lo, std::vector<double>(a.size() + b.size() - 1, 0.0)};
    for (std::size_t i = 0; i < outer.size(); ++i) {
        const double x = outer.p[i];
        if (x == 0.0) continue;
        double* row = out.p.data() + i;
        const double* in = inner.p.data();
        for (std::size_t j = 0; j < inner.size(); ++j) row[j] += x * in[j];
    }
    return out;
}

}  // namespace pipwerk::detail
