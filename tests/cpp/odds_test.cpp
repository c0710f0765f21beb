#include <gtest/gtest.h>
#include <pthread.h>

#include <optional>

#include <cstdint>
#include <string_view>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "odds_brute_force.hpp"
#include "pipwerk/odds.hpp"
#include "parser/parser.hpp"

namespace {

using pipwerk::Distribution;
using pipwerk::Odds;
using pipwerk::OddsError;
using pipwerk_test::brute_force;
using pipwerk_test::BruteOdds;

constexpr double kRelative = 1e-12;

bool close(double got, long double want) {
    return std::fabs(static_cast<long double>(got) - want) <= kRelative * want;
}

// The engine's answer against the brute-force law: the same values, errors
// and messages, every probability within 1e-12 relative.
void expect_matches(const std::string& expression, const BruteOdds& truth) {
    SCOPED_TRACE(expression);
    const auto got = pipwerk::odds(expression);
    long double error_total = 0;
    for (const auto& [m, p] : truth.errors) error_total += p;
    if (truth.elements.empty() && truth.errors.size() == 1) {
        ASSERT_FALSE(got.has_value());
        EXPECT_EQ(got.error().kind, OddsError::Kind::Certain);
        EXPECT_EQ(got.error().message, truth.errors.begin()->first);
        return;
    }
    ASSERT_TRUE(got.has_value()) << got.error().message;
    EXPECT_TRUE(got->parsed);
    EXPECT_EQ(got->is_set, truth.is_set);
    ASSERT_EQ(got->errors.size(), truth.errors.size());
    for (const auto& e : got->errors) {
        ASSERT_TRUE(truth.errors.contains(e.message)) << e.message;
        EXPECT_TRUE(close(e.probability, truth.errors.at(e.message)))
            << e.message << ": " << e.probability << " vs " << static_cast<double>(truth.errors.at(e.message));
    }
    if (truth.elements.empty()) return;  // every roll fails, with several messages
    ASSERT_EQ(got->elements.size(), truth.elements.size());
    for (std::size_t i = 0; i < truth.elements.size(); ++i) {
        const Distribution& d = got->elements[i];
        const auto& want = truth.elements[i];
        const bool has_nan = truth.nan_chance[i] > 0;
        ASSERT_EQ(d.size(), want.size() + (has_nan ? 1 : 0)) << "element " << i;
        std::size_t k = 0;
        long double total = 0;
        for (const auto& [v, p] : want) {
            EXPECT_EQ(d[k].value, v) << "element " << i;
            EXPECT_TRUE(close(d[k].probability, p))
                << "element " << i << " value " << v << ": " << d[k].probability << " vs " << static_cast<double>(p);
            total += d[k].probability;
            ++k;
        }
        if (has_nan) {
            EXPECT_TRUE(std::isnan(d[k].value));
            EXPECT_TRUE(close(d[k].probability, truth.nan_chance[i]));
            total += d[k].probability;
        }
        EXPECT_NEAR(static_cast<double>(total + error_total), 1.0, 1e-12) << "element " << i;
    }
}

void check_all(const std::vector<std::string>& expressions) {
    for (const std::string& e : expressions) {
        const auto truth = brute_force(e);
        ASSERT_TRUE(truth.has_value()) << e << ": too many draw sequences for the brute force";
        expect_matches(e, *truth);
    }
}

// Every modifier combination on small dice: keep (highest, lowest, none,
// zero, at least the pool), bonus thresholds (the face count and below it,
// a real one), and every comparison, alone and together.
TEST(OddsBruteForce, DiceTermsEveryModifierCombination) {
    const std::vector<std::string> keeps = {"", "k1", "k2", "kl1", "kl2", "k0", "k5"};
    const std::vector<std::string> comparisons = {"", ">2", ">=3", "<2", "<=1", "!=2", ">=0", "<9"};
    std::vector<std::string> terms;
    for (const char* base : {"1d2", "2d3", "3d4", "4d2", "3d6", "2d6"}) {
        for (const auto& k : keeps) {
            for (const auto& c : comparisons) terms.push_back(std::string(base) + k + c);
        }
    }
    for (const char* base : {"1d2b2", "2d3b3", "3d2b2", "2d4b4", "1d6b6", "2d6b6", "1d3b3.5", "1d4b5", "2d3b9"}) {
        for (const auto& k : keeps) {
            for (const auto& c : {std::string(""), std::string(">=2"), std::string("!=1"), std::string("<3")}) {
                terms.push_back(std::string(base) + k + c);
            }
        }
    }
    check_all(terms);
}

// A bonus threshold no face reaches never adds a die, whatever the faces:
// the term is its first dice, as roll draws them, above the plain limit of
// 1000 faces too.
TEST(OddsBruteForce, BonusNoFaceReachesIsThePlainTerm) {
    check_all({"1d5000b6000", "1d1200b1201k1", "1d3000b3001kl1>=1500", "2d300b301"});
    // A pool of more than 50 dice is cut to 50, as the roller cuts it.
    const auto capped = pipwerk::odds("60d2b3");
    const auto fifty = pipwerk::odds("50d2");
    ASSERT_TRUE(capped.has_value() && fifty.has_value());
    ASSERT_EQ(capped->elements[0].size(), fifty->elements[0].size());
    for (std::size_t i = 0; i < fifty->elements[0].size(); ++i) {
        EXPECT_EQ(capped->elements[0][i].value, fifty->elements[0][i].value);
        EXPECT_TRUE(close(capped->elements[0][i].probability, fifty->elements[0][i].probability));
    }
}

// Operators on dice: integer and real division, zero divisors, signs,
// percentages, wrapping, and errors from either side of an operation.
TEST(OddsBruteForce, ArithmeticAndErrors) {
    check_all({
        "1d6/(1d2-1)",
        "1d4/1d3",
        "1d3 - 1d3*2",
        "-1d4 + 3",
        "(1d3+1)*(1d3-2)",
        "1d4 * 50%",
        "1d3 / 2.5",
        "1d3 / -0.0 + 1",
        "50% * 1d4 - 1d2 / 4",
        "(1d2-1)/(1d2-1)",
        "1/(1d2-1) + 1/(1d3-1)",
        "1d3/(1d2-1) + 61d6",
        "1d2 + 1d0",
        "9223372036854775807 + 1d3",
        "-9223372036854775807 - 1d3",
        "1d2 * 4611686018427387904 * 2",
        "1d4 - 1d4 - 1d4 + 1d2",
        "1d3 * 1d3 * 1d2",
        "2d3k1 - 1d4kl1 + 1d3>=2",
        "1d6 / (1d2 * 0.5 - 0.5)",
        "4294967297d3",
        "(1d3 + 0.5) * 2",
        "1d2 / 1e308 / 1e308",
        "1d2 * 1e308 * 10 - 1d2 * 1e308 * 10",
        "12",
        "7 / 2",
    });
}

// Sets, set with set, repeats, and the errors that can end them.
TEST(OddsBruteForce, SetsAndRepeats) {
    check_all({
        "2#1d4",
        "3#1d3k1 + 1d2",
        "{1d4, 1d3, 5} * 2",
        "{1d3, 1d2} + {1d2, 10, 1d3}",
        "{1d2} - {1d3, 1d3}",
        "{1d3, 1d2} - {7}",
        "1d3 - {1d2, 2}",
        "{1d2, 1d3}/(1d3-2)",
        "-{1d3, 1}",
        "{1, 2} / 0",
        "2#(1d6/(1d2-1))",
        "{1d2, 1/(1d2-1), 1d3}",
        "{1d2, 2} * (1d2 + 1) - {1d3}",
        "(2#1d3) * -(1d2)",
        "{1d2}",
        "{5}",
        "2.9#1d3",
    });
}

// Errors that every roll ends with come back as that error, as roll reports it.
TEST(OddsBruteForce, CertainErrors) {
    check_all({"51d6", "1d1001", "0d6", "1d1", "{1, {2}}", "2#({1, 2})", "11#1d6", "0#1d6", "1d6/0",
               "1d6 + 51d6", "2147483648d6", "0.5d6"});
}

TEST(Odds, NothingParsedGivesTheTailAndNoDistribution) {
    const auto got = pipwerk::odds("abc");
    ASSERT_TRUE(got.has_value());
    EXPECT_FALSE(got->parsed);
    EXPECT_EQ(got->tail, "abc");
    EXPECT_TRUE(got->elements.empty());
    const auto tail = pipwerk::odds("1d6 + (d4+ test");
    ASSERT_TRUE(tail.has_value());
    EXPECT_EQ(tail->consumed, "1d6");
    EXPECT_EQ(tail->tail, "+ (d4+ test");
}

// Work beyond the budget is refused with what is too large, and no input
// hangs: huge inputs and long chains end (refused or computed) quickly.
TEST(OddsLimits, RefusalsNameWhatIsTooLarge) {
    struct Case {
        std::string expression;
        std::uint64_t budget;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"50d1000 * 50d1000", 600'000'000, "too large for exact odds: a product of 49951 by 49951 outcomes"},
        {"50d1000 + 50d1000", 600'000'000, "too large for exact odds: a product of 49951 by 49951 outcomes"},
        {"2d5000b5000", 600'000'000, "too large for exact odds: a dice term of 5000 faces with a bonus (at most 1000)"},
        {"3d6 + 1d4", 10, "too large for exact odds: a dice term of 3 dice of 6 faces"},
        {"50d100k25", 1000, "too large for exact odds: a dice term of 50 dice of 100 faces keeping the highest 25"},
        {"1d6 + 4d6b6kl3>=5", 100,
         "too large for exact odds: a dice term of 4 dice of 6 faces with a bonus keeping the lowest 3 counting successes"},
        {"20d20 * 20d20 + 1", 5000, "too large for exact odds: a product of 381 by 381 outcomes"},
    };
    for (const Case& c : cases) {
        const auto got = pipwerk::odds(c.expression, pipwerk::OddsOptions{.work_budget = c.budget});
        ASSERT_FALSE(got.has_value()) << c.expression;
        EXPECT_EQ(got.error().kind, OddsError::Kind::TooLarge) << c.expression;
        EXPECT_EQ(got.error().message, c.message) << c.expression;
    }
}

std::string repeated(std::string_view piece, std::size_t times, std::string_view last) {
    std::string out;
    out.reserve(piece.size() * times + last.size());
    for (std::size_t i = 0; i < times; ++i) out += piece;
    out += last;
    return out;
}

TEST(OddsLimits, HugeInputsAndLongChainsEnd) {
    // A 10 MB sum of dice: the budget stops it.
    const auto sum = pipwerk::odds(repeated("1d2+", 2'500'000, "1d2"));
    ASSERT_FALSE(sum.has_value());
    EXPECT_EQ(sum.error().kind, OddsError::Kind::TooLarge);
    // A million cheap terms: computed, as a loop rather than a recursion.
    const auto zeros = pipwerk::odds(repeated("1d2*0+", 1'000'000, "1"));
    ASSERT_TRUE(zeros.has_value());
    ASSERT_EQ(zeros->elements.size(), 1u);
    ASSERT_EQ(zeros->elements[0].size(), 1u);
    EXPECT_EQ(zeros->elements[0][0].value, 1.0);
    EXPECT_NEAR(zeros->elements[0][0].probability, 1.0, 1e-12);
    const auto ones = pipwerk::odds(repeated("1+", 1'000'000, "1d3"));
    ASSERT_TRUE(ones.has_value());
    ASSERT_EQ(ones->elements[0].size(), 3u);
    EXPECT_EQ(ones->elements[0][0].value, 1'000'001.0);
    const auto sets = pipwerk::odds(repeated("{1d2}-", 100'000, "{1d2}"));
    ASSERT_TRUE(sets.has_value() || sets.error().kind == OddsError::Kind::TooLarge);
    const auto nested = pipwerk::odds(repeated("(", 300, "1d6") + std::string(300, ')'));
    ASSERT_TRUE(nested.has_value());
}

// Every term within the limits adds up to 1, errors included.
TEST(OddsLimits, LargeTermsAddUpToOne) {
    for (const char* e : {"50d1000", "50d100k25", "50d1000>=500", "1d1000b2", "1d1000b500kl25", "50d6b6k10",
                          "10d10b10 / (1d3 - 2)", "3#20d20k10", "{50d20, 1d1000b1000>500} * 1d20"}) {
        const auto got = pipwerk::odds(e);
        ASSERT_TRUE(got.has_value()) << e;
        double errors = 0.0;
        for (const auto& err : got->errors) errors += err.probability;
        for (const Distribution& d : got->elements) {
            long double total = errors;
            for (const auto& o : d) total += o.probability;
            EXPECT_NEAR(static_cast<double>(total), 1.0, 1e-12) << e;
        }
    }
}

// Statistics are of the value given success; quantiles are the smallest value
// reaching the share asked for.
TEST(OddsSummary, StatisticsOfKnownLaws) {
    struct Case {
        const char* expression;
        double mean, variance, min, max, median, mode, success;
    };
    const std::vector<Case> cases = {
        {"2d6", 7.0, 35.0 / 6.0, 2, 12, 7, 7, 1.0},
        {"1d6", 3.5, 35.0 / 12.0, 1, 6, 3, 1, 1.0},
        {"1d4/(1d2-1)", 2.5, 15.0 / 12.0, 1, 4, 2, 1, 0.5},
        {"4d6k3", 15869.0 / 1296.0, 0, 3, 18, 12, 13, 1.0},
        {"1d2 * 0.5", 0.75, 1.0 / 16.0, 0.5, 1.0, 0.5, 0.5, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const auto got = pipwerk::odds(c.expression);
        ASSERT_TRUE(got.has_value());
        const pipwerk::OddsSummary s = pipwerk::summarize(got->elements.front());
        EXPECT_NEAR(s.mean, c.mean, 1e-12 * c.mean);
        if (c.variance != 0) {
            EXPECT_NEAR(s.variance, c.variance, 1e-12 * c.variance);
        }
        EXPECT_NEAR(s.stdev * s.stdev, s.variance, 1e-12 * s.variance);
        EXPECT_EQ(s.min, c.min);
        EXPECT_EQ(s.max, c.max);
        EXPECT_EQ(s.median, c.median);
        EXPECT_EQ(s.mode, c.mode);
        EXPECT_NEAR(s.success, c.success, 1e-15);
    }
    const auto d = pipwerk::odds("2d6");
    ASSERT_TRUE(d.has_value());
    const Distribution& law = d->elements.front();
    struct Q {
        double q, value;
    };
    for (const Q& q : std::vector<Q>{{1.0 / 36, 2}, {1.0 / 36 + 1e-9, 3}, {0.25, 5}, {0.5, 7}, {0.75, 9},
                                     {26.0 / 36, 8}, {26.0 / 36 + 1e-9, 9}, {35.0 / 36, 11}, {1.0, 12}}) {
        EXPECT_EQ(pipwerk::quantile(law, q.q), q.value) << q.q;
    }
    // The far ends of a wide law, each lighter than 1e-38, are still its extremes.
    const auto wide = pipwerk::odds("50d6");
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(pipwerk::quantile(wide->elements.front(), 1e-300), 50.0);
    EXPECT_EQ(pipwerk::quantile(wide->elements.front(), 1.0), 300.0);
    EXPECT_EQ(pipwerk::summarize(wide->elements.front()).median, 175.0);
}

// AddressSanitizer pads every frame with red zones: allow it eight times the room.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kSmallStack = 4096 * 1024;
#else
constexpr std::size_t kSmallStack = 512 * 1024;
#endif

// Nesting at the parser's limit, in every shape that recurses, stays within
// a small thread stack.
TEST(OddsLimits, DeepNestingFitsASmallStack) {
    struct Shape {
        std::string open, middle, close;
    };
    const std::vector<Shape> shapes = {
        {"(", "1d6", ")"},       {"-(", "d4", ")"},         {"1+(", "1d3", ")"},  {"{1}+(", "{1d2}", ")"},
        {"1+(", "{1}", ")"},     {"-(", "{1, 2}", ")"},     {"2#(", "3", ")"},    {"{", "1", "}"},
        {"1d2*(", "1d2", ")"},   {"{1d2}-(", "{1d2}", ")"},
    };
    static std::vector<std::string> inputs;
    for (const Shape& s : shapes) {
        for (const std::size_t n : {std::size_t{200}, std::size_t{256}, std::size_t{100'000}}) {
            inputs.push_back(repeated(s.open, n, s.middle) + repeated(s.close, n, ""));
        }
    }
    // What each call consumed; nothing when it failed or did not run.
    static std::vector<std::optional<std::string>> consumed;
    consumed.assign(inputs.size(), std::nullopt);
    static std::size_t ran = 0;
    const auto work = [](void*) -> void* {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const auto got = pipwerk::odds(inputs[i], pipwerk::OddsOptions{.work_budget = 20'000'000});
            if (got) consumed[i] = got->consumed;
            ran = i + 1;
        }
        return nullptr;
    };
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, kSmallStack), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, work, nullptr), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    ASSERT_EQ(ran, inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const pipwerk::ParseOutcome parsed = pipwerk::Parser::parse(inputs[i]);
        if (!consumed[i]) {
            EXPECT_TRUE(parsed.success()) << inputs[i].substr(0, 12);  // only an evaluation fails
        } else {
            EXPECT_EQ(*consumed[i], parsed.consumed) << inputs[i].substr(0, 12);
        }
    }
}

}  // namespace
