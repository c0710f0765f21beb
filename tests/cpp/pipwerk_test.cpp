#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "eval_value.hpp"
#include "parser/parser.hpp"
#include "pipwerk/pipwerk.hpp"
#include "rng.hpp"

namespace pipwerk {
namespace {

RollOutput must_roll(const std::string& text, std::optional<std::uint64_t> seed, bool show_detail = true) {
    Result<RollOutput> out = roll(text, RollOptions{seed, show_detail});
    if (!out) {
        ADD_FAILURE() << text << ": " << out.error().message();
        return {};
    }
    return std::move(*out);
}

TEST(Roll, OneRequestFromEndToEnd) {
    const RollOutput out = must_roll("4d6k3", 42);
    EXPECT_EQ(out.consumed, "4d6k3");
    EXPECT_EQ(out.tail, "");
    EXPECT_EQ(out.summary, "14");
    EXPECT_EQ(out.detail, "[1* + 4 + 6 + 4]");
    EXPECT_EQ(out.full, "[1* + 4 + 6 + 4] = 14");
    EXPECT_FALSE(out.is_set);
    EXPECT_EQ(out.values, std::vector<double>{14.0});
}

TEST(Roll, SeededDiceTerms) {
    struct Case {
        std::uint64_t seed;
        std::string text;
        std::string full;
    };
    const std::vector<Case> cases = {
        {42, "4d6", "[1 + 4 + 6 + 4] = 15"},
        {42, "4d6k3", "[1* + 4 + 6 + 4] = 14"},
        {42, "4d6k2", "[1* + 4 + 6 + 4*] = 10"},
        {42, "4d6kl2", "[1 + 4 + 6* + 4*] = 5"},
        {42, "4d6b6", "[1 + 4 + 6! + 4 + 5] = 20"},
        {42, "4d6b6k3", "[1* + 4 + 6! + 4* + 5] = 15"},
        {0, "3d6b5kl2", "[3* + 2 + 6*! + 6*! + 2] = 4"},
        {42, "1d20", "[3] = 3"},
        {42, "4d6>3", "<1* + 4 + 6 + 4> = 3"},
        {42, "4d6k3>=4", "<4 + 6 + 4> = 3"},
        {0, "5d10>=7", "<1* + 10 + 10 + 4* + 6*> = 2"},
        {0, "5d10k3!=10", "<10* + 10* + 6> = 1"},
        {3, "3d6b5>5", "<3* + 6! + 1* + 6! + 5*! + 6! + 5*! + 3*> = 3"},
        // Whole expressions draw depth first, left before right.
        {42, "4d6k3 + 2", "[1* + 4 + 6 + 4] + 2 = 16"},
        {42, "d6 - (d6 * 2)", "[1] - ([4] * 2) = -7"},
        {42, "3#d6", "{[1], [4], [6]} = {1, 4, 6}"},
        {42, "d6 + 2#d6", "{[1] + [4], [1] + [6]} = {5, 7}"},
        {42, "{d6, 2d6} * {10, d6}", "{[1] * 10, [4 + 6] * [4]} = {10, 40}"},
        // A threshold far beyond every die: no die exceeds it.
        {42, "4d6>1" + std::string(300, '0'), "<1* + 4* + 6* + 4*> = 0"},
        // Count and faces keep their low 32 bits.
        {42, "4294967297d6", "[1] = 1"},
        {42, "d4294967302", "[1] = 1"},
        {42, std::string(static_cast<std::size_t>(Parser::kMaxNesting - 1), '(') + "-d6" + std::string(static_cast<std::size_t>(Parser::kMaxNesting - 1), ')'),
         std::string(static_cast<std::size_t>(Parser::kMaxNesting - 1), '(') + "[1]" + std::string(static_cast<std::size_t>(Parser::kMaxNesting - 1), ')') + " = -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const RollOutput out = must_roll(c.text, c.seed);
        EXPECT_EQ(out.full, c.full);
        EXPECT_EQ(out.tail, "");
        EXPECT_EQ(out.full, out.detail + " = " + out.summary);
    }
}

TEST(Roll, ValuesAndSetFlag) {
    struct Case {
        std::string text;
        std::string summary;
        bool is_set;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"50%", "0.5", false, {0.5}},
        {"7 / 2", "3.5", false, {3.5}},
        {"9007199254740993", "9007199254740993", false, {9007199254740992.0}},
        {"9223372036854775807 + 1", "-9223372036854775808", false, {-9223372036854775808.0}},
        {"-9223372036854775807 - 2", "9223372036854775807", false, {9223372036854775808.0}},
        {"-(-9223372036854775807 - 1)", "-9223372036854775808", false, {-9223372036854775808.0}},
        {"3037000500 * 3037000500", "-9223372036709301616", false, {-9223372036709301616.0}},
        {"(-9223372036854775807 - 1) / -1", "9223372036854776000", false, {9223372036854775808.0}},
        {"(-9223372036854775807 - 1) / 2", "-4611686018427387904", false, {-4611686018427387904.0}},
        {"{1, 2} + {10, 20, 30}", "{11, 22}", true, {11.0, 22.0}},
        {"{7 / 2, 50%, -3}", "{3.5, 0.5, -3}", true, {3.5, 0.5, -3.0}},
        {"{5}", "{5}", true, {5.0}},
        {"{1, 2} / 0", "{0, 0}", true, {0.0, 0.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const RollOutput out = must_roll(c.text, 1);
        EXPECT_EQ(out.summary, c.summary);
        EXPECT_EQ(out.is_set, c.is_set);
        EXPECT_EQ(out.values, c.values);
    }
}

TEST(Roll, ShowDetailOffChangesOnlyTheTexts) {
    for (const std::string text : {"4d6k3 + 1", "3#4d6k3", "2 + 3", "{1, 2} / 0", "d20 + (d4+ test"}) {
        SCOPED_TRACE(text);
        const RollOutput with = must_roll(text, 7, true);
        const RollOutput without = must_roll(text, 7, false);
        EXPECT_EQ(without.detail, "");
        EXPECT_EQ(without.full, without.summary);
        EXPECT_EQ(without.summary, with.summary);
        EXPECT_EQ(without.values, with.values);
        EXPECT_EQ(without.is_set, with.is_set);
        EXPECT_EQ(without.consumed, with.consumed);
        EXPECT_EQ(without.tail, with.tail);
    }
}

TEST(Roll, SameSeedSameOutput) {
    for (const std::uint64_t seed : {0ULL, 1ULL, 42ULL, ~0ULL}) {
        const RollOutput a = must_roll("3#4d6k3 + d20", seed);
        const RollOutput b = must_roll("3#4d6k3 + d20", seed);
        EXPECT_EQ(a.full, b.full);
        EXPECT_EQ(a.values, b.values);
    }
    // Seed 0 is a real seed: its dice are its own.
    EXPECT_EQ(must_roll("5d10", 0).detail, "[1 + 10 + 10 + 4 + 6]");
    // Without a seed the roll still works and stays in range.
    const RollOutput unseeded = must_roll("d6", std::nullopt);
    ASSERT_EQ(unseeded.values.size(), 1u);
    EXPECT_GE(unseeded.values[0], 1.0);
    EXPECT_LE(unseeded.values[0], 6.0);
}

TEST(Roll, NothingToParseIsNotAnError) {
    struct Case {
        std::string text;
        std::string tail;
    };
    const std::vector<Case> cases = {{"", ""}, {"hello", "hello"}, {"  {}", "{}"}, {"d", "d"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const RollOutput out = must_roll(c.text, 1);
        EXPECT_EQ(out.consumed, "");
        EXPECT_EQ(out.tail, c.tail);
        EXPECT_EQ(out.summary, "");
        EXPECT_EQ(out.detail, "");
        EXPECT_EQ(out.full, "");
        EXPECT_FALSE(out.is_set);
        EXPECT_TRUE(out.values.empty());
    }
}

TEST(Roll, ConsumedAndTailComeFromTheParser) {
    const RollOutput out = must_roll("  2d6 + 1 oops", 42);
    EXPECT_EQ(out.consumed, "  2d6 + 1");
    EXPECT_EQ(out.tail, "oops");
    EXPECT_EQ(out.full, "[1 + 4] + 1 = 6");
}

TEST(Roll, ErrorsComeBackAlone) {
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"1/0", "division by zero"},
        {"1/0 trailing", "division by zero"},
        {"2147483648d6", "dice count, face, or repeat must be a positive integer"},
        {"11#d6", "repeat count exceeds maximum (11), max is 10"},
        {"{1, {2}}", "parse error: unexpected pipwerk level"},
        {"51d6", "dice count exceeds maximum (51), max is 50"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Result<RollOutput> out = roll(c.text, RollOptions{42, true});
        ASSERT_FALSE(out.has_value());
        EXPECT_EQ(out.error().message(), c.message);
    }
}

// ---- The pipeline against its parts ------------------------------------------

// roll() as the composition of its parts: parse, seed, evaluate, then the
// renderings of the value. roll() itself lays the texts out in one pass.
Result<RollOutput> composed_roll(std::string_view text, const RollOptions& options) {
    const ParseOutcome parsed = Parser::parse(text);
    RollOutput out;
    if (!parsed.expression) {
        out.tail = parsed.tail;
        return out;
    }
    Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(*options.seed);
    const Result<EvalValue> value = evaluate(parsed.ast, *parsed.expression, rng);
    if (!value) return std::unexpected(value.error());
    out.consumed = parsed.consumed;
    out.tail = parsed.tail;
    out.summary = value->summary();
    out.detail = options.show_detail ? value->detail() : "";
    out.full = options.show_detail ? value->full() : value->summary();
    out.is_set = value->is_set();
    for (const Number& n : value->values()) out.values.push_back(n.to_double());
    return out;
}

void expect_same_roll(const std::string& text, std::uint64_t seed, bool show_detail) {
    SCOPED_TRACE(text + (show_detail ? " (detail)" : " (no detail)") + " seed " + std::to_string(seed));
    const RollOptions options{seed, show_detail};
    const Result<RollOutput> got = roll(text, options);
    const Result<RollOutput> want = composed_roll(text, options);
    ASSERT_EQ(got.has_value(), want.has_value()) << (got ? want.error().message() : got.error().message());
    if (!got) {
        EXPECT_EQ(got.error().message(), want.error().message());
        return;
    }
    EXPECT_EQ(got->consumed, want->consumed);
    EXPECT_EQ(got->tail, want->tail);
    EXPECT_EQ(got->summary, want->summary);
    EXPECT_EQ(got->detail, want->detail);
    EXPECT_EQ(got->full, want->full);
    EXPECT_EQ(got->is_set, want->is_set);
    ASSERT_EQ(got->values.size(), want->values.size());
    for (std::size_t i = 0; i < got->values.size(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got->values[i]), std::bit_cast<std::uint64_t>(want->values[i])) << i;
    }
}

TEST(RollPipeline, MatchesParseEvaluateRender) {
    // Shapes the pipeline writes in one pass (plain sets and repeats, with
    // scalar operands after them) and shapes it leaves to set arithmetic.
    const std::vector<std::string> texts = {
        "", "hello", "7", "-7 / 2", "50% * 3", "4d6k3", "1d20+5", "2d20kl1 + 1d4 - 1", "10d10>=7",
        "3#4d6k3", "{d6, d8, 5} * 2", "{d6, d8, 5}", "-{1, 2}", "(-(3#d6))", "--{d4}", "{1, 2} / 0",
        "{1, 2} / 0 + d6", "{7 / 2, 50%}", "{1, 2} * 50%", "3#d6 - d4 * 2", "2#(d6 + 1) + (d4)", "{d6} - -2",
        "{1,} + 1 + 2 + 3", "1 + {1, 2}", "d6 * 3#d4", "{1, 2} + {10, 20, 30}", "{10} - {1, 2, 3}",
        "3#d6 + {1, 2}", "({1, 2}) * 2 + 1", "-({1} + 1) * 2", "{d6, 2d6k1b5} * d4 / 3", "{4d6>=4, 2}",
        "11#d6", "0#d6", "{1, 60d6}", "{1} * 60d6", "{1, {2}}", "{1} + 1/0", "10#d6 * 0.5 + 1e3",
        "{d6, d8} * 2 trailing", "{-1, -(2)} * -1", "1#1d6", "{1} / {0}", "3#(1+d6)", "-{1, 2} * 2",
        "(-3#d6) + 1",
    };
    for (const std::string& text : texts) {
        for (const std::uint64_t seed : {0u, 42u}) {
            expect_same_roll(text, seed, true);
            expect_same_roll(text, seed, false);
        }
    }
}

// Sets whose summary is written in one piece or number by number, on
// either side of the size where that changes, with the longest numbers.
TEST(RollPipeline, MatchesParseEvaluateRenderOnLongSets) {
    const std::vector<std::string> elements = {"1", "-9223372036854775807 - 1", "1e300", "-1.25e-300", "50%", "d6"};
    for (const std::string& element : elements) {
        for (const std::size_t count : {1u, 2u, 3u, 20u, 42u, 43u, 44u, 100u}) {
            std::string text = "{" + element;
            for (std::size_t i = 1; i < count; ++i) text += ", " + element;
            text += "}";
            expect_same_roll(text, 5, true);
            expect_same_roll(text + " * 3", 5, false);
        }
    }
}

// Random expressions over the set-level forms, from a fixed seed.
class ExpressionMaker {
public:
    explicit ExpressionMaker(std::uint64_t seed) : rng_(Xoroshiro128StarStar::from_seed(seed)) {}

    std::string scalar(int depth) {
        static const std::vector<std::string> leaves = {"d6", "2d6k1", "3d4b4", "4d6>=4", "7", "2.5", "50%", "0", "d20kl1"};
        const int pick = pick_below(depth > 0 ? 8 : 4);
        switch (pick) {
            case 4: return "-" + scalar(depth - 1);
            case 5: return "(" + scalar(depth - 1) + ")";
            case 6: return scalar(depth - 1) + op() + scalar(depth - 1);
            case 7: return "-(" + scalar(depth - 1) + op() + scalar(depth - 1) + ")";
            default: return leaves[static_cast<std::size_t>(pick_below(static_cast<int>(leaves.size())))];
        }
    }

    std::string set(int depth) {
        std::string base;
        switch (pick_below(depth > 0 ? 7 : 3)) {
            case 0: base = std::to_string(pick_below(4) + 1) + "#" + repeat_body(); break;
            case 1: {
                base = "{" + scalar(1);
                for (int n = pick_below(3); n > 0; --n) base += ", " + scalar(1);
                base += pick_below(4) == 0 ? ",}" : "}";
                break;
            }
            case 2: base = "{" + scalar(0) + "}"; break;
            case 3: base = "-" + set(depth - 1); break;
            case 4: base = "(" + set(depth - 1) + ")"; break;
            case 5: base = scalar(1) + op() + set(depth - 1); break;
            default: base = set(depth - 1) + op() + set(depth - 1); break;
        }
        for (int n = pick_below(3); n > 0; --n) base += op() + scalar(1);
        return base;
    }

private:
    std::string repeat_body() {
        static const std::vector<std::string> bodies = {"d6", "4d6k3", "(d4 + 1)", "7", "2d10>5"};
        return bodies[static_cast<std::size_t>(pick_below(static_cast<int>(bodies.size())))];
    }
    std::string op() { return std::string(" ") + "+-*/"[pick_below(4)] + " "; }
    int pick_below(int n) { return rng_.rand_range(0, n - 1); }

    Xoroshiro128StarStar rng_;
};

TEST(RollPipeline, MatchesParseEvaluateRenderOnGeneratedSets) {
    ExpressionMaker make(7);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = i % 4 == 0 ? make.scalar(3) : make.set(3);
        expect_same_roll(text, static_cast<std::uint64_t>(i), i % 3 != 0);
    }
}

// ---- Size -------------------------------------------------------------------

constexpr std::size_t kTerms = 1'000'000;

std::string chain(const std::string& first, const std::string& link, std::size_t terms) {
    std::string text;
    text.reserve(first.size() + link.size() * terms);
    text += first;
    for (std::size_t i = 1; i < terms; ++i) text += link;
    return text;
}

TEST(RollAtScale, MillionOnes) {
    const RollOutput out = must_roll(chain("1", "+1", kTerms), 1);
    EXPECT_EQ(out.full, std::to_string(kTerms));
    EXPECT_EQ(out.tail, "");
}

TEST(RollAtScale, MillionDice) {
    const RollOutput out = must_roll(chain("d6", "+d6", kTerms), 42);
    // The same generator drawn the same number of times gives the sum.
    Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(42);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < kTerms; ++i) sum += rng.rand_range(1, 6);
    EXPECT_EQ(out.summary, std::to_string(sum));
    EXPECT_EQ(out.detail.size(), 3 * kTerms + 3 * (kTerms - 1));
    EXPECT_EQ(out.detail.substr(0, 15), "[1] + [4] + [6]");
}

TEST(RollAtScale, MillionTermSet) {
    const RollOutput out = must_roll(chain("{1}", "+1", kTerms), 1);
    EXPECT_TRUE(out.is_set);
    EXPECT_EQ(out.values, std::vector<double>{static_cast<double>(kTerms)});
    EXPECT_EQ(out.detail.size(), 2 + 1 + 4 * (kTerms - 1));
}

}  // namespace
}  // namespace pipwerk
