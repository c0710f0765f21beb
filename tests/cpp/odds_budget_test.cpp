// The budget is the same on every machine and with or without the second
// thread: a scan of shapes near its limit gets the same answer, and the
// same bits, with OddsOptions::parallel on and off.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "odds/expression_odds.hpp"
#include "odds/work_budget.hpp"
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
    const std::vector<Case> cases = {
        {ten_thousand, "too large for exact odds: 10000 set elements of 3997 outcomes each"},
        {"10#50d1000 * 50d1000", "too large for exact odds: 10 set elements, each a product of 49951 by 49951 outcomes"},
        {"50d1000 * 50d1000", "too large for exact odds: a product of 49951 by 49951 outcomes"},
        {long_sum, "too large for exact odds: a chain of 9999 sums and differences growing to 50001 outcomes"},
        {"{20d1000, 20d999} * {1d1000, 1d999}",
         "too large for exact odds: 2 set elements, products of 39922039 pairs of outcomes in all"},
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

}  // namespace
