#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace pipwerk {

// One value a roll can give, with its probability. The value is the number
// as a roll's `values` give it: an Int to the nearest double, a Percent as
// its fraction.
struct Outcome {
    double value;
    double probability;
};

// An evaluation error a roll can end with, and its probability. The message
// is the one the roll reports ("division by zero").
struct ErrorChance {
    std::string message;
    double probability;
};

// The distribution of one number: distinct values in ascending order (0.0 and
// -0.0 count as one value, 0.0; a NaN comes last), each with a probability
// above zero. The probabilities are those of the whole roll, so with errors
// possible they add up to 1 minus the chance of an error.
using Distribution = std::vector<Outcome>;

// The exact odds of an expression under a uniformly random seed.
struct Odds {
    std::string consumed;  // as roll parses it
    std::string tail;
    bool parsed = false;   // false: nothing parsed, no distribution at all
    bool is_set = false;
    // A scalar: one distribution. A set: one per element, in order, each the
    // exact marginal of that element.
    std::vector<Distribution> elements;
    // The errors that can end the roll, most likely first (ties by message).
    // Together with the outcomes of any one element they add up to 1.
    std::vector<ErrorChance> errors;

    // The probabilities below of one element (0 for a scalar); 0 when there
    // is no such element.
    [[nodiscard]] double pmf(double x, std::size_t element = 0) const noexcept;
    [[nodiscard]] double at_most(double x, std::size_t element = 0) const noexcept;
    [[nodiscard]] double cdf(double x, std::size_t element = 0) const noexcept;
    [[nodiscard]] double at_least(double x, std::size_t element = 0) const noexcept;
};

// Probabilities of the whole roll, so a failing roll counts as giving no
// value: P(value == x) (a NaN matches a NaN), P(value <= x) (cdf is the same)
// and P(value >= x); a NaN outcome is never at most or at least anything.
[[nodiscard]] double pmf(const Distribution& distribution, double x) noexcept;
[[nodiscard]] double at_most(const Distribution& distribution, double x) noexcept;
[[nodiscard]] double cdf(const Distribution& distribution, double x) noexcept;
[[nodiscard]] double at_least(const Distribution& distribution, double x) noexcept;

// Why odds() gives no distribution.
struct OddsError {
    enum class Kind : std::uint8_t {
        Certain,   // every roll fails, with this message (as roll reports it)
        TooLarge,  // the exact computation would pass the work budget
        NotComparable,  // compare(): an expression that gives no single value
    };
    Kind kind;
    // Certain: the roll's message ("dice count exceeds maximum (51), max is 50").
    // TooLarge: "too large for exact odds: " and what is too large.
    std::string message;
};

template <class T>
using OddsResult = std::expected<T, OddsError>;

struct OddsOptions {
    // The work one call may do, in steps counted the same on every machine
    // (one pair of outcomes combined, one cell of a dice table filled, about
    // a nanosecond each), beside fixed bounds on the outcomes held, created
    // and returned; past it the call is refused as too large. The default
    // keeps any call to under a second on one core and under 256 MiB; within
    // the roll limits it refuses only some bonus terms keeping most of a large
    // pool of many-faced dice (docs/odds.md lists them).
    std::uint64_t work_budget = 600'000'000;
    // A large dice term may run half of its heaviest passes on a second
    // thread. This changes only the time: what is charged, what is accepted
    // and the result, bit for bit, are the same either way.
    bool parallel = true;
};

// Parses as roll does and gives the exact distribution of what roll would
// return. Text that parses nothing gives an Odds with parsed false and the
// tail; only certain errors and the budget fail.
[[nodiscard]] OddsResult<Odds> odds(std::string_view expression, const OddsOptions& options = {});

// Two expressions rolled independently, A against B: P(A > B), P(A = B) and
// P(A < B) with both rolls succeeding, and P(either fails). A NaN is neither
// greater, equal nor less than anything: such pairs make `unordered`. The
// five add up to 1. Values compare as the roll's values (doubles).
struct Comparison {
    double greater = 0.0;
    double equal = 0.0;
    double less = 0.0;
    double failure = 0.0;
    double unordered = 0.0;
};

// Parses each expression as roll does and compares their odds, within one
// work budget for both. A roll that always fails gives failure 1. A set, or
// a text that parses nothing, is NotComparable; the budget refuses as odds()
// does.
[[nodiscard]] OddsResult<Comparison> compare(std::string_view a, std::string_view b, const OddsOptions& options = {});

// How compare() words what it cannot answer, for a caller that shows it its
// own way; the defaults are compare()'s.
struct CompareTerms {
    // A side whose every roll fails is an error with the roll's message, as
    // odds() has it, rather than failure 1.
    bool certain_failure_is_error = false;
    // Appends the user's text that a refusal quotes; null: the text as it is.
    void (*quote)(std::string& out, std::string_view text) = nullptr;
};
[[nodiscard]] OddsResult<Comparison> compare(std::string_view a, std::string_view b, const OddsOptions& options,
                                             const CompareTerms& terms);

// Statistics of one distribution, of the value given that the roll succeeds
// (the outcomes renormalised to add up to 1), computed from the outcomes'
// doubles with sums carried in two doubles: the mean and variance of
// 2^62 + 1d6*1024 are exact to the last bit. The order is the outcomes'
// (a NaN last). No tolerance anywhere: probabilities are compared as stored.
struct OddsSummary {
    double mean;      // NaN when a NaN outcome is possible
    double variance;  // likewise; infinite with an infinite outcome
    double stdev;
    double min;     // the smallest and largest values that are not NaN
    double max;     // (NaN only when every outcome is NaN)
    double median;  // the smallest value v with P(<= v | success) >= 1/2
    double mode;    // the most likely value (the smallest of equals)
    double success; // P(no error): the sum of the outcomes' probabilities
};
// An empty distribution gives NaN for every statistic and success 0.
[[nodiscard]] OddsSummary summarize(const Distribution& distribution);

// The smallest value v with P(<= v | success) >= q, for q in (0, 1]; NaN for
// any other q or an empty distribution.
[[nodiscard]] double quantile(const Distribution& distribution, double q);
// The same for q = i / n exactly (0 < i <= n), as cut points are asked for:
// 0.66 is not 66/100 in a double, and a law may reach 66/100 exactly.
[[nodiscard]] double quantile(const Distribution& distribution, std::uint64_t i, std::uint64_t n);
// The most cut points the bindings give for one call (n - 1 of them for n
// groups): more than anyone reads, and few enough that the list stays small.
inline constexpr std::uint64_t max_quantiles = 1'000'000;

// What the bindings' odds objects say when asked for what they do not hold.
namespace messages {
inline constexpr std::string_view set_odds =
    "the odds of a set expression are per element: use elements[i] for the i-th element";
inline constexpr std::string_view nothing_parsed = "nothing was parsed: there are no outcomes";
inline constexpr std::string_view no_outcome = "every roll fails: there are no outcomes";
}  // namespace messages

// The picture of one expression's odds, as the command-line roller prints it:
// a header line per distribution (mean, sd, range), a row per outcome (or per
// range of values when there are many) with P(=), P(>=) and a bar, rows for
// the errors, and a block per element of a set; a run of identical elements
// (a repetition's) is one block marked with their number ("3#4d6k3 ×3").
// `label` names the expression in the header ("4d6k3: mean 12.24, sd 2.85,
// range 3 to 18"); a header longer than the width writes the range short
// ("3..18") and then cuts the label, so it stays on one line.
struct OddsTextOptions {
    // The narrowest and widest pictures drawn; a width outside is drawn at the nearer.
    static constexpr std::size_t min_width = 40;
    static constexpr std::size_t max_width = 1000;
    std::size_t width = 80;      // columns the lines may take
    bool ascii = false;          // '#' bars, "x3" and "..." instead of Unicode
    bool every_outcome = false;  // a row for every outcome, never ranges of them
};
[[nodiscard]] std::string render_odds(const Odds& odds, std::string_view label, const OddsTextOptions& options = {});

// The figures of A against B, as the command-line roller prints them under
// the two pictures (labels cut to fit the width):
//   A = 1d20+5, B = 2d10+4
//     P(A > B)   47.50%
//     P(A = B)    4.75%
//     P(A < B)   47.75%
// then the chance that either roll fails and that a NaN leaves the two
// unordered, each only when it can happen.
[[nodiscard]] std::string render_comparison(const Comparison& comparison, std::string_view a_label,
                                            std::string_view b_label, const OddsTextOptions& options = {});

// The blocks of the picture: each run of elements with the same outcomes and
// chances, bit for bit, as its first element and length (a scalar: {0, 1}).
struct PictureBlock {
    std::size_t first;
    std::size_t count;
};
[[nodiscard]] std::vector<PictureBlock> picture_blocks(const Odds& odds);

}  // namespace pipwerk
