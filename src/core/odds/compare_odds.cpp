#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

#include "compensated_sum.hpp"
#include "eval/tree_walk.hpp"
#include "expression_odds.hpp"
#include "parser/parser.hpp"
#include "pipwerk/odds.hpp"
#include "spend_forecast.hpp"
#include "work_budget.hpp"

// Two independent rolls: every pair of outcomes has the product of their
// probabilities, so P(A > B) = sum over a of P(A = a) P(B < a), read in one
// sweep of both ascending lists.

namespace pipwerk {
namespace {

using detail::CompensatedSum;
using detail::TwoDouble;

// One side: its outcomes and the chance its roll fails.
struct Side {
    Distribution outcomes;
    double failure = 1.0;
    double ok = 0.0;   // the outcomes' sum
    double nan = 0.0;  // P(NaN)
};

// A refusal that quotes the user's text, in the caller's way of quoting it.
OddsError not_comparable(std::string_view before, std::string_view text, std::string_view after,
                         const CompareTerms& terms) {
    std::string message(before);
    if (terms.quote != nullptr) {
        terms.quote(message, text);
    } else {
        message += text;
    }
    message += after;
    return {OddsError::Kind::NotComparable, std::move(message)};
}

OddsResult<Side> side_of(std::string_view text, const ParseOutcome& parsed, detail::WorkBudget& budget,
                         const CompareTerms& terms) {
    OddsResult<Odds> odds = detail::odds_of_parsed(parsed, budget);
    Side side;
    if (!odds) {
        if (odds.error().kind == OddsError::Kind::Certain && !terms.certain_failure_is_error) return side;
        return std::unexpected(odds.error());
    }
    if (!odds->parsed) {
        return std::unexpected(not_comparable("cannot compare: nothing parsed in \"", text, "\"", terms));
    }
    if (odds->is_set) return std::unexpected(not_comparable("cannot compare a set: ", odds->consumed, "", terms));
    CompensatedSum failure;
    for (const ErrorChance& e : odds->errors) failure.add(e.probability);
    side.failure = failure.value();
    side.outcomes = std::move(odds->elements.front());
    CompensatedSum ok;
    for (const Outcome& o : side.outcomes) {
        ok.add(o.probability);
        if (std::isnan(o.value)) side.nan += o.probability;
    }
    side.ok = ok.value();
    return side;
}

// sum over x's values v of P(X = v) P(Y < v), NaNs left out.
double below(const Distribution& x, const Distribution& y) {
    CompensatedSum sum;
    CompensatedSum y_below;  // P(Y < v), growing with v
    std::size_t j = 0;
    for (const Outcome& o : x) {
        if (std::isnan(o.value)) break;
        while (j < y.size() && !std::isnan(y[j].value) && y[j].value < o.value) y_below.add(y[j++].probability);
        sum.add(TwoDouble{o.probability, 0.0} * y_below.total());
    }
    return sum.value();
}

double equal(const Distribution& x, const Distribution& y) {
    CompensatedSum sum;
    std::size_t j = 0;
    for (const Outcome& o : x) {
        if (std::isnan(o.value)) break;
        while (j < y.size() && !std::isnan(y[j].value) && y[j].value < o.value) ++j;
        if (j < y.size() && y[j].value == o.value) sum.add(detail::two_product(o.probability, y[j].probability));
    }
    return sum.value();
}

}  // namespace

OddsResult<Comparison> compare(std::string_view a, std::string_view b, const OddsOptions& options) {
    return compare(a, b, options, CompareTerms{});
}

OddsResult<Comparison> compare(std::string_view a, std::string_view b, const OddsOptions& options,
                               const CompareTerms& terms) {
    detail::WorkBudget budget(options.work_budget, options.parallel);
    const ParseOutcome a_parsed = Parser::parse(a);
    const ParseOutcome b_parsed = Parser::parse(b);
    // Both walks are forecast before either runs: B's share can refuse
    // before A's work is done. B is walked only when A gives a single value.
    detail::SpendForecast forecast(budget);
    if (a_parsed.expression) {
        if (auto ok = forecast.add(a_parsed.ast, *a_parsed.expression); !ok) return std::unexpected(ok.error());
        if (detail::level_of(a_parsed.ast, *a_parsed.expression) != 2 && b_parsed.expression) {
            if (auto ok = forecast.add(b_parsed.ast, *b_parsed.expression); !ok) return std::unexpected(ok.error());
        }
    }
    OddsResult<Side> left = side_of(a, a_parsed, budget, terms);
    if (!left) return std::unexpected(left.error());
    OddsResult<Side> right = side_of(b, b_parsed, budget, terms);
    if (!right) return std::unexpected(right.error());
    // Three sweeps over both lists.
    const std::uint64_t sweep = 3 * (std::uint64_t{left->outcomes.size()} + right->outcomes.size());
    if (auto ok = budget.charge(sweep, "a comparison"); !ok) return std::unexpected(ok.error());
    Comparison c;
    c.failure = (TwoDouble{left->failure, 0.0} + detail::two_product(left->ok, right->failure)).value();
    c.greater = below(left->outcomes, right->outcomes);
    c.less = below(right->outcomes, left->outcomes);
    c.equal = equal(left->outcomes, right->outcomes);
    c.unordered = (detail::two_product(left->nan, right->ok) + detail::two_product(left->ok - left->nan, right->nan))
                      .value();
    // Outcomes summed from many parts can add up to a hair above 1.
    for (double* p : {&c.greater, &c.equal, &c.less, &c.failure, &c.unordered}) *p = std::min(*p, 1.0);
    return c;
}

}  // namespace pipwerk
