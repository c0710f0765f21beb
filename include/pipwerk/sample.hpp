#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "pipwerk/error.hpp"
#include "pipwerk/number.hpp"
#include "pipwerk/parser/parser.hpp"
#include "pipwerk/small_vector.hpp"
#include "pipwerk/text_buffer.hpp"

namespace pipwerk {

// One expression rolled many times: parsed once, then evaluated once per row
// with consecutive seeds, keeping only the values. Row i of a run from seed s
// holds exactly the values roll(expression, seed = s + i mod 2^64) gives.
class Sampler {
public:
    // Parses the expression, which must outlive the sampler.
    explicit Sampler(std::string_view expression);

    [[nodiscard]] bool parsed() const noexcept { return parse_.success(); }
    [[nodiscard]] std::string_view consumed() const noexcept { return parse_.consumed; }
    [[nodiscard]] std::string_view tail() const noexcept { return parse_.tail; }

    // The values of one row, replacing what `row` held: one for a scalar, one
    // per element for a set (the same count on every row of an expression).
    // Needs parsed().
    [[nodiscard]] Result<void> roll_row(std::uint64_t seed, SmallVector<double, 8>& row);

    // Rows seeded first, first + 1, ... (mod 2^64), each `width` values wide,
    // written back to back over `out` (whose size is a multiple of width).
    // Stops at the first failing row with its error. Needs parsed().
    [[nodiscard]] Result<void> fill(std::uint64_t first, std::size_t width, std::span<double> out);

private:
    // Rolls the expression once into numbers_.
    [[nodiscard]] Result<void> evaluate(std::uint64_t seed);

    ParseOutcome parse_;
    // Scratch for the evaluator, reused by every row. The evaluator writes
    // the detail text whether or not anyone reads it; a values-only mode of
    // the evaluator belongs here once it exists.
    TextBuffer detail_;
    SmallVector<Number, 8> numbers_;
};

// The base seed of an unseeded run: the clock reading the unseeded roll is
// seeded from, so row 0 draws as an unseeded roll would.
[[nodiscard]] std::uint64_t unseeded_base_seed() noexcept;

}  // namespace pipwerk
