#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"
#include "plain_roll.hpp"
#include "roll.hpp"

namespace {

using pipwerk::ComparisonOp;
using pipwerk::KeepMode;
using pipwerk::Number;
using pipwerk::PipwerkError;
using pipwerk::RollResult;
using pipwerk::Xoroshiro128StarStar;

constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int32_t kI32Min = std::numeric_limits<std::int32_t>::min();

// Counts the draws that advance the generator.
class CountingRng final : public pipwerk::Rng {
public:
    explicit CountingRng(std::uint64_t seed) : inner_(Xoroshiro128StarStar::from_seed(seed)) {}
    std::int32_t rand_range(std::int32_t lo, std::int32_t hi) noexcept override {
        if (lo < hi) ++draws;
        return inner_.rand_range(lo, hi);
    }
    int draws = 0;

private:
    Xoroshiro128StarStar inner_;
};

KeepMode high(std::int64_t n) { return {KeepMode::Dir::High, n}; }
KeepMode low(std::int64_t n) { return {KeepMode::Dir::Low, n}; }
Number num(std::int64_t v) { return Number::make_int(v); }

std::vector<std::int32_t> rolls_of(const RollResult& r) { return {r.rolls.begin(), r.rolls.begin() + r.size}; }

// Checks the invariants every result must hold: faces in range, total = sum of kept.
void expect_consistent(const RollResult& r, std::int32_t faces) {
    ASSERT_LE(r.size, pipwerk::kMaxPool);
    std::int64_t total = 0;
    for (std::size_t i = 0; i < r.size; ++i) {
        EXPECT_GE(r.rolls[i], 1);
        EXPECT_LE(r.rolls[i], faces);
        if (r.kept[i]) total += r.rolls[i];
    }
    EXPECT_EQ(r.total, total);
}

struct Term {
    std::uint64_t seed;
    std::int32_t count, faces;
    std::optional<KeepMode> keep;
    std::optional<Number> bonus;
};

TEST(RollTest, PlainDetailAndTotal) {
    struct Case {
        Term term;
        std::string detail;
        std::int64_t total;
    };
    const std::vector<Case> cases = {
        {{42, 4, 6, {}, {}}, "[1 + 4 + 6 + 4]", 15},
        {{42, 4, 6, high(3), {}}, "[1* + 4 + 6 + 4]", 14},
        {{42, 4, 6, high(2), {}}, "[1* + 4 + 6 + 4*]", 10},
        {{42, 4, 6, low(2), {}}, "[1 + 4 + 6* + 4*]", 5},
        {{42, 4, 6, low(1), {}}, "[1 + 4* + 6* + 4*]", 1},
        {{42, 4, 6, high(0), {}}, "[1 + 4 + 6 + 4]", 15},
        {{42, 4, 6, high(4), {}}, "[1 + 4 + 6 + 4]", 15},
        {{42, 4, 6, low(5), {}}, "[1 + 4 + 6 + 4]", 15},
        {{42, 4, 6, high(kI64Max), {}}, "[1 + 4 + 6 + 4]", 15},
        {{42, 4, 6, high(kI64Min), {}}, "[1 + 4 + 6 + 4]", 15},
        {{42, 4, 6, low(kI64Min), {}}, "[1 + 4 + 6 + 4]", 15},
        {{42, 4, 6, low(-2), {}}, "[1* + 4 + 6 + 4*]", 10},  // lowest of -2 keeps the 2 highest
        {{42, 1, 20, {}, {}}, "[3]", 3},
        {{42, 4, 6, {}, num(6)}, "[1 + 4 + 6! + 4 + 5]", 20},
        {{42, 4, 6, {}, Number::make_real(6.9)}, "[1 + 4 + 6! + 4 + 5]", 20},     // truncated to 6
        {{42, 4, 6, {}, Number::make_percent(6.0)}, "[1 + 4 + 6! + 4 + 5]", 20},  // 600%
        {{42, 4, 6, high(3), num(6)}, "[1* + 4 + 6! + 4* + 5]", 15},
        {{42, 4, 6, high(0), num(6)}, "[1 + 4 + 6! + 4 + 5]", 20},
        {{0, 3, 6, {}, num(6)}, "[3 + 2 + 6! + 6! + 2]", 19},
        {{0, 3, 6, low(2), num(5)}, "[3* + 2 + 6*! + 6*! + 2]", 4},
    };
    for (const auto& c : cases) {
        auto rng = Xoroshiro128StarStar::from_seed(c.term.seed);
        const auto r = pipwerk::roll_with_modifiers(rng, c.term.count, c.term.faces, c.term.keep, c.term.bonus);
        ASSERT_TRUE(r.has_value()) << c.detail;
        EXPECT_EQ(r->detail(), c.detail);
        EXPECT_EQ(r->total, c.total) << c.detail;
        expect_consistent(*r, c.term.faces);
    }
}

TEST(RollTest, ComparisonDetailAndSuccesses) {
    using Kind = ComparisonOp::Kind;
    struct Case {
        Term term;
        ComparisonOp comparison;
        std::string detail;
        std::int64_t successes;
    };
    const std::vector<Case> cases = {
        {{42, 4, 6, {}, {}}, {Kind::Greater, num(3)}, "<1* + 4 + 6 + 4>", 3},
        {{42, 4, 6, {}, {}}, {Kind::Greater, Number::make_real(3.9)}, "<1* + 4 + 6 + 4>", 3},
        {{42, 4, 6, {}, {}}, {Kind::Less, num(4)}, "<1 + 4* + 6* + 4*>", 1},
        {{42, 4, 6, {}, {}}, {Kind::LessEqual, num(4)}, "<1 + 4 + 6* + 4>", 3},
        {{42, 4, 6, high(3), {}}, {Kind::GreaterEqual, num(4)}, "<4 + 6 + 4>", 3},
        {{42, 1, 20, {}, {}}, {Kind::Greater, num(3)}, "<3*>", 0},
        {{0, 5, 10, {}, {}}, {Kind::GreaterEqual, num(7)}, "<1* + 10 + 10 + 4* + 6*>", 2},
        {{0, 5, 10, high(3), {}}, {Kind::NotEqual, num(10)}, "<10* + 10* + 6>", 1},
        {{3, 3, 6, {}, num(5)}, {Kind::Greater, num(5)}, "<3* + 6! + 1* + 6! + 5*! + 6! + 5*! + 3*>", 3},
    };
    for (const auto& c : cases) {
        auto rng = Xoroshiro128StarStar::from_seed(c.term.seed);
        const auto r = pipwerk::roll_with_modifiers(rng, c.term.count, c.term.faces, c.term.keep, c.term.bonus);
        ASSERT_TRUE(r.has_value()) << c.detail;
        EXPECT_EQ(r->detail_comparison(c.comparison), c.detail);
        const std::int64_t u = c.comparison.threshold.integer_view();
        std::int64_t successes = 0;
        for (std::size_t i = 0; i < r->size; ++i) {
            successes += r->kept[i] && ComparisonOp::passes(c.comparison.kind, r->rolls[i], u);
        }
        EXPECT_EQ(successes, c.successes) << c.detail;
        // The same term read once, as the evaluator rolls it.
        const pipwerk::DiceTerm term =
            pipwerk::dice_term(c.term.count, c.term.faces, c.term.keep, c.term.bonus, c.comparison);
        RollResult pool;
        auto again = Xoroshiro128StarStar::from_seed(c.term.seed);
        ASSERT_TRUE(pipwerk::roll_with_modifiers_into(pool, again, term).has_value()) << c.detail;
        EXPECT_EQ(pipwerk::term_value(pool, term), c.successes) << c.detail;
        char text[RollResult::kMaxDetailLength];
        EXPECT_EQ(std::string(text, pool.write_detail_comparison(text, term.comparison, term.threshold)), c.detail);
    }
}

TEST(RollTest, TermReadsModifiersAsTheRollUsesThem) {
    using Kind = ComparisonOp::Kind;
    struct Case {
        std::optional<KeepMode> keep;
        std::optional<Number> bonus;
        std::optional<ComparisonOp> comparison;
        std::int64_t keep_count, bonus_threshold, threshold;
    };
    const std::vector<Case> cases = {
        {{}, {}, {}, 0, 0, 0},
        {high(3), {}, {}, 3, 0, 0},
        {low(2), {}, {}, -2, 0, 0},
        {low(-2), {}, {}, 2, 0, 0},
        {high(kI64Min), {}, {}, kI64Min, 0, 0},
        {low(kI64Min), {}, {}, kI64Max, 0, 0},  // its negation saturates
        {low(kI64Max), {}, {}, -kI64Max, 0, 0},
        {{}, Number::make_real(6.9), {}, 0, 6, 0},
        {{}, Number::make_percent(6.0), {}, 0, 6, 0},
        {{}, Number::make_real(-2.5), {}, 0, -2, 0},
        {{}, {}, ComparisonOp{Kind::Greater, Number::make_real(3.9)}, 0, 0, 3},
        {{}, {}, ComparisonOp{Kind::NotEqual, Number::make_percent(0.5)}, 0, 0, 0},
        {high(1), num(5), ComparisonOp{Kind::LessEqual, num(-4)}, 1, 5, -4},
    };
    for (const Case& c : cases) {
        const pipwerk::DiceTerm term = pipwerk::dice_term(4, 6, c.keep, c.bonus, c.comparison);
        SCOPED_TRACE(::testing::Message() << "keep " << c.keep_count << " bonus " << c.bonus_threshold);
        EXPECT_EQ(term.count, 4);
        EXPECT_EQ(term.faces, 6);
        EXPECT_EQ(term.keep, c.keep_count);
        EXPECT_EQ(term.has_bonus, c.bonus.has_value());
        if (c.bonus) {
            EXPECT_EQ(term.bonus, c.bonus_threshold);
        }
        EXPECT_EQ(term.has_comparison, c.comparison.has_value());
        if (c.comparison) {
            EXPECT_EQ(term.comparison, c.comparison->kind);
            EXPECT_EQ(term.threshold, c.threshold);
        }
    }
}

TEST(RollTest, DetailAppendsToCallerText) {
    auto rng = Xoroshiro128StarStar::from_seed(42);
    const auto r = pipwerk::roll_rdk(rng, 4, 6, 3);
    ASSERT_TRUE(r.has_value());
    std::string out = "x = ";
    r->append_detail(out);
    r->append_detail_comparison(out, {ComparisonOp::Kind::Greater, num(4)});
    EXPECT_EQ(out, "x = [1* + 4 + 6 + 4]<4* + 6 + 4*>");
}

TEST(RollTest, LimitsAreCheckedInOrderAndFailuresDrawNothing) {
    const auto non_positive = PipwerkError::non_positive();
    struct Case {
        std::int32_t count, faces;
        std::optional<Number> bonus;
        std::optional<PipwerkError> error;  // nothing: the roll succeeds
    };
    const std::vector<Case> cases = {
        {50, 1000, {}, {}},
        {51, 6, {}, PipwerkError::dice_count_exceeds_max(51, 50)},
        {1, 2, {}, {}},
        {6, 1001, {}, PipwerkError::dice_face_exceeds_max(1001, 1000)},
        {0, 6, {}, non_positive},
        {-3, 6, {}, non_positive},
        {kI32Min, 6, {}, non_positive},
        {1, 1, {}, non_positive},
        {3, 0, {}, non_positive},
        {0, 2000, {}, non_positive},
        {60, 2000, {}, PipwerkError::dice_count_exceeds_max(60, 50)},
        {51, 1001, {}, PipwerkError::dice_count_exceeds_max(51, 50)},
        {0, 6, num(7), non_positive},
        {2, 1, num(7), non_positive},
        {60, 6, num(7), {}},
        {2, 5000, num(5000), {}},
    };
    for (const auto& c : cases) {
        auto rng = Xoroshiro128StarStar::from_seed(5);
        const auto r = pipwerk::roll_with_modifiers(rng, c.count, c.faces, high(1), c.bonus);
        const std::string label = std::to_string(c.count) + "d" + std::to_string(c.faces);
        if (!c.error) {
            ASSERT_TRUE(r.has_value()) << label;
            expect_consistent(*r, c.faces);
            continue;
        }
        ASSERT_FALSE(r.has_value()) << label;
        EXPECT_EQ(r.error(), *c.error) << label;
        EXPECT_EQ(rng.next(), Xoroshiro128StarStar::from_seed(5).next()) << label;
    }
    // The same checks guard the roll entries used without modifiers.
    auto rng = Xoroshiro128StarStar::from_seed(5);
    EXPECT_EQ(pipwerk::roll_base(rng, 51, 6).error(), PipwerkError::dice_count_exceeds_max(51, 50));
    EXPECT_EQ(pipwerk::roll_rdk(rng, 4, 1001, 2).error(), PipwerkError::dice_face_exceeds_max(1001, 1000));
    EXPECT_EQ(rng.next(), Xoroshiro128StarStar::from_seed(5).next());
}

TEST(RollTest, BonusPoolIsCappedAtFiftyDice) {
    struct Case {
        std::uint64_t seed;
        std::int32_t count, faces;
        Number threshold;
        std::size_t bonus_marks;
    };
    const std::vector<Case> cases = {
        {0, 1, 6, num(1), 49},                       // every die qualifies until the pool is full
        {0, 1, 6, num(0), 49},
        {0, 1, 6, Number::make_percent(1.99), 49},  // 199% acts as 1
        {0, 60, 6, num(7), 0},                       // never met: only the 50 initial dice
        {0, 50, 6, num(1), 0},                       // already full before the bonus pass
        {0, 49, 6, num(1), 1},
    };
    for (const auto& c : cases) {
        CountingRng rng(c.seed);
        const auto r = pipwerk::roll_with_modifiers(rng, c.count, c.faces, {}, c.threshold);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->size, 50u);
        EXPECT_EQ(rng.draws, 50);
        for (std::size_t i = 0; i < r->size; ++i) {
            EXPECT_EQ(r->earned_bonus[i], i < c.bonus_marks) << c.count << " die " << i;
        }
        expect_consistent(*r, c.faces);
    }
}

TEST(RollTest, PoolHoldsDrawsInOrder) {
    auto rng = Xoroshiro128StarStar::from_seed(3);
    const auto r = pipwerk::roll_with_modifiers(rng, 3, 6, low(3), num(5));
    ASSERT_TRUE(r.has_value());
    auto fresh = Xoroshiro128StarStar::from_seed(3);
    std::vector<std::int32_t> draws;
    for (std::size_t i = 0; i < r->size; ++i) draws.push_back(fresh.rand_range(1, 6));
    EXPECT_EQ(rolls_of(*r), draws);
    EXPECT_EQ(rng.next(), fresh.next());  // nothing drawn beyond the pool
}

TEST(RollTest, KeepBreaksTiesInRollOrder) {
    RollResult base;
    for (std::int32_t v : {5, 3, 5, 3, 5}) {
        base.rolls[base.size] = v;
        base.kept[base.size] = true;
        base.total += v;
        ++base.size;
    }
    struct Case {
        std::int64_t s;
        std::vector<bool> kept;
    };
    const std::vector<Case> cases = {
        {2, {true, false, true, false, false}},  {4, {true, true, true, false, true}},
        {-1, {false, true, false, false, false}}, {-3, {true, true, false, true, false}},
        {0, {true, true, true, true, true}},      {5, {true, true, true, true, true}},
        {kI64Min, {true, true, true, true, true}},
    };
    for (const auto& c : cases) {
        RollResult r = base;
        pipwerk::apply_keep_to_result(r, c.s);
        EXPECT_EQ(std::vector<bool>(r.kept.begin(), r.kept.begin() + r.size), c.kept) << c.s;
        expect_consistent(r, 6);
    }
}

// Keep by a plain stable sort of the positions, as the rule is stated.
std::vector<bool> kept_by_sort(const std::vector<std::int32_t>& rolls, std::int64_t s) {
    std::vector<std::size_t> order(rolls.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return s > 0 ? rolls[a] > rolls[b] : rolls[a] < rolls[b];
    });
    const std::uint64_t magnitude = s < 0 ? 0 - static_cast<std::uint64_t>(s) : static_cast<std::uint64_t>(s);
    std::vector<bool> kept(rolls.size(), s == 0 || magnitude >= rolls.size());
    if (s != 0 && magnitude < rolls.size()) {
        for (std::size_t i = 0; i < magnitude; ++i) kept[order[i]] = true;
    }
    return kept;
}

TEST(RollTest, KeepMatchesAStableSortOfThePool) {
    // Pools of every size with few distinct values (many ties), each kept by
    // every count from all-but-one to all, highest and lowest.
    Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(9);
    for (std::size_t size = 1; size <= pipwerk::kMaxPool; ++size) {
        for (int round = 0; round < 4; ++round) {
            RollResult base;
            std::vector<std::int32_t> rolls;
            for (std::size_t i = 0; i < size; ++i) {
                const std::int32_t v = rng.rand_range(1, round == 0 ? 2 : 6);
                rolls.push_back(v);
                base.rolls[i] = v;
                base.kept[i] = true;
                base.total += v;
            }
            base.size = size;
            for (std::int64_t n = 0; n <= static_cast<std::int64_t>(size) + 1; ++n) {
                for (const std::int64_t s : {n, -n}) {
                    SCOPED_TRACE(::testing::Message() << "size " << size << " keep " << s);
                    RollResult r = base;
                    pipwerk::apply_keep_to_result(r, s);
                    const std::vector<bool> want = kept_by_sort(rolls, s);
                    ASSERT_EQ(std::vector<bool>(r.kept.begin(), r.kept.begin() + r.size), want);
                    std::int64_t total = 0;
                    for (std::size_t i = 0; i < size; ++i) total += want[i] ? rolls[i] : 0;
                    ASSERT_EQ(r.total, total);
                }
            }
        }
    }
}

TEST(RollTest, ReusedPoolRollsLikeAFreshOne) {
    // One pool through terms of different sizes and modifiers: each roll must
    // equal the fresh roll_with_modifiers of the same draws, whatever the pool
    // held before.
    struct Term {
        std::int32_t count;
        std::int32_t faces;
        std::optional<KeepMode> keep;
        std::optional<Number> bonus;
    };
    const std::vector<Term> terms = {
        {50, 6, std::nullopt, Number::make_int(4)},
        {4, 6, KeepMode{KeepMode::Dir::High, 3}, std::nullopt},
        {2, 20, KeepMode{KeepMode::Dir::Low, 1}, std::nullopt},
        {10, 10, std::nullopt, std::nullopt},
        {3, 6, KeepMode{KeepMode::Dir::High, 2}, Number::make_int(5)},
        {0, 6, std::nullopt, std::nullopt},
        {51, 6, std::nullopt, std::nullopt},
        {1, 1001, std::nullopt, std::nullopt},
        {1, 6, std::nullopt, std::nullopt},
    };
    RollResult pool;
    Xoroshiro128StarStar reused = Xoroshiro128StarStar::from_seed(3);
    Xoroshiro128StarStar fresh = Xoroshiro128StarStar::from_seed(3);
    for (int pass = 0; pass < 3; ++pass) {
        for (const Term& t : terms) {
            SCOPED_TRACE(::testing::Message() << t.count << "d" << t.faces << " pass " << pass);
            const pipwerk::Result<void> got = pipwerk::roll_with_modifiers_into(pool, reused, t.count, t.faces, t.keep, t.bonus);
            const auto want = pipwerk::roll_with_modifiers(fresh, t.count, t.faces, t.keep, t.bonus);
            ASSERT_EQ(got.has_value(), want.has_value());
            if (!want) {
                EXPECT_EQ(got.error(), want.error());
                continue;
            }
            ASSERT_EQ(pool.size, want->size);
            EXPECT_EQ(pool.total, want->total);
            for (std::size_t i = 0; i < pool.size; ++i) {
                EXPECT_EQ(pool.rolls[i], want->rolls[i]) << i;
                EXPECT_EQ(pool.kept[i], want->kept[i]) << i;
                EXPECT_EQ(pool.earned_bonus[i], want->earned_bonus[i]) << i;
            }
            EXPECT_EQ(pool.detail(), want->detail());
        }
    }
}

TEST(RollTest, EveryDieValueIsWrittenInDecimal) {
    // Every value a plain die can show, and the wider ones of bonus terms,
    // with each combination of marks.
    std::vector<std::int32_t> values;
    for (std::int32_t v = 0; v <= 1100; ++v) values.push_back(v);
    for (const std::int32_t v : {9999, 10000, 123456, 2147483647, -1, kI32Min}) values.push_back(v);
    for (const std::int32_t v : values) {
        for (int marks = 0; marks < 4; ++marks) {
            RollResult r;
            r.rolls[0] = v;
            r.rolls[1] = 1;
            r.kept[0] = (marks & 1) == 0;
            r.kept[1] = true;
            r.earned_bonus[0] = (marks & 2) != 0;
            r.size = 2;
            const std::string die = std::to_string(v) + ((marks & 1) != 0 ? "*" : "") + ((marks & 2) != 0 ? "!" : "");
            ASSERT_EQ(r.detail(), "[" + die + " + 1]") << v;
        }
    }
}

TEST(RollTest, DetailFitsTheBoundOfItsFaces) {
    // A pool whose dice lie in [1, faces] fits the room its size and faces
    // give; the buffer is exactly that long, so a sanitizer build sees any
    // byte written past it. The narrowest dice (1s) and the widest (faces)
    // both, every die marked and none.
    for (const std::int32_t faces : {2, 9, 10, 99, 100, 999, 1000, 1001, 9999, 10000, 2147483647}) {
        for (const std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{7}, pipwerk::kMaxPool}) {
            for (const std::int32_t value : {1, faces}) {
                for (const bool marked : {false, true}) {
                    SCOPED_TRACE(::testing::Message() << size << " x " << value << " of d" << faces << " " << marked);
                    RollResult r;
                    for (std::size_t i = 0; i < size; ++i) {
                        r.rolls[i] = value;
                        r.kept[i] = !marked;
                        r.earned_bonus[i] = marked;
                    }
                    r.size = size;
                    const std::size_t bound = RollResult::detail_length_bound(size, faces);
                    std::vector<char> text(bound);
                    const char* end = r.write_detail(text.data());
                    ASSERT_LE(static_cast<std::size_t>(end - text.data()), bound);
                    EXPECT_EQ(std::string(static_cast<const char*>(text.data()), end), r.detail());
                    for (std::size_t i = 0; i < size; ++i) r.kept[i] = true;
                    end = r.write_detail_comparison(text.data(), ComparisonOp::Kind::Less, 1);  // every die fails
                    ASSERT_LE(static_cast<std::size_t>(end - text.data()), bound);
                }
            }
        }
    }
}

TEST(RollTest, DetailFitsItsBound) {
    // The widest dice a pool can hold, every one marked both ways.
    struct Case {
        std::int32_t value;
        std::size_t size;
    };
    const std::vector<Case> cases = {{kI32Min, pipwerk::kMaxPool}, {2147483647, pipwerk::kMaxPool}, {1000, 50},
                                     {9999, 7},  {10000, 7},  {99, 3},   {100, 3},  {9, 1}, {10, 1}, {-1, 2}, {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.value << " x" << c.size);
        RollResult r;
        for (std::size_t i = 0; i < c.size; ++i) {
            r.rolls[i] = c.value;
            r.kept[i] = false;
            r.earned_bonus[i] = true;
        }
        r.size = c.size;
        char text[RollResult::kMaxDetailLength];
        const std::size_t bound = r.detail_length_bound();
        EXPECT_LE(bound, RollResult::kMaxDetailLength);
        EXPECT_LE(static_cast<std::size_t>(r.write_detail(text) - text), bound);
        EXPECT_EQ(std::string(text, r.write_detail(text)), r.detail());
        const ComparisonOp all_fail{ComparisonOp::Kind::Greater, Number::make_int(kI64Max)};
        for (std::size_t i = 0; i < c.size; ++i) r.kept[i] = true;
        EXPECT_LE(static_cast<std::size_t>(r.write_detail_comparison(text, all_fail) - text), bound);
    }
}

}  // namespace
