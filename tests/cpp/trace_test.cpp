#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "pipwerk/pipwerk.hpp"
#include "pipwerk/trace.hpp"
#include "rng.hpp"
#include "trace_checks.hpp"

namespace {

using pipwerk::RollOptions;
using pipwerk::TraceKind;

// Random expressions over the whole language: sets, repeats, bonus chains,
// keeps, comparisons, signs, brackets, reals and percents, values past the
// limits (errors), and tails of other rollers' notation or plain junk.
class ExpressionMaker {
public:
    explicit ExpressionMaker(std::uint64_t seed) : gen_(seed) {}

    std::string expression() {
        std::string e = pick(4) == 0 ? set_level(2) : scalar(3);
        if (pick(4) == 0) e += pick_of({"kh1+5", "dl1", "!", " adv", "r1", "abc", ")", "+", " , 3", "d%"});
        return e;
    }

private:
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(gen_); }
    std::string pick_of(std::initializer_list<const char*> items) { return *(items.begin() + pick(items.size())); }
    std::string number() {
        switch (pick(8)) {
            case 0: return "0";
            case 1: return "2.5";
            case 2: return "50%";
            default: return std::to_string(pick(12) + 1);
        }
    }
    std::string dice() {
        std::string d = pick(3) == 0 ? "" : std::to_string(pick(pick(10) == 0 ? 60 : 8) + 1);
        d += pick(10) == 0 ? "D" : "d";
        // Past 1000 faces only a term with a bonus rolls, to any int32.
        d += pick_of({"2", "4", "6", "6", "10", "20", "100", "1", "1001", "70000"});
        if (pick(4) == 0) d += "b" + std::to_string(pick(6) + 2);
        if (pick(3) == 0) d += std::string(pick(2) == 0 ? "k" : "kl") + std::to_string(pick(5));
        if (pick(4) == 0) d += pick_of({">", ">=", "<", "<=", "!="}) + std::to_string(pick(6) + 1);
        return d;
    }
    std::string scalar(int depth) {
        if (depth == 0) return pick(3) == 0 ? number() : dice();
        switch (pick(7)) {
            case 0: return number();
            case 1: return dice();
            case 2: return "-" + scalar(depth - 1);
            case 3: return "(" + scalar(depth - 1) + ")";
            default: return scalar(depth - 1) + pick_of({" + ", "-", "*", " / "}) + scalar(depth - 1);
        }
    }
    std::string set_level(int depth) {
        switch (depth == 0 ? pick(2) : pick(6)) {
            case 0: {
                std::string s = "{";
                const std::size_t n = pick(4) + 1;
                for (std::size_t i = 0; i < n; ++i) s += (i ? ", " : "") + scalar(1);
                return s + (pick(5) == 0 ? ",}" : "}");
            }
            case 1: return std::to_string(pick(12)) + "#" + pick_of({"d6", "3d6k2", "(d4+1)", "2", "d6b6"});
            case 2: return "-" + set_level(depth - 1);
            case 3: return "(" + set_level(depth - 1) + ")";
            case 4: return set_level(depth - 1) + pick_of({"+", "*", "-"}) + scalar(1);
            default: return scalar(1) + pick_of({"+", "/", "-"}) + set_level(depth - 1);
        }
    }
    std::mt19937_64 gen_;
};

std::string output_fault(const pipwerk::RollOutput& a, const pipwerk::RollOutput& b) {
    if (a.consumed != b.consumed || a.tail != b.tail) return "consumed or tail";
    if (a.summary != b.summary || a.detail != b.detail || a.full != b.full) return "texts";
    if (a.is_set != b.is_set || a.values.size() != b.values.size()) return "shape";
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        if (!trace_checks::same_number(a.values[i], b.values[i])) return "values";
    }
    return {};
}

TEST(Trace, GeneratedExpressionsRollAsRollDoesAndKeepEveryTreeRule) {
    ExpressionMaker maker(20261208);
    int traced = 0, failed = 0;
    for (std::uint64_t i = 0; i < 6000; ++i) {
        const std::string e = maker.expression();
        for (const bool show_detail : {true, false}) {
            const RollOptions options{.seed = i * 0x9e3779b97f4a7c15ULL, .show_detail = show_detail};
            const auto rolled = pipwerk::roll(e, options);
            const auto traced_result = pipwerk::trace(e, options);
            ASSERT_EQ(rolled.has_value(), traced_result.has_value()) << e;
            if (!rolled) {
                EXPECT_EQ(rolled.error(), traced_result.error()) << e;
                ++failed;
                continue;
            }
            ++traced;
            EXPECT_EQ(traced_result->seed, *options.seed);
            EXPECT_EQ(output_fault(*rolled, traced_result->output), "") << e;
            EXPECT_EQ(trace_checks::trace_fault(*traced_result), "") << e;
            // The least size that refuses early is never more than the tree takes.
            pipwerk::TraceJson tree(*traced_result, pipwerk::TraceJson::Part::Tree);
            std::string written;
            while (tree.append_next(written, 256)) {
            }
            EXPECT_LE(tree.least_size(), written.size()) << e;
        }
    }
    // The generator must reach both outcomes often.
    EXPECT_GT(traced, 3000);
    EXPECT_GT(failed, 300);
}

TEST(Trace, AnUnseededTraceGivesTheSeedThatReplaysIt) {
    for (const std::string_view e : {"4d6k3", "{d20, d20} + 2", "3#d6b6", "d1000*d1000", "7"}) {
        for (int i = 0; i < 20; ++i) {
            const auto t = pipwerk::trace(e, {});
            ASSERT_TRUE(t.has_value());
            const auto replay = pipwerk::roll(e, {.seed = t->seed});
            ASSERT_TRUE(replay.has_value());
            EXPECT_EQ(output_fault(*replay, t->output), "") << e;
        }
    }
}

TEST(Trace, TheClockSeedsAsItsWordSeeds) {
    // An unseeded roll's state is from_seed of the clock word, so the word replays it.
    for (const auto& [nanos, pid] : {std::pair<std::uint64_t, std::uint32_t>{0, 0}, {1'700'000'000'000'000'000ULL, 4242},
                                    {~0ULL, ~0U}}) {
        const auto by_clock = pipwerk::Xoroshiro128StarStar::from_clock_reading(nanos, pid);
        const auto by_seed = pipwerk::Xoroshiro128StarStar::from_seed(nanos + std::uint64_t{pid} * 0x9e3779b97f4a7c15ULL);
        EXPECT_EQ(by_clock.s0(), by_seed.s0());
        EXPECT_EQ(by_clock.s1(), by_seed.s1());
    }
}

struct Shape {
    std::string_view expression;
    std::vector<TraceKind> kinds;  // in evaluation order
    std::vector<std::string_view> spans;
};

TEST(Trace, NodesComeInEvaluationOrderWithTheirOwnText) {
    using K = TraceKind;
    const Shape shapes[] = {
        {"4d6k3", {K::Dice}, {"4d6k3"}},
        {"((7))", {K::Number}, {"7"}},
        {"-(2 + d6)", {K::Number, K::Dice, K::Binary, K::Negation}, {"2", "d6", "2 + d6", "-(2 + d6)"}},
        {"--3", {K::Number, K::Negation, K::Negation}, {"3", "-3", "--3"}},
        {"{1, d4,}", {K::Number, K::Dice, K::Set}, {"1", "d4", "{1, d4,}"}},
        {"2#(d6+1)", {K::Dice, K::Number, K::Binary, K::Dice, K::Number, K::Binary, K::Repetition},
         {"d6", "1", "d6+1", "d6", "1", "d6+1", "2#(d6+1)"}},
        {"1 - {2} * 3", {K::Number, K::Number, K::Set, K::Number, K::Binary, K::Binary},
         {"1", "2", "{2}", "3", "{2} * 3", "1 - {2} * 3"}},
        {"(3 d 6 b 6 k 2 > 3)+1", {K::Dice, K::Number, K::Binary}, {"3 d 6 b 6 k 2 > 3", "1", "(3 d 6 b 6 k 2 > 3)+1"}},
    };
    for (const Shape& s : shapes) {
        const auto t = pipwerk::trace(s.expression, {.seed = 1});
        ASSERT_TRUE(t.has_value()) << s.expression;
        ASSERT_EQ(t->node_count(), s.kinds.size()) << s.expression;
        for (std::size_t i = 0; i < s.kinds.size(); ++i) {
            EXPECT_EQ(t->kind(i), s.kinds[i]) << s.expression << " node " << i;
            const pipwerk::TraceNode n = t->node(i);
            EXPECT_EQ(t->output.consumed.substr(n.start, n.end - n.start), s.spans[i]) << s.expression << " node " << i;
        }
    }
}

TEST(Trace, NothingParsedIsNoTree) {
    const auto t = pipwerk::trace("kh1", {.seed = 3});
    ASSERT_TRUE(t.has_value());
    EXPECT_FALSE(t->has_tree());
    EXPECT_EQ(t->output.tail, "kh1");
    std::string json;
    pipwerk::TraceJson tree(*t, pipwerk::TraceJson::Part::Tree);
    while (tree.append_next(json, 1)) {
    }
    EXPECT_EQ(json, R"("nodes":[],"root":null)");
}

TEST(Trace, LongChainsAreTracedAndWrittenWithoutRecursion) {
    std::string e = "d6";
    for (int i = 0; i < 200000; ++i) e += "+1";
    const auto t = pipwerk::trace(e, {.seed = 9, .show_detail = false});
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->node_count(), 400001U);
    EXPECT_EQ(trace_checks::trace_fault(*t), "");
    std::string json;
    pipwerk::append_trace_json(json, *t);
    // Every node is one object of the flat table: the form nests no deeper
    // than a die in a node in the table in the trace.
    std::size_t open = 0, close = 0, depth = 0, deepest = 0;
    for (const char c : json) {
        open += c == '{';
        close += c == '}';
        depth += c == '{' || c == '[';
        deepest = std::max(deepest, depth);
        depth -= c == '}' || c == ']';
    }
    EXPECT_EQ(open, close);
    EXPECT_EQ(open, 400001U + 1 + 1);  // the nodes, the trace itself and the one die
    EXPECT_EQ(deepest, 5U);
    // Written a piece at a time, it is the same text.
    std::string pieces, piece;
    pipwerk::TraceJson writer(*t, pipwerk::TraceJson::Part::Whole);
    while (writer.append_next(piece, 4096)) {
        pieces += piece;
        piece.clear();
    }
    EXPECT_EQ(pieces, json);
}

struct HintCase {
    std::string_view expression;
    bool hinted;
    std::string_view mentions;  // a piece the hint must hold
};

TEST(Trace, HintsNameWhatIsReadInsteadOnlyForKnownNotation) {
    const HintCase cases[] = {
        {"2d20kh1+5", true, "k already keeps the highest"},
        {"2d20KH1", true, "k already keeps the highest"},
        {"4d6dl1", true, "4d6k3"},
        {"4d6dh1", true, "4d6kl3"},
        {"d%", true, "d100"},
        {"3d%+2", true, "d100"},
        {"4dF", true, "Nd3-2N"},
        {"1 + 4df", true, "Nd3-2N"},
        {"3d6!", true, "bF"},
        {"3d6!!", true, "no equivalent"},
        {"1d20adv", true, "2d20k1"},
        {"1d20 advantage", true, "2d20k1"},
        {"1d20dis", true, "2d20kl1"},
        {"4d6r1", true, "rerolls"},
        {"4d6ro<2", true, "rerolls"},
        // Ordinary junk, and notation run on into a word, get none.
        {"2d6 abc", false, ""},
        {"2d6)", false, ""},
        {"2d6+", false, ""},
        {"2d6 khaki", false, ""},
        {"2d6 rabbit", false, ""},
        {"2d6r", false, ""},
        {"2d6 dfoo", false, ""},
        {"2d6 , 3", false, ""},
        {"2d6", false, ""},
        {"d6!x", false, ""},
    };
    for (const HintCase& c : cases) {
        const auto t = pipwerk::trace(c.expression, {.seed = 1});
        ASSERT_TRUE(t.has_value()) << c.expression;
        EXPECT_EQ(t->hints, [&] {
            std::vector<std::string> hints;
            for (const auto h : pipwerk::hints_for(t->output.tail)) hints.emplace_back(h);
            return hints;
        }()) << c.expression;
        ASSERT_EQ(t->hints.size(), c.hinted ? 1U : 0U) << c.expression << " tail " << t->output.tail;
        if (c.hinted) {
            EXPECT_NE(t->hints[0].find(c.mentions), std::string::npos) << c.expression << ": " << t->hints[0];
        }
    }
}

TEST(Trace, TheEquivalentsTheHintsNameRollAsTheNotationTheyReplace) {
    // Read from the dice themselves: dropping the lowest is keeping the
    // rest, advantage the higher of two, disadvantage the lower, and a die
    // showing the faces adds one more die.
    struct Equivalent {
        std::string_view expression;
        double (*expected)(const std::vector<std::int32_t>& dice);
    };
    const Equivalent equivalents[] = {
        {"4d6k3", [](const auto& d) { return double(d[0] + d[1] + d[2] + d[3] - std::min({d[0], d[1], d[2], d[3]})); }},
        {"4d6kl3", [](const auto& d) { return double(d[0] + d[1] + d[2] + d[3] - std::max({d[0], d[1], d[2], d[3]})); }},
        {"2d20k1", [](const auto& d) { return double(std::max(d[0], d[1])); }},
        {"2d20kl1", [](const auto& d) { return double(std::min(d[0], d[1])); }},
        {"3d6b6", [](const auto& d) {
             std::size_t sixes = 0;
             for (const auto v : d) sixes += v == 6;
             return d.size() == 3 + sixes ? 1.0 : 0.0;
         }},
    };
    for (const Equivalent& eq : equivalents) {
        for (std::uint64_t seed = 0; seed < 300; ++seed) {
            const auto t = pipwerk::trace(eq.expression, {.seed = seed});
            ASSERT_TRUE(t.has_value());
            std::vector<std::int32_t> dice;
            for (const auto& die : t->dice_of(t->root())) dice.push_back(die.value);
            const double want = eq.expected(dice);
            EXPECT_EQ(eq.expression == "3d6b6" ? 1.0 : t->output.values[0], want) << eq.expression << " seed " << seed;
        }
    }
    // 4dF as 4d3-8: every value from -4 to 4 is reached, and only those.
    std::vector<int> seen(9, 0);
    for (std::uint64_t seed = 0; seed < 2000; ++seed) {
        const double v = pipwerk::trace("4d3-8", {.seed = seed})->output.values[0];
        ASSERT_GE(v, -4);
        ASSERT_LE(v, 4);
        ++seen[static_cast<std::size_t>(v + 4)];
    }
    for (const int n : seen) EXPECT_GT(n, 0);
}

}  // namespace
