#include "pipwerk/sample.hpp"

#include <stdexcept>

#include "pipwerk/eval.hpp"
#include "pipwerk/rng.hpp"

namespace pipwerk {

Sampler::Sampler(std::string_view expression) : parse_(Parser::parse(expression)) {}

Result<void> Sampler::evaluate(std::uint64_t seed) {
    Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(seed);
    detail_.truncate(0);
    numbers_.clear();
    if (const Result<bool> done = evaluate_into(parse_.ast, *parse_.expression, rng, detail_, numbers_); !done) {
        return std::unexpected(done.error());
    }
    return {};
}

Result<void> Sampler::roll_row(std::uint64_t seed, SmallVector<double, 8>& row) {
    if (Result<void> done = evaluate(seed); !done) return done;
    row.clear();
    row.reserve(numbers_.size());
    for (const Number& n : numbers_) row.push_back(n.to_double());
    return {};
}

Result<void> Sampler::fill(std::uint64_t first, std::size_t width, std::span<double> out) {
    std::uint64_t seed = first;
    for (std::size_t at = 0; at < out.size(); at += width, ++seed) {  // the seed wraps past 2^64 - 1
        if (Result<void> done = evaluate(seed); !done) return done;
        // The element count of a set is fixed by the expression's shape.
        if (numbers_.size() != width || out.size() - at < width) throw std::logic_error("sample: row width changed");
        for (std::size_t i = 0; i < width; ++i) out[at + i] = numbers_[i].to_double();
    }
    return {};
}

std::uint64_t unseeded_base_seed() noexcept { return Xoroshiro128StarStar::clock_seed(); }

}  // namespace pipwerk
