#include "pipwerk/sample.hpp"

#include <stdexcept>

#include "pipwerk/eval.hpp"
#include "pipwerk/number.hpp"
#include "pipwerk/parser/parser.hpp"
#include "pipwerk/rng.hpp"
#include "pipwerk/small_vector.hpp"
#include "pipwerk/text_buffer.hpp"

namespace pipwerk {

struct Sampler::State {
    ParseOutcome parse;
    // The evaluator writes the detail text whether or not anyone reads it;
    // a values-only evaluation belongs in evaluate() once the evaluator has one.
    TextBuffer detail{};
    SmallVector<Number, 8> numbers{};

    // Rolls the expression once into numbers.
    Result<void> evaluate(std::uint64_t seed) {
        Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(seed);
        detail.truncate(0);
        numbers.clear();
        if (const Result<bool> done = evaluate_into(parse.ast, *parse.expression, rng, detail, numbers); !done) {
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
