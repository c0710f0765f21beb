// The odds of single large dice terms against references that work another
// way: a face-by-face sweep with multinomial counts for keep and success
// counts, and a walk along the pool, die by die, for bonus thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "odds/dice_term_odds.hpp"
#include "pipwerk/odds.hpp"

namespace {

using Law = std::map<std::int64_t, long double>;

long double choose(int n, int k) {
    long double c = 1;
    for (int i = 1; i <= k; ++i) c = c * static_cast<long double>(n - k + i) / i;
    return c;
}

// n dice of f faces, keep the k best (highest, or lowest when `lowest`),
// score(face) added per kept die. Faces are visited from the best down; at
// each face the dice left (all no better than it) show it binomially.
Law sweep(int n, int f, int k, bool lowest, const std::function<int(int)>& score) {
    int top = 0;
    for (int x = 1; x <= f; ++x) top = std::max(top, score(x));
    const auto width = static_cast<std::size_t>(k * top + 1);
    // state[c][s]: c dice placed on better faces, kept score s.
    std::vector<std::vector<long double>> state(static_cast<std::size_t>(n + 1), std::vector<long double>(width));
    state[0][0] = 1.0L;
    for (int step = 0; step < f; ++step) {
        const int face = lowest ? step + 1 : f - step;
        const int faces_left = f - step;  // the remaining dice are uniform on these
        auto next = std::vector<std::vector<long double>>(state.size(), std::vector<long double>(width));
        for (int c = 0; c <= n; ++c) {
            const int m = n - c;
            for (int j = 0; j <= m; ++j) {
                if (faces_left == 1 && j != m) continue;
                const long double p = faces_left == 1 ? 1.0L
                                                      : choose(m, j) * std::pow(1.0L / faces_left, j) *
                                                            std::pow(static_cast<long double>(faces_left - 1) / faces_left, m - j);
                const auto add = static_cast<std::size_t>(std::clamp(k - c, 0, j) * score(face));
                const auto& from = state[static_cast<std::size_t>(c)];
                auto& to = next[static_cast<std::size_t>(c + j)];
                for (std::size_t s = 0; s + add < width; ++s) {
                    if (from[s] != 0) to[s + add] += from[s] * p;
                }
            }
        }
        state = std::move(next);
    }
    Law law;
    for (std::size_t s = 0; s < width; ++s) law[static_cast<std::int64_t>(s)] += state[static_cast<std::size_t>(n)][s];
    return law;
}

// A bonus roll walked die by die: the pool's size and the count of each
// face so far; a die that reaches the threshold while the pool holds fewer
// than 50 adds a die. The kept score is read off the final counts.
Law pool_walk(int count, int f, int threshold, int keep, bool lowest, const std::function<int(int)>& score) {
    using Counts = std::array<int, 8>;
    std::map<std::pair<int, Counts>, long double> state{{{std::min(count, 50), Counts{}}, 1.0L}};
    Law law;
    for (int i = 0; !state.empty(); ++i) {
        std::map<std::pair<int, Counts>, long double> next;
        for (const auto& [key, w] : state) {
            const auto& [size, counts] = key;
            if (i == size) {  // every die drawn: score the pool
                int left = keep == 0 ? size : std::min(keep, size);
                std::int64_t total = 0;
                for (int step = 0; step < f; ++step) {
                    const int face = lowest ? step + 1 : f - step;
                    const int taken = std::min(left, counts[static_cast<std::size_t>(face)]);
                    total += static_cast<std::int64_t>(taken) * score(face);
                    left -= taken;
                }
                law[total] += w;
                continue;
            }
            for (int face = 1; face <= f; ++face) {
                Counts c = counts;
                ++c[static_cast<std::size_t>(face)];
                const int grown = size < 50 && face >= threshold ? size + 1 : size;
                next[{grown, c}] += w / f;
            }
        }
        state = std::move(next);
    }
    return law;
}

void expect_law(const std::string& expression, const Law& want) {
    SCOPED_TRACE(expression);
    const auto got = pipwerk::odds(expression);
    ASSERT_TRUE(got.has_value()) << got.error().message;
    ASSERT_EQ(got->elements.size(), 1u);
    const pipwerk::Distribution& d = got->elements.front();
    Law nonzero;
    for (const auto& [v, p] : want) {
        if (p > 0) nonzero[v] = p;
    }
    ASSERT_EQ(d.size(), nonzero.size());
    std::size_t i = 0;
    long double total = 0;
    for (const auto& [v, p] : nonzero) {
        EXPECT_EQ(d[i].value, static_cast<double>(v));
        EXPECT_LE(std::fabs(static_cast<long double>(d[i].probability) - p), 1e-12L * p)
            << "value " << v << ": " << d[i].probability << " vs " << static_cast<double>(p);
        total += d[i].probability;
        ++i;
    }
    EXPECT_NEAR(static_cast<double>(total), 1.0, 1e-12);
}

int face(int x) { return x; }

// "40d1000b990k39": a bonus term's text, with no keep when keep is 0.
std::string bonus_term(int count, int f, int threshold, int keep, bool lowest) {
    std::string keeping;
    if (keep != 0) keeping = (lowest ? "kl" : "k") + std::to_string(keep);
    return std::to_string(count) + "d" + std::to_string(f) + "b" + std::to_string(threshold) + keeping;
}

// A bonus term whose law is checked against the die-by-die walk of its pools.
struct WalkedBonusTerm {
    int count, f, threshold, keep;
    bool lowest;
    const char* comparison;
    std::function<int(int)> score;
};

void expect_walked(const WalkedBonusTerm& c) {
    expect_law(bonus_term(c.count, c.f, c.threshold, c.keep, c.lowest) + c.comparison,
               pool_walk(c.count, c.f, c.threshold, c.keep, c.lowest, c.score));
}

TEST(OddsReference, KeepAndSuccessCountsOfLargePools) {
    struct Case {
        int n, f, k;
        bool lowest;
        const char* comparison;  // "" for a sum
        std::function<int(int)> score;
    };
    const std::vector<Case> cases = {
        {20, 20, 10, false, "", face},
        {12, 30, 5, true, "", face},
        {50, 10, 25, false, "", face},
        {50, 12, 49, true, "", face},
        {50, 12, 1, false, "", face},
        {37, 17, 36, false, "", face},
        {30, 12, 7, false, ">=8", [](int x) { return x >= 8 ? 1 : 0; }},
        {40, 9, 20, true, "!=5", [](int x) { return x != 5 ? 1 : 0; }},
        {25, 100, 24, false, "<50", [](int x) { return x < 50 ? 1 : 0; }},
        {50, 6, 0, false, "", face},
        {45, 8, 50, false, ">3", [](int x) { return x > 3 ? 1 : 0; }},
    };
    for (const Case& c : cases) {
        const std::string keep = c.k == 0 ? "" : (c.lowest ? "kl" : "k") + std::to_string(c.k);
        const std::string e = std::to_string(c.n) + "d" + std::to_string(c.f) + keep + c.comparison;
        expect_law(e, sweep(c.n, c.f, c.k == 0 ? c.n : c.k, c.lowest, c.score));
    }
}

TEST(OddsReference, BonusPoolsWalkedDieByDie) {
    const std::vector<WalkedBonusTerm> cases = {
        {1, 3, 1, 0, false, "", face},   // every die qualifies: 50 dice
        {3, 3, 2, 0, false, "", face},
        {3, 3, 2, 4, false, "", face},
        {3, 3, 2, 2, true, "", face},
        {2, 3, 3, 5, true, "", face},
        {60, 2, 3, 0, false, "", face},  // never met: the pool is capped at 50
        {48, 2, 2, 10, false, "", face},
        {1, 2, 2, 3, true, ">=2", [](int x) { return x >= 2 ? 1 : 0; }},
        {4, 3, 0, 30, false, "!=2", [](int x) { return x != 2 ? 1 : 0; }},
        {2, 4, 4, 1, false, "", face},
        {5, 4, 3, 3, true, "", face},
    };
    for (const WalkedBonusTerm& c : cases) expect_walked(c);
}

// Bonus pools kept nearly whole: many group sizes, each keeping all but a
// few of its dice. A pool that starts full (50 dice or more asked) never
// examines a die; a qualifying group of one face (threshold at the top face,
// or at 2 when keeping lowest) scores the same on every roll.
TEST(OddsReference, BonusPoolsKeptNearlyWhole) {
    const auto at_least = [](int t) { return [t](int x) { return x >= t ? 1 : 0; }; };
    const std::vector<WalkedBonusTerm> cases = {
        {50, 3, 2, 48, false, "", face},
        {50, 3, 3, 47, true, "", face},
        {55, 3, 1, 49, false, ">=2", at_least(2)},
        {70, 3, 2, 1, true, "", face},
        {6, 3, 3, 5, false, "", face},
        {12, 3, 3, 11, false, ">=3", at_least(3)},
        {10, 4, 4, 8, false, "", face},
        {8, 3, 2, 6, true, "", face},
        {7, 4, 2, 5, true, "<3", [](int x) { return x < 3 ? 1 : 0; }},
        {9, 4, 3, 8, false, "", face},
        {20, 3, 3, 19, true, "", face},
    };
    for (const WalkedBonusTerm& c : cases) expect_walked(c);
}

}  // namespace

namespace {

// The far ends of wide laws, whose chances are known in closed form, keep
// their relative precision: no running sum may swamp them.
TEST(OddsReference, FarTailsKeepTheirRelativePrecision) {
    const long double tiny = std::pow(1000.0L, -50);
    long double all_top = 0;  // at least 25 of 50 dice show 1000
    for (int j = 25; j <= 50; ++j) all_top += choose(50, j) * std::pow(1e-3L, j) * std::pow(0.999L, 50 - j);
    struct Case {
        const char* expression;
        double value;
        long double chance;
    };
    const std::vector<Case> cases = {
        {"50d1000", 50, tiny},
        {"50d1000", 51, 50 * tiny},
        {"50d1000", 50 + 700, choose(49 + 700, 49) * tiny},
        {"50d1000", 50000, tiny},
        {"50d1000", 50000 - 700, choose(49 + 700, 49) * tiny},
        {"50d1000k25", 25, tiny},
        {"50d1000k25", 25000, all_top},
        {"50d1000kl25", 25000, tiny},
        {"50d1000kl25", 25, all_top},  // at least 25 dice show 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.expression) + " at " + std::to_string(c.value));
        const auto got = pipwerk::odds(c.expression);
        ASSERT_TRUE(got.has_value());
        const auto& d = got->elements.front();
        const auto it = std::find_if(d.begin(), d.end(), [&](const pipwerk::Outcome& o) { return o.value == c.value; });
        ASSERT_NE(it, d.end());
        EXPECT_LE(std::fabs(static_cast<long double>(it->probability) - c.chance), 1e-12L * c.chance)
            << it->probability << " vs " << static_cast<double>(c.chance);
    }
}

}  // namespace

namespace {

using pipwerk::detail::BottomSum;

// One dice term summed with its bottom group's keeps apart, or folded into
// one pass with the top groups, through the engine's own term law.
Law term_law(int count, int f, int threshold, int keep, bool lowest, const pipwerk::ComparisonOp* comparison,
             BottomSum how) {
    pipwerk::DiceExpr dice{.count = pipwerk::Number::make_int(count),
                           .faces = pipwerk::Number::make_int(f),
                           .keep = pipwerk::KeepMode{lowest ? pipwerk::KeepMode::Dir::Low : pipwerk::KeepMode::Dir::High, keep},
                           .bonus = pipwerk::Number::make_int(threshold),
                           .comparison = {}};
    if (comparison != nullptr) dice.comparison = *comparison;
    pipwerk::detail::WorkBudget budget(std::uint64_t{1} << 40);
    const auto law = pipwerk::detail::dice_term_law(dice, count, f, budget, how);
    Law out;
    if (!law) {
        ADD_FAILURE() << law.error().message;
        return out;
    }
    for (std::size_t i = 0; i < law->size(); ++i) {
        if (law->p[i] != 0.0) out[law->lo + static_cast<std::int64_t>(i)] = law->p[i];
    }
    return out;
}

void expect_same(const Law& got, const Law& want, long double tolerance) {
    ASSERT_EQ(got.size(), want.size());
    long double total = 0;
    for (const auto& [v, p] : want) {
        const auto it = got.find(v);
        ASSERT_NE(it, got.end()) << "value " << v;
        EXPECT_LE(std::fabs(it->second - p), tolerance * p) << "value " << v << ": " << static_cast<double>(it->second)
                                                           << " vs " << static_cast<double>(p);
        total += it->second;
    }
    EXPECT_NEAR(static_cast<double>(total), 1.0, 1e-12);
}

// A bonus pool's bottom group kept beside each top group size, both ways:
// against the die-by-die walk where it can list the pools, else one way
// against the other (the walk vouches for the first through the cases
// above and these).
TEST(OddsReference, BottomGroupsSummedApartOrFolded) {
    const pipwerk::ComparisonOp at_least_3{pipwerk::ComparisonOp::Kind::GreaterEqual, pipwerk::Number::make_int(3)};
    const pipwerk::ComparisonOp below_3{pipwerk::ComparisonOp::Kind::Less, pipwerk::Number::make_int(3)};
    const pipwerk::ComparisonOp not_10{pipwerk::ComparisonOp::Kind::NotEqual, pipwerk::Number::make_int(10)};
    struct Case {
        int count, f, threshold, keep;
        bool lowest;
        const pipwerk::ComparisonOp* comparison;
        std::function<int(int)> score;  // for the walk; empty: too large to list every pool
    };
    const std::vector<Case> cases = {
        {8, 4, 3, 7, false, nullptr, face},    // a top group of two faces, many bottom keeps
        {10, 4, 2, 9, true, nullptr, face},    // keep lowest: the qualifying dice are the bottom
        {12, 4, 4, 11, false, nullptr, face},  // a top group of one face
        {6, 4, 3, 5, false, &at_least_3, [](int x) { return x >= 3 ? 1 : 0; }},
        {9, 4, 3, 6, true, &below_3, [](int x) { return x < 3 ? 1 : 0; }},
        {30, 3, 3, 28, false, nullptr, face},  // pools that reach the cap of 50
        {40, 3, 2, 38, true, nullptr, face},
        {48, 4, 4, 47, false, nullptr, face},  // pools a die or two short of the cap, kept nearly whole
        {49, 4, 3, 45, true, nullptr, face},
        {46, 3, 2, 45, true, nullptr, face},
        {47, 3, 3, 44, false, &at_least_3, [](int x) { return x >= 3 ? 1 : 0; }},
        {48, 3, 2, 46, true, &below_3, [](int x) { return x < 3 ? 1 : 0; }},
        {8, 20, 18, 7, false, nullptr, {}},
        {10, 12, 2, 9, true, nullptr, {}},
        {30, 60, 58, 29, false, nullptr, {}},
        {25, 40, 2, 24, true, nullptr, {}},
        {20, 30, 15, 12, false, nullptr, {}},  // a wide top group
        {40, 50, 50, 39, false, nullptr, {}},
        {15, 25, 20, 14, false, &not_10, {}},
        {48, 60, 50, 47, false, nullptr, {}},
        {49, 40, 5, 45, true, nullptr, {}},
        {47, 30, 25, 46, false, &not_10, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(bonus_term(c.count, c.f, c.threshold, c.keep, c.lowest) +
                     (c.comparison != nullptr ? " counting" : ""));
        const Law folded = term_law(c.count, c.f, c.threshold, c.keep, c.lowest, c.comparison, BottomSum::Folded);
        const Law apart = term_law(c.count, c.f, c.threshold, c.keep, c.lowest, c.comparison, BottomSum::Apart);
        if (c.score) {
            const Law want = pool_walk(c.count, c.f, c.threshold, c.keep, c.lowest, c.score);
            expect_same(folded, want, 1e-12L);
            expect_same(apart, want, 1e-12L);
        } else {
            expect_same(folded, apart, 1e-12L);
        }
    }
}

// A large pool kept nearly whole, whose ends are known in closed form:
// 40 dice of 1000 faces, each 1000 earning a die, keeping the highest 39.
TEST(OddsReference, LargeBonusPoolKeptNearlyWhole) {
    const auto got = pipwerk::odds("40d1000b1000k39");
    ASSERT_TRUE(got.has_value()) << got.error().message;
    const pipwerk::Distribution& d = got->elements.front();
    long double total = 0;
    for (const auto& o : d) total += o.probability;
    EXPECT_NEAR(static_cast<double>(total), 1.0, 1e-12);
    const long double all_ones = std::pow(1e-3L, 40);  // no 1000 and every die 1
    long double all_top = 0;  // at least 39 of the 50 dice of a full pool show 1000
    for (int q = 39; q <= 50; ++q) all_top += choose(50, q) * std::pow(1e-3L, q) * std::pow(0.999L, 50 - q);
    struct End {
        double value;
        long double chance;
    };
    for (const End& e : {End{39, all_ones}, End{40, 40 * all_ones}, End{39000, all_top}}) {
        const auto it = std::find_if(d.begin(), d.end(), [&](const pipwerk::Outcome& o) { return o.value == e.value; });
        ASSERT_NE(it, d.end()) << e.value;
        EXPECT_LE(std::fabs(static_cast<long double>(it->probability) - e.chance), 1e-12L * e.chance)
            << e.value << ": " << it->probability << " vs " << static_cast<double>(e.chance);
    }
}

}  // namespace

namespace {

// A bonus term keeping most of its pool knows what it will spend before it
// starts: given one step less than it takes, or far too few, it is refused
// having spent nothing past its setup, not after most of the work.
TEST(OddsReference, BonusKeepsAreRefusedBeforeTheWork) {
    struct Case {
        int count, f, threshold, keep;
        bool lowest;
        std::uint64_t budget;  // 0: one step less than the term takes
    };
    const std::vector<Case> cases = {
        {30, 60, 58, 29, false, 0},
        {25, 40, 2, 24, true, 0},
        {40, 50, 50, 39, false, 0},
        {49, 4, 3, 45, true, 0},
        {20, 30, 15, 12, false, 0},
        {6, 10, 8, 8, false, 0},  // small pools kept whole beside larger ones keeping some
        {10, 12, 3, 11, true, 0},
        {49, 1000, 381, 48, true, 0},  // its last pass over top sizes is the step too many
        {49, 1000, 900, 48, false, 0},
        {43, 1000, 800, 42, false, 0},
    };
    constexpr std::uint64_t kSetup = 64;
    // The same with the second thread or without: it changes no charge.
    for (const bool parallel : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(bonus_term(c.count, c.f, c.threshold, c.keep, c.lowest) + (parallel ? " parallel" : ""));
        const pipwerk::DiceExpr dice{
            .count = pipwerk::Number::make_int(c.count),
            .faces = pipwerk::Number::make_int(c.f),
            .keep = pipwerk::KeepMode{c.lowest ? pipwerk::KeepMode::Dir::Low : pipwerk::KeepMode::Dir::High, c.keep},
            .bonus = pipwerk::Number::make_int(c.threshold),
            .comparison = {}};
        std::uint64_t budget = c.budget;
        if (budget == 0) {
            pipwerk::detail::WorkBudget plenty(std::uint64_t{1} << 40, parallel);
            ASSERT_TRUE(pipwerk::detail::dice_term_law(dice, c.count, c.f, plenty).has_value());
            budget = (std::uint64_t{1} << 40) - plenty.left() - 1;
        }
        pipwerk::detail::WorkBudget tight(budget, parallel);
        const auto law = pipwerk::detail::dice_term_law(dice, c.count, c.f, tight);
        ASSERT_FALSE(law.has_value());
        EXPECT_EQ(law.error().kind, pipwerk::OddsError::Kind::TooLarge);
        EXPECT_EQ(tight.left(), budget - kSetup);
    }
}

}  // namespace
