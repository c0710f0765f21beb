#include "dense_law.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pipwerk::detail {
namespace {

// Two doubles worked on together: one instruction for both on most targets.
using Pair = double __attribute__((vector_size(16)));

// One step of double-double running sums in two lanes: (h, l) += x.
inline void add_step(Pair& h, Pair& l, Pair x) noexcept {
    const Pair s = h + x;
    const Pair v = s - h;
    l += (h - (s - v)) + (x - v);
    h = s;
}

// Double-double running sums: hi[i] + lo[i] holds hi[0] + lo[0] (the sum
// so far) plus the first i values, to about 2^-106 of itself, the values
// being first[0], first[step], first[2 * step], ... (step -1 reads them
// backwards). The two halves of the values are summed side by side (each
// step waits on the last, so two chains run twice as fast), then the second
// half's sums are moved up by the first half's total.
template <std::ptrdiff_t step>
void running_sums(const double* first, std::size_t count, double* hi, double* lo) noexcept {
    const auto values = [first](std::size_t i) { return first[step * static_cast<std::ptrdiff_t>(i)]; };
    const std::size_t half = count / 2;
    Pair h = {hi[0], 0.0};
    Pair l = {lo[0], 0.0};
    for (std::size_t i = 0; i < half; ++i) {
        add_step(h, l, Pair{values(i), values(half + i)});
        hi[i + 1] = h[0];
        lo[i + 1] = l[0];
        hi[half + i + 1] = h[1];
        lo[half + i + 1] = l[1];
    }
    double h1 = h[1];
    double l1 = l[1];
    for (std::size_t i = 2 * half; i < count; ++i) {  // an odd last value
        const double x = values(i);
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

// Running sums from below of the first `below` values and from above of
// the last `above`, as running_sums gives them (from zero). The two ends are
// summed side by side as far as both go, then the longer goes on alone.
void running_sums_from_both_ends(const double* values, std::size_t count, std::size_t below, std::size_t above,
                                 double* below_hi, double* below_lo, double* above_hi, double* above_lo) noexcept {
    below_hi[0] = below_lo[0] = above_hi[0] = above_lo[0] = 0.0;
    const std::size_t both = std::min(below, above);
    const double* last = values + (count - 1);
    Pair h = {0.0, 0.0};
    Pair l = {0.0, 0.0};
    for (std::size_t i = 0; i < both; ++i) {
        add_step(h, l, Pair{values[i], *(last - i)});
        below_hi[i + 1] = h[0];
        below_lo[i + 1] = l[0];
        above_hi[i + 1] = h[1];
        above_lo[i + 1] = l[1];
    }
    if (below > both) running_sums<1>(values + both, below - both, below_hi + both, below_lo + both);
    if (above > both) running_sums<-1>(last - both, above - both, above_hi + both, above_lo + both);
}

// (a_hi + a_lo) - (b_hi + b_lo), rounded once.
inline double difference(double a_hi, double a_lo, double b_hi, double b_lo) noexcept {
    const double s = a_hi - b_hi;
    const double v = s - a_hi;
    const double err = (a_hi - (s - v)) + (-b_hi - v);
    return s + (err + (a_lo - b_lo));
}

// o[x] for x in [0, end): the sums of the windows of w inputs ending at x,
// times scale, of a law of n values, read from the running sums from below
// of its first min(end, n) values. By ranges of x, so each loop is
// straight-line and vectorises: windows cut by the start, whole windows,
// windows cut by the end.
inline void windows_from_below(const double* bh, const double* bl, std::size_t n, std::size_t w, std::size_t end,
                               double scale, double* o) noexcept {
    const std::size_t cut = std::min(end, w - 1);  // x below this: the window starts at 0
    const std::size_t inside = std::min(end, n);   // x below this: it ends at x
    std::size_t x = 0;
    for (; x < std::min(cut, inside); ++x) o[x] = (bh[x + 1] + bl[x + 1]) * scale;
    for (; x < cut; ++x) o[x] = (bh[n] + bl[n]) * scale;
    for (; x < inside; ++x) o[x] = difference(bh[x + 1], bl[x + 1], bh[x + 1 - w], bl[x + 1 - w]) * scale;
    for (; x < end; ++x) o[x] = difference(bh[n], bl[n], bh[x + 1 - w], bl[x + 1 - w]) * scale;
}

// The first index at which the values from the start hold half the total,
// found from sums of blocks of sixteen, each summed in independent lanes and
// kept for the search (plain doubles are precise enough to choose a side).
std::size_t middle_of_mass(const double* values, std::size_t count, std::vector<double>& blocks) {
    constexpr std::size_t kBlock = 16;
    blocks.resize(count / kBlock);
    double total = 0.0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const double* v = values + b * kBlock;
        Pair lanes[4] = {{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}, {v[6], v[7]}};
        for (std::size_t i = 8; i < kBlock; i += 8) {
            for (std::size_t k = 0; k < 4; ++k) lanes[k] += Pair{v[i + 2 * k], v[i + 2 * k + 1]};
        }
        const Pair sum = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
        blocks[b] = sum[0] + sum[1];
        total += blocks[b];
    }
    for (std::size_t i = blocks.size() * kBlock; i < count; ++i) total += values[i];
    const double half = total / 2;
    double below = 0.0;
    std::size_t i = 0;
    for (std::size_t b = 0; b < blocks.size() && below + blocks[b] < half; ++b) {
        below += blocks[b];
        i += kBlock;
    }
    for (; i < count; ++i) {
        below += values[i];
        if (below >= half) return i;
    }
    return count == 0 ? 0 : count - 1;
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
                      RunningSums& sums, std::size_t lead) {
    const std::size_t n = law.size();
    if (n == 0) {
        out.p.clear();
        return;
    }
    const auto w = static_cast<std::size_t>(width);
    const std::size_t m = n + w - 1;
    out.lo = law.lo + first - static_cast<std::int64_t>(lead);
    out.p.resize(lead + m);
    std::fill_n(out.p.begin(), lead, 0.0);
    double* o = out.p.data() + lead;
    const double scale = 1.0 / static_cast<double>(width);
    // Output x sums the inputs l(x) .. r(x): l = max(0, x + 1 - w), r = min(x, n - 1).
    // Outputs up to `end` come from running sums from below, where they are
    // small next to the windows they give.
    const std::size_t end = symmetric ? (m + 1) / 2 : std::min(m, middle_of_mass(law.p.data(), n, sums.blocks) + w / 2);
    const std::size_t needed = std::min(end, n);
    if (symmetric) {  // the upper half mirrors the lower
        sums.below.resize(2 * needed + 2);
        double* below_hi = sums.below.data();
        double* below_lo = below_hi + needed + 1;
        below_hi[0] = below_lo[0] = 0.0;
        running_sums<1>(law.p.data(), needed, below_hi, below_lo);
        windows_from_below(below_hi, below_lo, n, w, end, scale, o);
        for (std::size_t x = end; x < m; ++x) o[x] = o[m - 1 - x];
        return;
    }
    // The rest are the lower outputs of the values reversed, from running
    // sums taken from the top down, so the upper tail keeps its relative
    // precision too.
    const std::size_t rest = m - end;
    const std::size_t needed_above = std::min(rest, n);
    sums.below.resize(2 * needed + 2);
    sums.above.resize(2 * needed_above + 2 + rest);
    double* below_hi = sums.below.data();
    double* below_lo = below_hi + needed + 1;
    double* above_hi = sums.above.data();
    double* above_lo = above_hi + needed_above + 1;
    double* upper = above_lo + needed_above + 1;
    running_sums_from_both_ends(law.p.data(), n, needed, needed_above, below_hi, below_lo, above_hi, above_lo);
    windows_from_below(below_hi, below_lo, n, w, end, scale, o);
    windows_from_below(above_hi, above_lo, n, w, rest, scale, upper);
    std::reverse_copy(upper, upper + rest, o + end);
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
