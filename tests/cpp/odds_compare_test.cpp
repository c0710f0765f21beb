#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "odds_brute_force.hpp"
#include "pipwerk/odds.hpp"

namespace {

using pipwerk::OddsError;
using pipwerk_test::brute_force;
using pipwerk_test::BruteOdds;

bool close(double got, long double want) {
    return std::fabs(static_cast<long double>(got) - want) <= 1e-12L * std::max(want, 1e-300L);
}

long double error_total(const BruteOdds& law) {
    long double total = 0;
    for (const auto& [m, p] : law.errors) total += p;
    return total;
}

// The five chances of a contest, by going over every pair of outcomes of
// the two brute-force laws.
struct Contest {
    long double greater = 0, equal = 0, less = 0, failure = 0, unordered = 0;
};

// A side's outcomes, a NaN among them.
std::vector<std::pair<double, long double>> outcomes_of(const BruteOdds& law) {
    std::vector<std::pair<double, long double>> out;
    if (law.elements.empty()) return out;
    out.assign(law.elements[0].begin(), law.elements[0].end());
    if (!law.nan_chance.empty() && law.nan_chance[0] > 0) out.emplace_back(std::nan(""), law.nan_chance[0]);
    return out;
}

Contest contest_of(const BruteOdds& a, const BruteOdds& b) {
    Contest c;
    const long double fail_a = error_total(a);
    c.failure = fail_a + (1 - fail_a) * error_total(b);
    for (const auto& [x, px] : outcomes_of(a)) {
        for (const auto& [y, py] : outcomes_of(b)) {
            (std::isnan(x) || std::isnan(y) ? c.unordered : x > y ? c.greater : x == y ? c.equal : c.less) += px * py;
        }
    }
    return c;
}

// A number that overflows to infinity when squared.
const std::string kBig = "1" + std::string(300, '0') + ".0";
// 0 - 0, inf - 0, 0 - inf and inf - inf: -inf, 0, inf and NaN.
const std::string kInfinities = "(1d2 - 1) * " + kBig + " * " + kBig + " - (1d2 - 1) * " + kBig + " * " + kBig;

TEST(OddsCompare, AgreesWithEveryPairOfOutcomes) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"1d6", "1d6"},
        {"2d6", "1d12"},
        {"1d20+5", "2d10"},
        {"3d6k2", "1d8+1d4"},
        {"1d6/(1d2-1)", "1d4"},          // A may fail
        {"1d4", "1d6/(1d3-1)"},          // B may fail
        {"1d4*0.5", "1d2"},              // reals and ints meet
        {"-1d6", "1d6-7"},
        {kInfinities, "1d3"},  // -inf, 0, inf and NaN
        {"1d3", kInfinities},
        {kInfinities, kInfinities},  // a NaN on both sides: each such pair once
        {kInfinities, kInfinities + " / (1d2 - 1)"},
        {"5d2>=2", "1d6"},
        {"51d6", "1d6"},                 // A always fails
        {"1d6", "0d6"},                  // B always fails
        {"7", "1d10"},
    };
    for (const auto& [a, b] : pairs) {
        SCOPED_TRACE(a + " vs " + b);
        const auto brute_a = brute_force(a);
        const auto brute_b = brute_force(b);
        ASSERT_TRUE(brute_a && brute_b);
        const Contest want = contest_of(*brute_a, *brute_b);
        const auto got = pipwerk::compare(a, b);
        ASSERT_TRUE(got.has_value()) << got.error().message;
        EXPECT_TRUE(close(got->greater, want.greater)) << got->greater << " vs " << static_cast<double>(want.greater);
        EXPECT_TRUE(close(got->equal, want.equal)) << got->equal << " vs " << static_cast<double>(want.equal);
        EXPECT_TRUE(close(got->less, want.less)) << got->less << " vs " << static_cast<double>(want.less);
        EXPECT_TRUE(close(got->failure, want.failure)) << got->failure << " vs " << static_cast<double>(want.failure);
        EXPECT_TRUE(close(got->unordered, want.unordered))
            << got->unordered << " vs " << static_cast<double>(want.unordered);
        EXPECT_NEAR(got->greater + got->equal + got->less + got->failure + got->unordered, 1.0, 1e-15);
        // Twice -inf, 0, inf and NaN: 1 - (3/4)^2 of the pairs hold a NaN, exactly.
        if (a == kInfinities && b == kInfinities) {
            EXPECT_EQ(got->unordered, 0.4375);
        }
        // Swapping the sides swaps greater and less.
        const auto swapped = pipwerk::compare(b, a);
        ASSERT_TRUE(swapped.has_value());
        EXPECT_EQ(swapped->greater, got->less);
        EXPECT_EQ(swapped->less, got->greater);
    }
}

TEST(OddsCompare, RefusesWhatGivesNoSingleValue) {
    struct Case {
        const char *a, *b;
        OddsError::Kind kind;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"{1d6, 2}", "1d6", OddsError::Kind::NotComparable, "cannot compare a set: {1d6, 2}"},
        {"1d6", "3#1d6", OddsError::Kind::NotComparable, "cannot compare a set: 3#1d6"},
        {"abc", "1d6", OddsError::Kind::NotComparable, "cannot compare: nothing parsed in \"abc\""},
        {"1d6", "50d1000 * 50d1000", OddsError::Kind::TooLarge, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const auto got = pipwerk::compare(c.a, c.b);
        ASSERT_FALSE(got.has_value());
        EXPECT_EQ(got.error().kind, c.kind);
        if (c.message != nullptr) {
            EXPECT_EQ(got.error().message, c.message);
        }
    }
}

// The tails of the whole roll against sums over the brute-force law, at,
// between and beyond the outcomes.
TEST(OddsTails, AgreeWithTheBruteForceLaw) {
    for (const std::string& expression : {std::string("2d6"), std::string("1d6/(1d2-1)"), std::string("4d4k2 * 0.25"), kInfinities}) {
        SCOPED_TRACE(expression);
        const auto truth = brute_force(expression);
        ASSERT_TRUE(truth);
        const auto got = pipwerk::odds(expression);
        ASSERT_TRUE(got.has_value());
        std::vector<double> points = {-1e300, 1e300, std::nan("")};
        for (const auto& [v, p] : truth->elements[0]) {
            points.push_back(v);
            points.push_back(v + 0.125);
        }
        for (const double x : points) {
            long double most = 0, least = 0, equal = 0;
            for (const auto& [v, p] : truth->elements[0]) {
                most += v <= x ? p : 0;
                least += v >= x ? p : 0;
                equal += v == x ? p : 0;
            }
            if (std::isnan(x)) equal = truth->nan_chance[0];
            EXPECT_TRUE(close(got->at_most(x), most)) << x;
            EXPECT_EQ(got->cdf(x), got->at_most(x)) << x;
            EXPECT_TRUE(close(got->at_least(x), least)) << x;
            EXPECT_TRUE(close(got->pmf(x), equal)) << x;
        }
        EXPECT_EQ(got->at_least(0.0, 1), 0.0);  // no second element
    }
}

}  // namespace
