#include "dense_law.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

namespace pipwerk::detail {
namespace {

// Four doubles worked on together: one instruction for all four where the
// processor has 256-bit vectors, two otherwise.
using Quad = double __attribute__((vector_size(32)));

// One step of double-double running sums in four lanes: (h, l) += x.
[[gnu::always_inline]] inline void add_step(Quad& h, Quad& l, const Quad& x) noexcept {
    const Quad s = h + x;
    const Quad v = s - h;
    l += (h - (s - v)) + (x - v);
    h = s;
}

// A stretch of values whose running sums one lane takes, from zero:
// sums[2 * i] + sums[2 * i + 1] holds the sum of values[0 .. i), to about
// 2^-106 of itself. Each sum's two halves sit side by side, so a step stores
// one pair per lane.
struct Run {
    const double* values = nullptr;
    std::ptrdiff_t step = 1;  // -1 reads the values backwards
    std::size_t count = 0;
    double* sums = nullptr;
};

// The running sums of up to four runs side by side, a stretch at a time.
// Each step waits on the last (a chain of dependent adds), so four
// independent chains take little more time than one. A lane whose run is
// done goes on adding the zero at `zero` into `sink`, which has room for
// the most steps taken at once.
class Lanes {
public:
    Lanes(std::span<const Run> runs, const double* zero, double* sink) noexcept : zero_(zero), sink_(sink) {
        for (std::size_t k = 0; k < runs.size(); ++k) {
            lanes_[k] = runs[k];
            lanes_[k].sums[0] = lanes_[k].sums[1] = 0.0;
            left_ = std::max(left_, runs[k].count);
        }
    }

    // Takes up to `steps` more steps in every lane.
    [[gnu::always_inline]] void advance(std::size_t steps) noexcept {
        steps = std::min(steps, left_);
        left_ -= steps;
        while (steps > 0) {
            std::size_t m = steps;
            for (Run& lane : lanes_) {
                if (lane.count == 0) lane = Run{zero_, 0, ~std::size_t{0}, sink_};
                m = std::min(m, lane.count);
            }
            run(m);
            for (Run& lane : lanes_) {
                lane.count -= m;
                if (lane.values != zero_) {
                    lane.values += static_cast<std::ptrdiff_t>(m) * lane.step;
                    lane.sums += 2 * m;
                }
            }
            steps -= m;
        }
    }

private:
    [[gnu::always_inline]] void run(std::size_t m) noexcept {
        auto [v0, v1, v2, v3] = std::array{lanes_[0].values, lanes_[1].values, lanes_[2].values, lanes_[3].values};
        const auto [d0, d1, d2, d3] = std::array{lanes_[0].step, lanes_[1].step, lanes_[2].step, lanes_[3].step};
        const auto [s0, s1, s2, s3] =
            std::array{lanes_[0].sums + 2, lanes_[1].sums + 2, lanes_[2].sums + 2, lanes_[3].sums + 2};
        Quad h = h_;
        Quad l = l_;
        for (std::size_t i = 0; i < m; ++i) {
            add_step(h, l, Quad{*v0, *v1, *v2, *v3});
            v0 += d0;
            v1 += d1;
            v2 += d2;
            v3 += d3;
            const Quad even = __builtin_shufflevector(h, l, 0, 4, 2, 6);  // lanes 0 and 2
            const Quad odd = __builtin_shufflevector(h, l, 1, 5, 3, 7);   // lanes 1 and 3
            std::memcpy(s0 + 2 * i, &even, 16);
            std::memcpy(s1 + 2 * i, &odd, 16);
            std::memcpy(s2 + 2 * i, reinterpret_cast<const char*>(&even) + 16, 16);
            std::memcpy(s3 + 2 * i, reinterpret_cast<const char*>(&odd) + 16, 16);
        }
        h_ = h;
        l_ = l;
    }

    std::array<Run, 4> lanes_{};
    Quad h_ = {0.0, 0.0, 0.0, 0.0};
    Quad l_ = {0.0, 0.0, 0.0, 0.0};
    const double* zero_;
    double* sink_;
    std::size_t left_ = 0;
};

// (a_hi + a_lo) - (b_hi + b_lo), rounded once, for running sums a at or
// after b: a_hi >= b_hi >= 0, so the rounding error of a_hi - b_hi is found
// in two steps (|a_hi| >= |b_hi|).
inline double difference(double a_hi, double a_lo, double b_hi, double b_lo) noexcept {
    const double s = a_hi - b_hi;
    const double err = (a_hi - s) - b_hi;
    return s + (err + (a_lo - b_lo));
}

// o[dir * x] for x in [from, until): the sums of the windows of w inputs
// ending at x, times scale, of a law of n values, read from the running
// sums from below of its first min(until, n) values (pairs, as a Run holds
// them). Outputs for values read backwards are written backwards (dir -1).
// By ranges of x, so each loop is straight-line and vectorises: windows cut
// by the start, whole windows, windows cut by the end.
template <std::ptrdiff_t dir>
[[gnu::always_inline]] inline void windows_from_below(const double* sums, std::size_t n, std::size_t w,
                                                      std::size_t from, std::size_t until, double scale,
                                                      double* o) noexcept {
    const std::size_t cut = std::min(until, w - 1);  // x below this: the window starts at 0
    const std::size_t inside = std::min(until, n);   // x below this: it ends at x
    const auto bh = [sums](std::size_t i) { return sums[2 * i]; };
    const auto bl = [sums](std::size_t i) { return sums[2 * i + 1]; };
    std::size_t x = from;
    const auto at = [o](std::size_t i) -> double& { return o[dir * static_cast<std::ptrdiff_t>(i)]; };
    for (; x < std::min(cut, inside); ++x) at(x) = (bh(x + 1) + bl(x + 1)) * scale;
    for (; x < cut; ++x) at(x) = (bh(n) + bl(n)) * scale;
    for (; x < inside; ++x) at(x) = difference(bh(x + 1), bl(x + 1), bh(x + 1 - w), bl(x + 1 - w)) * scale;
    for (; x < until; ++x) at(x) = difference(bh(n), bl(n), bh(x + 1 - w), bl(x + 1 - w)) * scale;
}

// The first `count` values of one side of a law (from the bottom up, or from
// the top down) cut into up to four pieces, each summed from zero by a lane
// of its own. Piece j starts at value start[j]; its running sums, one more
// than its length, start at sums + 2 * (start[j] + j).
struct Pieces {
    std::size_t count = 0;
    std::size_t pieces = 0;
    std::array<std::size_t, 5> start{};
    double* sums = nullptr;

    // Cut into k pieces as even as can be.
    void cut(std::size_t k) {
        pieces = count == 0 ? 0 : k;
        for (std::size_t j = 0; j <= pieces; ++j) start[j] = count * j / std::max<std::size_t>(pieces, 1);
    }
    [[nodiscard]] std::size_t length(std::size_t j) const noexcept { return start[j + 1] - start[j]; }
    [[nodiscard]] double* piece_sums(std::size_t j) const noexcept { return sums + 2 * (start[j] + j); }
    // Room the sums take.
    [[nodiscard]] std::size_t room() const noexcept { return 2 * (count + pieces); }
};

// o[dir * x] for x in [0, end): windows_from_below for a law of n values whose
// running sums are taken in pieces, a stretch at a time: windows() gives
// the outputs of each piece's own values whose sums are done so far, and
// finish() the rest. Windows inside one piece need only its own sums; a
// window reaching back into the piece before adds the part that lies there.
template <std::ptrdiff_t dir>
class PieceWindows {
public:
    PieceWindows(const Pieces& side, std::size_t n, std::size_t w, std::size_t end, double scale, double* o) noexcept
        : side_(side), n_(n), w_(w), end_(end), scale_(scale), o_(o) {}

    // The outputs at local positions [from, until) of every piece, clipped to
    // the piece: their sums are done once `until` steps are.
    [[gnu::always_inline]] void windows(std::size_t from, std::size_t until) const noexcept {
        for (std::size_t j = 0; j < side_.pieces; ++j) {
            const std::size_t to = std::min(until, side_.length(j));
            if (from < to) piece(j, from, to);
        }
    }

    // Past the last piece's values (windows cut by the end), then the parts
    // of windows that lie in the piece before their own.
    [[gnu::always_inline]] void finish() const noexcept {
        if (side_.pieces == 0) return;
        const std::size_t last = side_.pieces - 1;
        const std::size_t last_end = end_ - side_.start[last];
        if (side_.length(last) < last_end) piece(last, side_.length(last), last_end);
        for (std::size_t j = 1; j < side_.pieces; ++j) {
            // The window ending at from + x starts at from + x + 1 - w, which
            // for x < w - 1 lies in piece j - 1 (at least w long).
            const std::size_t before = side_.length(j - 1);
            const double* ps = side_.piece_sums(j - 1);
            const std::size_t own = j == last ? last_end : side_.length(j);
            const std::size_t reach = std::min(w_ - 1, own);
            double* out = at(j);
            for (std::size_t x = 0; x < reach; ++x) {
                const std::size_t first = before + x + 1 - w_;
                const double part = difference(ps[2 * before], ps[2 * before + 1], ps[2 * first], ps[2 * first + 1]);
                out[dir * static_cast<std::ptrdiff_t>(x)] += part * scale_;
            }
        }
    }

private:
    [[gnu::always_inline]] void piece(std::size_t j, std::size_t from, std::size_t until) const noexcept {
        const bool last = j + 1 == side_.pieces;
        const std::size_t n = last ? n_ - side_.start[j] : side_.length(j);
        windows_from_below<dir>(side_.piece_sums(j), n, w_, from, until, scale_, at(j));
    }
    // The output of piece j's first value.
    [[nodiscard]] double* at(std::size_t j) const noexcept {
        return o_ + dir * static_cast<std::ptrdiff_t>(side_.start[j]);
    }

    const Pieces& side_;
    std::size_t n_, w_, end_;
    double scale_;
    double* o_;
};

// The first index at which the values from the start hold half the total,
// found from sums of blocks of sixteen, each summed in independent lanes and
// kept for the search (plain doubles are precise enough to choose a side).
[[gnu::always_inline]] inline std::size_t middle_of_mass(const double* values, std::size_t count,
                                                         std::vector<double>& blocks) {
    constexpr std::size_t kBlock = 16;
    blocks.resize(count / kBlock);
    double total = 0.0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const double* v = values + b * kBlock;
        const Quad sum = (Quad{v[0], v[1], v[2], v[3]} + Quad{v[4], v[5], v[6], v[7]}) +
                         (Quad{v[8], v[9], v[10], v[11]} + Quad{v[12], v[13], v[14], v[15]});
        blocks[b] = (sum[0] + sum[1]) + (sum[2] + sum[3]);
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

void widen(DenseLaw& law, std::int64_t first, std::int64_t last) {
    if (law.empty()) {
        law.lo = first;
        law.p.assign(static_cast<std::size_t>(last - first + 1), 0.0);
        return;
    }
    const std::int64_t law_last = law.lo + (static_cast<std::int64_t>(law.size()) - 1);
    if (first < law.lo) {
        law.p.insert(law.p.begin(), static_cast<std::size_t>(law.lo - first), 0.0);
        law.lo = first;
    }
    if (last > law_last) law.p.resize(static_cast<std::size_t>(last - law.lo + 1), 0.0);
}

#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
void add_scaled(DenseLaw& target, const DenseLaw& source, double weight, std::int64_t shift) {
    if (source.empty() || weight == 0.0) return;
    const std::int64_t first = source.lo + shift;
    widen(target, first, first + (static_cast<std::int64_t>(source.size()) - 1));
    double* out = target.p.data() + (first - target.lo);
    const double* in = source.p.data();
    for (std::size_t i = 0; i < source.size(); ++i) out[i] += weight * in[i];
}

#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
void add_scaled_all(DenseLaw& target, std::span<const ScaledLaw> parts) {
    const auto counts = [](const ScaledLaw& part) { return !part.law->empty() && part.weight != 0.0; };
    const auto first_of = [](const ScaledLaw& part) { return part.law->lo + part.shift; };
    std::int64_t first = 0;
    std::int64_t end = 0;  // one past the last value
    bool any = false;
    for (const ScaledLaw& part : parts) {
        if (!counts(part)) continue;
        const std::int64_t from = first_of(part);
        const std::int64_t to = from + static_cast<std::int64_t>(part.law->size());
        first = any ? std::min(first, from) : from;
        end = any ? std::max(end, to) : to;
        any = true;
    }
    if (!any) return;
    // The range add_scaled would widen the target to, one part at a time.
    widen(target, first, end - 1);
    constexpr std::int64_t kBlock = 1024;
    for (std::int64_t block = first; block < end; block += kBlock) {
        const std::int64_t block_end = std::min(end, block + kBlock);
        for (const ScaledLaw& part : parts) {
            if (!counts(part)) continue;
            const std::int64_t at = first_of(part);
            const std::int64_t from = std::max(at, block);
            const std::int64_t to = std::min(at + static_cast<std::int64_t>(part.law->size()), block_end);
            if (from >= to) continue;
            double* out = target.p.data() + (from - target.lo);
            const double* in = part.law->p.data() + (from - at);
            const double weight = part.weight;
            for (std::int64_t i = 0; i < to - from; ++i) out[i] += weight * in[i];
        }
    }
}

LaneSplit lane_split(std::size_t below, std::size_t above, std::size_t width) noexcept {
    const auto most = [width](std::size_t count) {
        return count == 0 ? 0 : std::clamp<std::size_t>(count / std::max<std::size_t>(width, 1), 1, 4);
    };
    const auto longest = [](std::size_t count, std::size_t pieces) {
        return pieces == 0 ? 0 : (count + pieces - 1) / pieces;
    };
    LaneSplit best{0, most(above)};
    for (std::size_t k = 1; k <= most(below); ++k) {
        const LaneSplit split{k, std::min(most(above), 4 - k)};
        if (above != 0 && split.above == 0) break;
        const std::size_t slowest = std::max(longest(below, split.below), longest(above, split.above));
        if (best.below == 0 || slowest < std::max(longest(below, best.below), longest(above, best.above))) best = split;
    }
    return best;
}

#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
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
    // The rest (none if symmetric: the upper half mirrors the lower) are the
    // lower outputs of the values reversed, from running sums taken from
    // the top down, so the upper tail keeps its relative precision too;
    // they are written from the top down.
    const std::size_t rest = symmetric ? 0 : m - end;
    Pieces below;
    Pieces above;
    below.count = std::min(end, n);
    above.count = std::min(rest, n);
    // A piece is at least a window long, so a window reaches back at most
    // one piece, and at least kShortestPiece long: a short law in many
    // pieces would spend more on setting them up than the lanes save.
    constexpr std::size_t kShortestPiece = 64;
    const LaneSplit split = lane_split(below.count, above.count, std::max(w, kShortestPiece));
    below.cut(split.below);
    above.cut(split.above);
    sums.below.resize(below.room());
    below.sums = sums.below.data();
    sums.above.resize(above.room());
    above.sums = sums.above.data();

    std::array<Run, 4> runs{};
    std::size_t lanes_used = 0;
    std::size_t longest = 0;
    for (std::size_t j = 0; j < below.pieces; ++j) {
        runs[lanes_used++] = Run{law.p.data() + below.start[j], 1, below.length(j), below.piece_sums(j)};
        longest = std::max(longest, below.length(j));
    }
    for (std::size_t j = 0; j < above.pieces; ++j) {
        runs[lanes_used++] = Run{law.p.data() + (n - 1 - above.start[j]), -1, above.length(j), above.piece_sums(j)};
        longest = std::max(longest, above.length(j));
    }
    // A stretch of sums at a time, each followed by the windows it allows,
    // so the sums are read back while they are still in cache.
    constexpr std::size_t kStretch = 512;
    static constexpr double kZero = 0.0;
    sums.sink.resize(2 * (std::min(kStretch, longest) + 1));
    Lanes lanes(std::span(runs.data(), lanes_used), &kZero, sums.sink.data());
    const PieceWindows<1> lower_windows(below, n, w, end, scale, o);
    const PieceWindows<-1> upper_windows(above, n, w, rest, scale, o + (m - 1));
    for (std::size_t done = 0; done < longest; done += kStretch) {
        lanes.advance(kStretch);
        lower_windows.windows(done, done + kStretch);
        upper_windows.windows(done, done + kStretch);
    }
    lower_windows.finish();
    upper_windows.finish();
    if (symmetric) {
        for (std::size_t x = end; x < m; ++x) o[x] = o[m - 1 - x];
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
