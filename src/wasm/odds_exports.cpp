// Exact odds for JavaScript: the distribution of each element, the error rows,
// and the statistics the core computes.
#include <iterator>
#include <optional>
#include <string>

#include "exchange.hpp"
#include "pipwerk/odds.hpp"

using namespace pipwerk;
using namespace pipwerk::wasm;

namespace {

// The last odds: read element by element until the next call.
std::optional<Odds> last_odds;
Distribution scratch;

}  // namespace

// The odds of the first `length` bytes of the input. kOk: the exchange holds
// consumed, tail, the flags and the counts of elements and errors;
// kOddsTooLarge or kEngineError (every roll fails): the text is the message.
PIPWERK_EXPORT("pw_odds") std::int32_t pw_odds(std::uint32_t length) {
    last_odds.reset();
    OddsResult<Odds> result = odds(input(length));
    if (!result) {
        return fail(result.error().kind == OddsError::Kind::TooLarge ? kOddsTooLarge : kEngineError,
                    std::move(result.error().message));
    }
    const Odds& odds = last_odds.emplace(std::move(*result));
    Exchange& out = exchange();
    set_span(kConsumedPtr, kConsumedLen, odds.consumed);
    set_span(kTailPtr, kTailLen, odds.tail);
    out.words[kFlags] = (odds.parsed ? kParsed : 0u) | (odds.is_set ? kIsSet : 0u);
    out.words[kElements] = static_cast<std::uint32_t>(odds.elements.size());
    out.words[kErrors] = static_cast<std::uint32_t>(odds.errors.size());
    return kOk;
}

// Element i's outcomes as (value, probability) pairs of doubles.
PIPWERK_EXPORT("pw_odds_element") void pw_odds_element(std::uint32_t i) {
    const Distribution& distribution = last_odds->elements[i];
    static_assert(sizeof(Outcome) == 2 * sizeof(double));
    set_doubles(&distribution.data()->value, 2 * distribution.size());
}

// Error row i: its message as the text, its probability as numbers[0].
PIPWERK_EXPORT("pw_odds_error") void pw_odds_error(std::uint32_t i) {
    const ErrorChance& error = last_odds->errors[i];
    set_text(error.message);
    exchange().numbers[0] = error.probability;
}

// Element i's statistics in numbers[0..7]: mean, variance, stdev, min, max,
// median, mode, P(success). The element has at least one outcome.
PIPWERK_EXPORT("pw_odds_summary") void pw_odds_summary(std::uint32_t i) {
    const OddsSummary s = summarize(last_odds->elements[i]);
    double* n = exchange().numbers;
    n[0] = s.mean;
    n[1] = s.variance;
    n[2] = s.stdev;
    n[3] = s.min;
    n[4] = s.max;
    n[5] = s.median;
    n[6] = s.mode;
    n[7] = s.success;
}

// Room for a distribution of `count` outcomes, written by JavaScript as
// (value, probability) pairs: the odds it keeps are handed back this way.
PIPWERK_EXPORT("pw_distribution") std::uint32_t pw_distribution(std::uint32_t count) {
    scratch.resize(count);
    return address(scratch.data());
}

// The probabilities and cut points of the distribution in pw_distribution's room.
PIPWERK_EXPORT("pw_pmf") double pw_pmf(double x) { return pmf(scratch, x); }
PIPWERK_EXPORT("pw_at_most") double pw_at_most(double x) { return at_most(scratch, x); }
PIPWERK_EXPORT("pw_at_least") double pw_at_least(double x) { return at_least(scratch, x); }
// The smallest value v with P(<= v | success) >= q, for q in (0, 1].
PIPWERK_EXPORT("pw_quantile") double pw_quantile(double q) { return quantile(scratch, q); }

// A against B, the two texts back to back in the input: numbers[0..4] hold
// P(A > B), P(A = B), P(A < B), P(either fails) and P(unordered: a NaN).
PIPWERK_EXPORT("pw_compare") std::int32_t pw_compare(std::uint32_t length_a, std::uint32_t length_b) {
    const std::string_view both = input(length_a + length_b);
    OddsResult<Comparison> result = compare(both.substr(0, length_a), both.substr(length_a));
    if (!result) {
        return fail(result.error().kind == OddsError::Kind::TooLarge ? kOddsTooLarge : kEngineError,
                    std::move(result.error().message));
    }
    double* n = exchange().numbers;
    n[0] = result->greater;
    n[1] = result->equal;
    n[2] = result->less;
    n[3] = result->failure;
    n[4] = result->unordered;
    return kOk;
}

// The most cut points one call of quantiles gives.
PIPWERK_EXPORT("pw_max_quantiles") double pw_max_quantiles() { return static_cast<double>(max_quantiles); }

// A Message as the text.
PIPWERK_EXPORT("pw_message") void pw_message(std::uint32_t message) {
    constexpr std::string_view kTexts[] = {messages::set_odds, messages::nothing_parsed, messages::no_outcome};
    static_assert(std::size(kTexts) == kNoOutcome + 1);
    set_text(message < std::size(kTexts) ? kTexts[message] : std::string_view());
}
