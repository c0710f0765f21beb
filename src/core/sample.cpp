#include "pipwerk/sample.hpp"

#include <optional>
#include <stdexcept>
#include <variant>

#include "eval.hpp"
#include "eval/rand_walk.hpp"
#include "eval/tree_walk.hpp"
#include "number.hpp"
#include "parser/parser.hpp"
#include "rng.hpp"
#include "roll.hpp"
#include "small_vector.hpp"

namespace pipwerk {

namespace {

// An expression that is one dice term, perhaps bracketed or signed ("4d6k3",
// "-(2d20kl1)"): read once, then each row is a roll of the term alone.
struct LoneTerm {
    DiceTerm term;
    bool negated = false;
};

std::optional<LoneTerm> lone_term(const ParseOutcome& parse) {
    if (!parse.expression) return std::nullopt;
    const detail::Unwrapped u = detail::unwrap(parse.ast, *parse.expression);
    const auto* ref = std::get_if<DiceRef>(&parse.ast[u.inner].node());
    if (ref == nullptr) return std::nullopt;
    return LoneTerm{.term = detail::term_of(parse.ast, *ref), .negated = u.negated};
}

}  // namespace

struct Sampler::State {
    ParseOutcome parse;
    std::optional<LoneTerm> lone = lone_term(parse);
    SmallVector<Number, 8> numbers{};
    RollResult pool{};

    // Rolls the expression once into numbers, building no text at all.
    Result<void> evaluate(std::uint64_t seed) {
        Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(seed);
        numbers.clear();
        if (lone) {
            if (Result<void> rolled = roll_with_modifiers_into(pool, rng, lone->term); !rolled) return rolled;
            const Number value = Number::make_int(term_value(pool, lone->term));
            numbers.push_back(lone->negated ? negate(value) : value);
            return {};
        }
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
        if (numbers.size() != width || out.size() - at < width) {
#if defined(__cpp_exceptions)
            throw std::logic_error("sample: row width changed");
#else
            __builtin_trap();
#endif
        }
        for (std::size_t i = 0; i < width; ++i) out[at + i] = numbers[i].to_double();
    }
    return {};
}

}  // namespace pipwerk
