#include "pipwerk/sample.hpp"

#include <stdexcept>

#include "eval.hpp"
#include "number.hpp"
#include "parser/parser.hpp"
#include "rng.hpp"
#include "small_vector.hpp"

namespace pipwerk {

struct Sampler::State {
    ParseOutcome parse;
    SmallVector<Number, 8> numbers{};

    // Rolls the expression once into numbers, building no text at all.
    Result<void> evaluate(std::uint64_t seed) {
        Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(seed);
        numbers.clear();
        if (const Result<bool> done = evaluate_values(parse.ast, *parse.expression, rng, numbers); !done) {
            return std::unexpected(done.error());
        }
        return {};
    }
};

Sampler::Sampler(std::string_view expression) : state_(new State{.parse = Parser::parse(expression)}) {}
Sampler::~Sampler() = default;
Sampler::Sampler(Sampler&&) noexcept = default;
Sampler& Sampler::operator=(Sampler&&) noexcept = default;

bool Sampler::parsed() const noexcept { return state_->parse.success(); }
std::string_view Sampler::consumed() const noexcept { return state_->parse.consumed; }
std::string_view Sampler::tail() const noexcept { return state_->parse.tail; }

Result<void> Sampler::roll_row(std::uint64_t seed, std::vector<double>& row) {
    if (Result<void> done = state_->evaluate(seed); !done) return done;
    row.clear();
    for (const Number& n : state_->numbers) row.push_back(n.to_double());
    return {};
}

Result<void> Sampler::fill(std::uint64_t first, std::size_t width, std::span<double> out) {
    std::uint64_t seed = first;
    for (std::size_t at = 0; at < out.size(); at += width, ++seed) {  // the seed wraps past 2^64 - 1
        if (Result<void> done = state_->evaluate(seed); !done) return done;
        // The element count of a set is fixed by the expression's shape.
        const SmallVector<Number, 8>& numbers = state_->numbers;
        if (numbers.size() != width || out.size() - at < width) throw std::logic_error("sample: row width changed");
        for (std::size_t i = 0; i < width; ++i) out[at + i] = numbers[i].to_double();
    }
    return {};
}

std::uint64_t unseeded_base_seed() noexcept { return Xoroshiro128StarStar::clock_seed(); }

}  // namespace pipwerk
