// A large dice term's heavy passes run in two parts, the second on a thread
// of its own: neither the result nor the budget's charge may depend on
// whether it does, and a failure in the worker comes back to the caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "odds/dice_term_odds.hpp"
#include "odds/split_pass.hpp"
#include "pipwerk/odds.hpp"

namespace {

using pipwerk::detail::BottomSum;
using pipwerk::detail::Budgeted;
using pipwerk::detail::PassPlan;
using pipwerk::detail::WorkBudget;

constexpr std::uint64_t kPlenty = std::uint64_t{1} << 40;

// Terms whose passes are large enough to be cut in two: a plain keep (the
// top group alone), and bonus pools whose bottom groups are summed apart or
// folded, keeping highest or lowest, summing faces or counting successes.
struct Term {
    std::string label;
    int count, faces;
    std::optional<int> threshold;  // a bonus
    int keep;
    bool lowest;
    std::optional<pipwerk::ComparisonOp> comparison;
    BottomSum how;
};

pipwerk::ComparisonOp at_least(int threshold) {
    return pipwerk::ComparisonOp{pipwerk::ComparisonOp::Kind::GreaterEqual, pipwerk::Number::make_int(threshold)};
}

const std::vector<Term>& split_terms() {
    static const std::vector<Term> terms = {
        {"40d400k20", 40, 400, {}, 20, false, {}, BottomSum::Cheaper},
        {"40d400kl20", 40, 400, {}, 20, true, {}, BottomSum::Cheaper},
        {"40d300b250k38 apart", 40, 300, 250, 38, false, {}, BottomSum::Apart},
        {"40d300b250k38 folded", 40, 300, 250, 38, false, {}, BottomSum::Folded},
        {"40d300b60kl38 apart", 40, 300, 60, 38, true, {}, BottomSum::Apart},
        {"40d300b60kl38 folded", 40, 300, 60, 38, true, {}, BottomSum::Folded},
        // Success counts take few steps: only the largest pools are cut.
        {"49d1000b900k48>=950 folded", 49, 1000, 900, 48, false, at_least(950), BottomSum::Folded},
        {"49d1000b100kl48>=50 apart", 49, 1000, 100, 48, true, at_least(50), BottomSum::Apart},
    };
    return terms;
}

pipwerk::DiceExpr dice_of(const Term& t) {
    pipwerk::DiceExpr dice{
        .count = pipwerk::Number::make_int(t.count),
        .faces = pipwerk::Number::make_int(t.faces),
        .keep = pipwerk::KeepMode{t.lowest ? pipwerk::KeepMode::Dir::Low : pipwerk::KeepMode::Dir::High, t.keep},
        .bonus = {},
        .comparison = t.comparison};
    if (t.threshold) dice.bonus = pipwerk::Number::make_int(*t.threshold);
    return dice;
}

struct TermRun {
    Budgeted<pipwerk::detail::DenseLaw> law;
    std::uint64_t steps;  // what the budget was charged
};

TermRun run(const Term& t, std::uint64_t budget, bool parallel) {
    WorkBudget work(budget, parallel);
    auto law = pipwerk::detail::dice_term_law(dice_of(t), t.count, t.faces, work, t.how);
    return TermRun{std::move(law), budget - work.left()};
}

TEST(OddsSplit, OneThreadOrTwoGiveTheSameBits) {
    for (const Term& t : split_terms()) {
        SCOPED_TRACE(t.label);
        const TermRun two = run(t, kPlenty, true);
        const TermRun one = run(t, kPlenty, false);
        ASSERT_TRUE(two.law.has_value()) << two.law.error().message;
        ASSERT_TRUE(one.law.has_value()) << one.law.error().message;
        // The charge is the term's own, with or without the thread.
        EXPECT_EQ(two.steps, one.steps);
        ASSERT_EQ(two.law->lo, one.law->lo);
        ASSERT_EQ(two.law->size(), one.law->size());
        double total = 0.0;
        for (std::size_t i = 0; i < one.law->size(); ++i) {
            // Bit for bit: the same sums in the same order.
            ASSERT_EQ(std::bit_cast<std::uint64_t>(two.law->p[i]), std::bit_cast<std::uint64_t>(one.law->p[i]))
                << "value " << one.law->lo + static_cast<std::int64_t>(i);
            total += one.law->p[i];
        }
        EXPECT_NEAR(total, 1.0, 1e-12);
    }
}

// A cut pass is charged all its steps on one thread as on two, so that one
// core keeps to the budget's time. One step fewer is refused, in either mode.
TEST(OddsSplit, BudgetIsAllTheStepsOnOneThreadOrTwo) {
    for (const Term& t : split_terms()) {
        SCOPED_TRACE(t.label);
        const std::uint64_t charged = run(t, kPlenty, false).steps;
        for (const bool parallel : {true, false}) {
            const TermRun short_by_one = run(t, charged - 1, parallel);
            ASSERT_FALSE(short_by_one.law.has_value()) << "parallel " << parallel;
            EXPECT_EQ(short_by_one.law.error().kind, pipwerk::OddsError::Kind::TooLarge);
        }
    }
}

// OddsOptions::parallel reaches the term and changes nothing but the time:
// the budget that just admits it, and one step less, decide alike.
TEST(OddsSplit, OptionChangesNoDecision) {
    const Term& t = split_terms().front();
    const std::uint64_t charged = run(t, kPlenty, false).steps;
    const std::string text = t.label + " + 1d6";
    const auto need = [&](bool parallel) {
        std::uint64_t lo = charged, hi = 2 * charged;  // the + 1d6 costs a few steps more
        while (lo < hi) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            const bool ok = pipwerk::odds(text, pipwerk::OddsOptions{.work_budget = mid, .parallel = parallel}).has_value();
            if (ok) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        return lo;
    };
    EXPECT_EQ(need(true), need(false));
}

TEST(OddsSplit, PassIsCutWhereHalfTheWorkIsDone) {
    constexpr std::uint64_t M = 500'000;  // kSplitSteps is 4 M
    struct Case {
        std::vector<std::uint64_t> weights, costs;
        bool parallel;
        std::int64_t cut;  // from 10
        std::uint64_t first, second;
    };
    const std::vector<Case> cases = {
        {{M, M, M, M}, {1, 2, 3, 4}, true, 12, 3, 7},
        {{M, M, M, M}, {1, 2, 3, 4}, false, 12, 3, 7},
        {{M, M, M}, {5, 5, 5}, true, 13, 15, 0},            // too small to cut
        {{4 * M}, {9}, true, 11, 9, 0},                      // one v cannot be cut
        {{5 * M, M}, {1, 1}, true, 11, 1, 1},                // each part keeps a v
        {{M, 5 * M}, {1, 2}, true, 11, 1, 2},
        {{M, M, 3 * M, M}, {1, 1, 1, 1}, true, 12, 2, 2},    // before the heavy v: 2 M / 4 M
        {{M, 2 * M, 3 * M, M}, {1, 1, 1, 1}, true, 12, 2, 2},  // 3 M / 4 M beats 6 M / 1 M
        {{3 * M, M, 2 * M}, {1, 1, 1}, true, 11, 1, 2},      // 3 M / 3 M
    };
    const bool two_cores = std::thread::hardware_concurrency() >= 2;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        const PassPlan plan = pipwerk::detail::plan_pass(10, c.weights, c.costs, c.parallel);
        EXPECT_EQ(plan.cut, c.cut);
        EXPECT_EQ(plan.first, c.first);
        EXPECT_EQ(plan.second, c.second);
        const bool cut = c.cut < 10 + static_cast<std::int64_t>(c.weights.size());
        EXPECT_EQ(plan.two_threads, c.parallel && cut && two_cores);
        EXPECT_EQ(plan.split, cut);
        EXPECT_EQ(plan.charge(), c.first + c.second);
    }
}

// What each part ends with reaches the caller: the first part's refusal
// before the second's, and an exception thrown in either part.
TEST(OddsSplit, PartsReportTheirFailuresToTheCaller) {
    const auto refuse = [](const char* what) -> Budgeted<void> { return std::unexpected(WorkBudget::too_large(what)); };
    const auto fine = []() -> Budgeted<void> { return {}; };
    enum class Part { Fine, Refuses, Throws };
    struct Case {
        Part first, second;
        const char* want;  // the message, "" for success, "bad_alloc" for the exception
    };
    const std::vector<Case> cases = {
        {Part::Fine, Part::Fine, ""},
        {Part::Refuses, Part::Fine, "too large for exact odds: first"},
        {Part::Fine, Part::Refuses, "too large for exact odds: second"},
        {Part::Refuses, Part::Refuses, "too large for exact odds: first"},
        {Part::Fine, Part::Throws, "bad_alloc"},
        {Part::Throws, Part::Fine, "bad_alloc"},
    };
    for (const bool two_threads : {true, false}) {
        PassPlan plan;
        plan.two_threads = two_threads;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.want) + (two_threads ? " on two threads" : " on one"));
            const auto part = [&](Part p, const char* name) -> Budgeted<void> {
                if (p == Part::Throws) throw std::bad_alloc();
                return p == Part::Refuses ? refuse(name) : fine();
            };
            std::string got;
            try {
                const auto done = pipwerk::detail::run_parts(
                    plan, [&] { return part(c.first, "first"); }, [&] { return part(c.second, "second"); });
                got = done ? "" : done.error().message;
            } catch (const std::bad_alloc&) {
                got = "bad_alloc";
            }
            EXPECT_EQ(got, c.want);
        }
    }
}

}  // namespace
