#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pipwerk::detail {

// Weights of the whole numbers lo, lo + 1, ...: the working form of a dice
// term's distribution (sums and success counts are small whole numbers).
struct DenseLaw {
    std::int64_t lo = 0;
    std::vector<double> p;

    [[nodiscard]] static DenseLaw point(std::int64_t value, double weight) { return DenseLaw{value, {weight}}; }
    [[nodiscard]] bool empty() const noexcept { return p.empty(); }
    [[nodiscard]] std::size_t size() const noexcept { return p.size(); }
};

// Room in `law` for the values first .. last as well as its own; the new
// weights are zero. A law that will be added to all over its range is
// widened once, rather than moved each time it grows downwards.
void widen(DenseLaw& law, std::int64_t first, std::int64_t last);

// target += weight * (source shifted by `shift`); the target widens as needed.
// It and add_uniform run four doubles to an instruction where the processor
// has them (the same products and sums in the same order, so the same result).
void add_scaled(DenseLaw& target, const DenseLaw& source, double weight, std::int64_t shift);

// target += the sum of parts' weight * (law shifted by shift), element by
// element in the order given (so bit for bit as add_scaled one part after
// another), a block of the target at a time: many parts added into a law
// larger than the cache each read the block while it is in the cache.
struct ScaledLaw {
    const DenseLaw* law;
    double weight;
    std::int64_t shift;
};
void add_scaled_all(DenseLaw& target, std::span<const ScaledLaw> parts);

// The values add_scaled takes per step of work, as the budget counts it on
// every machine (a processor without four doubles to an instruction takes
// longer for the same steps).
inline constexpr std::uint64_t kValuesPerStep = 8;

// The law of X + U with U uniform on first .. first + width - 1, independent
// of X. Every output is a window sum of the input, read from double-double
// running sums from whichever end holds less mass, so small tails keep their
// relative precision. A symmetric input (a power of a box) needs only the
// running sums from below: the output is mirrored.
[[nodiscard]] DenseLaw add_uniform(const DenseLaw& law, std::int64_t first, std::int64_t width, bool symmetric);

// Room the running sums of add_uniform take, kept between calls so a loop of
// them allocates nothing.
struct RunningSums {
    std::vector<double> below, above, sink, blocks;
};

// How add_uniform shares the running sums of a law's `below` lowest and
// `above` highest values among four lanes: the pieces each end is cut into,
// as even as can be, every piece (but an end's last) at least `width` values
// long, so that a window reaches back at most into the piece before its own.
struct LaneSplit {
    std::size_t below, above;
};
[[nodiscard]] LaneSplit lane_split(std::size_t below, std::size_t above, std::size_t width) noexcept;

// add_uniform into `out` (whose storage is reused), with scratch room, and
// `lead` zero weights below it: room for what is added there next, so that
// adding it moves nothing.
void add_uniform_into(const DenseLaw& law, std::int64_t first, std::int64_t width, bool symmetric, DenseLaw& out,
                      RunningSums& sums, std::size_t lead = 0);

// The law of X + B with B one with probability `yes`, else zero (`no`).
[[nodiscard]] DenseLaw add_coin(const DenseLaw& law, double yes, double no);

// The law of X + Y for independent X and Y, by direct sums of products.
[[nodiscard]] DenseLaw convolve(const DenseLaw& a, const DenseLaw& b);

}  // namespace pipwerk::detail
