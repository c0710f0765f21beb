// The budget is the same on every machine and with or without the second
// thread: a scan of shapes near its limit gets the same answer, and the
// same bits, with OddsOptions::parallel on and off.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "odds/expression_odds.hpp"
#include "odds/spend_forecast.hpp"
#include "odds/work_budget.hpp"
#include "parser/parser.hpp"
#include "pipwerk/odds.hpp"

namespace {

using pipwerk::detail::WorkBudget;

constexpr std::uint64_t kPlenty = std::uint64_t{1} << 40;

// What a call spends with all the budget it wants.
std::uint64_t need_of(const std::string& expression) {
    WorkBudget budget(kPlenty, false);
    const auto got = pipwerk::detail::odds_within(expression, budget);
    EXPECT_TRUE(got.has_value()) << expression;
    return kPlenty - budget.left();
}

void expect_same(const pipwerk::OddsResult<pipwerk::Odds>& a, const pipwerk::OddsResult<pipwerk::Odds>& b) {
    ASSERT_EQ(a.has_value(), b.has_value());
    if (!a) {
        EXPECT_EQ(a.error().message, b.error().message);
        return;
    }
    ASSERT_EQ(a->elements.size(), b->elements.size());
    for (std::size_t e = 0; e < a->elements.size(); ++e) {
        ASSERT_EQ(a->elements[e].size(), b->elements[e].size());
        for (std::size_t i = 0; i < a->elements[e].size(); ++i) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(a->elements[e][i].value),
                      std::bit_cast<std::uint64_t>(b->elements[e][i].value));
            ASSERT_EQ(std::bit_cast<std::uint64_t>(a->elements[e][i].probability),
                      std::bit_cast<std::uint64_t>(b->elements[e][i].probability));
        }
    }
}

TEST(OddsBudget, ParallelChangesNoAnswerNearTheLimit) {
    // Terms whose passes are cut in two, a set step, a chain, a product:
    // each at budgets just around what it spends.
    const std::vector<std::string> shapes = {
        "40d400k20",        "40d300b250k38", "40d300b60kl38", "45d600b500k44", "30d1000b900k29 + 1d6",
        "{3d6, 4d8} * 2d10", "1d6+1d6+1d6+1d6", "1d100 * 1d100", "2#20d20k10",
    };
    for (const std::string& shape : shapes) {
        SCOPED_TRACE(shape);
        const std::uint64_t need = need_of(shape);
        for (const std::uint64_t budget : {need - 1, need, need + need / 100, need - need / 100}) {
            const auto one = pipwerk::odds(shape, pipwerk::OddsOptions{.work_budget = budget, .parallel = false});
            const auto two = pipwerk::odds(shape, pipwerk::OddsOptions{.work_budget = budget, .parallel = true});
            expect_same(one, two);
        }
        // One step short is refused, in both modes.
        EXPECT_FALSE(pipwerk::odds(shape, pipwerk::OddsOptions{.work_budget = need - 1, .parallel = true}).has_value());
    }
}

// Refusals that sizes known up front decide come before the heavy work,
// and name the whole of what is too large, not its last step.
TEST(OddsBudget, RefusalsKnownUpFrontNameTheTotal) {
    struct Case {
        std::string expression;
        std::string message;
    };
    const std::string ten_thousand = [] {
        std::string s = "{4d1000";
        for (int i = 1; i < 10'000; ++i) s += ", 4d1000";
        return s + "}";
    }();
    const std::string long_sum = [] {
        std::string s = "1d6";
        for (int i = 1; i < 10'000; ++i) s += "+1d6";
        return s;
    }();
    const std::string many_ones = [] {
        std::string s = "{1";
        for (int i = 1; i < 600'000; ++i) s += ", 1";
        return s + "}";
    }();
    const std::string chain_of_sets = [] {
        std::string set = "{0";
        for (int i = 1; i < 1000; ++i) set += ", " + std::to_string(i);
        set += "}";
        std::string s = set;
        for (int i = 1; i < 600; ++i) s += " + " + set;
        return s;
    }();
    const std::vector<Case> cases = {
        {ten_thousand, "too large for exact odds: 10000 set elements of 3997 outcomes each"},
        {"10#50d1000 * 50d1000", "too large for exact odds: 10 set elements, each a product of 49951 by 49951 outcomes"},
        {"50d1000 * 50d1000", "too large for exact odds: a product of 49951 by 49951 outcomes"},
        {long_sum, "too large for exact odds: a chain of 9999 sums and differences growing to 50001 outcomes"},
        {"{20d1000, 20d999} * {1d1000, 1d999}",
         "too large for exact odds: 2 set elements, products of 39922039 pairs of outcomes in all"},
        {many_ones, "too large for exact odds: 600000 set elements in all"},
        {chain_of_sets, "too large for exact odds: 586000 set elements in all"},
        // Nothing in proportion to a term's faces before it is charged: a
        // table of faces, a walk over them, or a law too large to hold.
        {"d100000000b1k3>3", "too large for exact odds: a dice term of 100000000 faces with a bonus (at most 1000)"},
        {"2d3000000b4000000k1", "too large for exact odds: a dice term of 3000000 faces keeping some (at most 1000)"},
        {"2d3000000b4000000",
         "too large for exact odds: a dice term of 5999999 outcomes, beside 0 outcomes already held (at most 4194304)"},
        {"30d5000000b6000000", "too large for exact odds: a dice term of 30 dice of 5000000 faces with a bonus"},
        // Work the terms' sizes decide, after work that would fit: refused first.
        {"49d1000b500k48 - 49d1000b500k48", "too large for exact odds: a product of 47953 by 47953 outcomes"},
        {"49d1000b500k48 + 49d1000b501k48",
         "too large for exact odds: a dice term of 49 dice of 1000 faces with a bonus keeping the highest 48"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression.substr(0, 40));
        const std::uint64_t full = pipwerk::OddsOptions{}.work_budget;
        WorkBudget budget(full, true);
        const auto got = pipwerk::detail::odds_within(c.expression, budget);
        ASSERT_FALSE(got.has_value());
        EXPECT_EQ(got.error().message, c.message);
        // Refused before the step it names: most of the budget is left.
        EXPECT_GT(budget.left(), full / 2);
    }
}

// What is returned is bounded over all the elements: a set of many equal
// large elements is refused by its total, naming it.
TEST(OddsBudget, ReturnedSizeIsBounded) {
    std::string set = "{50d6";
    for (int i = 1; i < 20'000; ++i) set += ", 50d6";
    set += "}";
    const auto got = pipwerk::odds(set);
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error().message, "too large for exact odds: 20000 set elements of 251 outcomes each");
    // Under the bound: every element, equal and bit for bit the same.
    const auto fewer = pipwerk::odds("{50d6, 50d6, 50d6, 49d6 + 1d6}");
    ASSERT_TRUE(fewer.has_value());
    ASSERT_EQ(fewer->elements.size(), 4u);
    for (std::size_t e = 1; e < 3; ++e) {
        ASSERT_EQ(fewer->elements[e].size(), fewer->elements[0].size());
        for (std::size_t i = 0; i < fewer->elements[0].size(); ++i) {
            EXPECT_EQ(fewer->elements[e][i].probability, fewer->elements[0][i].probability);
        }
    }
}

// compare() forecasts both walks before either runs: B's term is refused
// before A's is built.
TEST(OddsBudget, CompareRefusesBeforeEitherSideIsWorkedOut) {
    const pipwerk::ParseOutcome a = pipwerk::Parser::parse("49d1000b500k48");
    const pipwerk::ParseOutcome b = pipwerk::Parser::parse("49d1000b500k48 + 1");
    const WorkBudget budget(pipwerk::OddsOptions{}.work_budget);
    pipwerk::detail::SpendForecast forecast(budget);
    ASSERT_TRUE(forecast.add(a.ast, *a.expression).has_value());
    const auto both = forecast.add(b.ast, *b.expression);
    ASSERT_FALSE(both.has_value());
    EXPECT_EQ(both.error().message, "too large for exact odds: a dice term of 49 dice of 1000 faces with a bonus keeping the highest 48");
    const auto got = pipwerk::compare("49d1000b500k48", "49d1000b500k48 + 1");
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error().message, both.error().message);
}

// The forecast counts no more than the walk spends: around what each
// expression needs, a call refuses exactly when the walk alone would.
TEST(OddsBudget, ForecastRefusesOnlyWhatTheWalkWould) {
    const std::vector<std::string> shapes = {
        "40d400k20 - 40d400k20", "1d6 + 40d400k21 - 40d400k20", "1d6/(3d6>7) + 40d400k20", "1d6/(3d6>5) + 40d400k20", "-(30d300k15) - 30d300k15",
        "{1, 2, 3} * 40d400k20", "{0, 1, 2} + {1, 2} + 30d300k15", "10#(40d400k20 + 1d6)", "(1d100*1d100) + 40d400k20",
        "40d400k20 / (1d2 - 1) + 40d400k21", "{40d400k20, 40d400k20, 40d400k21}", "1d20 + 40d300b250k38",
    };
    for (const std::string& shape : shapes) {
        SCOPED_TRACE(shape);
        const pipwerk::ParseOutcome parsed = pipwerk::Parser::parse(shape);
        WorkBudget plenty(kPlenty, false);
        (void)pipwerk::detail::odds_of_parsed(parsed, plenty);  // what it spends, failing or not
        const std::uint64_t need = kPlenty - plenty.left();
        for (const std::uint64_t steps : {need, need - 1, need / 2, need / 4, need / 16}) {
            WorkBudget with(steps, false);
            WorkBudget without(steps, false);
            const auto forecast = pipwerk::detail::odds_within(shape, with);
            const auto walk = pipwerk::detail::odds_of_parsed(parsed, without);
            ASSERT_EQ(forecast.has_value(), walk.has_value()) << steps;
            if (!walk) {
                EXPECT_EQ(forecast.error().message, walk.error().message) << steps;
            }
        }
    }
}

// What each kind of work is charged, pinned in steps: expressions just
// under and just over a budget, so that halving or doubling a charge (a
// far or a near pair of outcomes, a new outcome, a convolved pair, a set
// element) turns a verdict.
TEST(OddsBudget, ChargesArePinnedInSteps) {
    struct Case {
        std::string expression;
        std::uint64_t budget;
        bool accepted;
    };
    const std::uint64_t full = pipwerk::OddsOptions{}.work_budget;
    const std::vector<Case> cases = {
        {"3d1000*1.0 + 3d1000*1.0", full, true},  // 575.8 M: 8988004 far pairs
        {"4d1000*1.0 + 4d1000*1.0", full, false},  // 1023.3 M
        {"35d1000 + 35d1000", full, false},        // 611.9 M: convolved pairs
        {"10d1000 + 10d1000", 50'500'000, true},  // 50.0 M
        {"10d1000 + 10d1000", 49'500'000, false},
        {"(1d200*1d200)/1/1/1", 6'650'000, true},  // 6.60 M: near pairs and new outcomes
        {"(1d200*1d200)/1/1/1", 6'550'000, false},
        {"{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}", 10'300, true},  // 10260: set elements
        {"{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}", 10'200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression + " within " + std::to_string(c.budget));
        EXPECT_EQ(pipwerk::odds(c.expression, pipwerk::OddsOptions{.work_budget = c.budget}).has_value(), c.accepted);
    }
}

}  // namespace
