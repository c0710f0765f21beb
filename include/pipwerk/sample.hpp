#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "pipwerk/error.hpp"
#include "pipwerk/pipwerk.hpp"  // unseeded_base_seed: the base seed of an unseeded run

namespace pipwerk {

// One expression rolled many times: parsed once, then evaluated once per row
// with consecutive seeds, keeping only the values. Row i of a run from seed s
// holds exactly the values roll(expression, seed = s + i mod 2^64) gives.
class Sampler {
public:
    // The most values one sample of the bindings holds (2^28: 2 GiB of
    // doubles); a larger request is refused before any roll.
    static constexpr std::uint64_t max_values = std::uint64_t{1} << 28;

    // Parses the expression, which must outlive the sampler.
    explicit Sampler(std::string_view expression);
    ~Sampler();
    Sampler(Sampler&&) noexcept;
    Sampler& operator=(Sampler&&) noexcept;

    [[nodiscard]] bool parsed() const noexcept;
    [[nodiscard]] std::string_view consumed() const noexcept;
    [[nodiscard]] std::string_view tail() const noexcept;

    // The values of one row, replacing what `row` held: one for a scalar, one
    // per element for a set (the same count on every row of an expression).
    // Needs parsed().
    [[nodiscard]] Result<void> roll_row(std::uint64_t seed, std::vector<double>& row);

    // Rows seeded first, first + 1, ... (mod 2^64), each `width` values wide,
    // written back to back over `out` (whose size is a multiple of width).
    // Stops at the first failing row with its error. Needs parsed().
    [[nodiscard]] Result<void> fill(std::uint64_t first, std::size_t width, std::span<double> out);

private:
    struct State;  // the parsed expression and the evaluator's scratch space
    std::unique_ptr<State> state_;
};


}  // namespace pipwerk
