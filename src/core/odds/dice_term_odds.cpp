#include "dice_term_odds.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "roll.hpp"
#include "split_pass.hpp"

// A dice term is a pool of dice drawn from one iid sequence. Its distribution
// comes from order statistics, never from listing pools:
//
// - All dice kept: the score of one die convolved with itself once per die
//   (a box filter for sums, a coin for success counts).
// - Keep the j highest of m dice uniform on [lo, hi]: condition on v, the
//   j-th highest value, and a, the number of dice strictly above v. With e
//   dice equal to v (a < j <= a + e) the weight is
//   multinomial(m; a, e, m-a-e) (hi-v)^a 1^e (v-lo)^(m-a-e) / F^m, and the
//   kept score is the a-fold score of a die uniform on (v, hi] plus (j - a)
//   times the score of v. Keep lowest is keep highest on mirrored faces.
// - A bonus threshold makes the pool size random. The stopping rule only
//   looks at which dice qualify (reach the threshold), so given the pool size
//   n and the number q that qualify, the qualifying dice are iid uniform on
//   [t, faces] and the others on [1, t - 1], and every qualifying die beats
//   every other. A recurrence along the pool gives P(n, q).
//
// So every term is two groups of iid uniform dice: a top group whose every
// die beats every die of the bottom group, with a joint law of the two group
// sizes. Keeping the k highest keeps the top group's best min(k, top) and
// the bottom group's best k - top.

namespace pipwerk::detail {
namespace {

constexpr std::size_t kSizes = kMaxPool + 1;  // group sizes 0 .. 50
using SizeWeights = std::array<double, kSizes>;

// Binomial coefficients up to 50, exact in doubles (C(50, 25) < 2^53).
const std::array<std::array<double, kSizes>, kSizes>& binomials() {
    static const auto table = [] {
        std::array<std::array<double, kSizes>, kSizes> c{};
        for (std::size_t n = 0; n < kSizes; ++n) {
            c[n][0] = 1.0;
            for (std::size_t k = 1; k <= n; ++k) c[n][k] = c[n - 1][k - 1] + (k <= n - 1 ? c[n - 1][k] : 0.0);
        }
        return c;
    }();
    return table;
}

// x^0 .. x^last (last at most 50); the entries past `last` stay zero.
SizeWeights powers(double x, std::size_t last = kSizes - 1) {
    SizeWeights p{};
    p[0] = 1.0;
    for (std::size_t i = 1; i <= last; ++i) p[i] = p[i - 1] * x;
    return p;
}

// What a kept die adds to the term's value, on working faces 1 .. faces.
// Working faces are the real ones, or mirrored (y = faces + 1 - x) so that
// "keep lowest" becomes "keep highest".
class Scoring {
public:
    Scoring(const DiceExpr& dice, std::int32_t faces, bool mirrored) : faces_(faces), mirrored_(mirrored) {
        if (!dice.comparison) return;
        counting_ = true;
        test_ = dice.comparison->kind;
        threshold_ = dice.comparison->threshold.integer_view();
    }

    [[nodiscard]] std::int64_t score(std::int64_t y) const noexcept {
        if (!counting_) return real_face(y);
        return passing(y, y);
    }

    // out = law + the score of one die uniform on working faces [a, b]; out
    // must not be law. Its storage is reused. A sum starts `lead` values
    // lower than it need, with zero weights, for what is added there next.
    [[nodiscard]] Budgeted<void> add_die_into(const DenseLaw& law, std::int64_t a, std::int64_t b, bool symmetric,
                                              DenseLaw& out, WorkBudget& budget, std::size_t lead = 0) {
        const std::int64_t width = b - a + 1;
        if (counting_) {
            if (auto ok = budget.charge(die_cost(law.size(), width, symmetric), "a success count"); !ok) return ok;
            const std::int64_t yes = passing(a, b);
            out = add_coin(law, static_cast<double>(yes) / static_cast<double>(width),
                           static_cast<double>(width - yes) / static_cast<double>(width));
            return {};
        }
        if (auto ok = budget.charge(die_cost(law.size(), width, symmetric), "a sum of dice"); !ok) return ok;
        add_uniform_into(law, mirrored_ ? faces_ + 1 - b : a, width, symmetric, out, sums_, lead);
        return {};
    }

    // The steps add_die_into takes on a law of `size` values and a die of
    // `width` faces, and the size of what it gives.
    [[nodiscard]] std::uint64_t die_cost(std::uint64_t size, std::int64_t width, bool symmetric) const noexcept {
        if (counting_) return size + 1;
        // A symmetric law takes half the steps (the rest is mirrored); any
        // other takes running sums from each end over its own half.
        const std::uint64_t span = size + static_cast<std::uint64_t>(width);
        return symmetric ? span / 2 : span;
    }
    [[nodiscard]] std::uint64_t next_size(std::uint64_t size, std::int64_t width) const noexcept {
        return counting_ ? size + 1 : size + static_cast<std::uint64_t>(width) - 1;
    }
    // How far add_die_into moves the lowest value of a law, for a die on
    // working faces [a, b].
    [[nodiscard]] std::int64_t die_low(std::int64_t a, std::int64_t b) const noexcept {
        if (counting_) return 0;
        return mirrored_ ? faces_ + 1 - b : a;
    }

    // law + the score of one die uniform on working faces [a, b].
    [[nodiscard]] Budgeted<DenseLaw> add_die(const DenseLaw& law, std::int64_t a, std::int64_t b, bool symmetric,
                                             WorkBudget& budget) {
        DenseLaw out;
        if (auto done = add_die_into(law, a, b, symmetric, out, budget); !done) return std::unexpected(done.error());
        return out;
    }

private:
    [[nodiscard]] std::int64_t real_face(std::int64_t y) const noexcept { return mirrored_ ? faces_ + 1 - y : y; }
    // The working faces in [a, b] that pass the test, counted without a
    // table: the real faces that pass are a range, or all but one face.
    [[nodiscard]] std::int64_t passing(std::int64_t a, std::int64_t b) const noexcept {
        const std::int64_t lo = mirrored_ ? faces_ + 1 - b : a;
        const std::int64_t hi = mirrored_ ? faces_ + 1 - a : b;
        const std::int64_t all = hi - lo + 1;
        // Faces of [lo, hi] at least t; t may lie anywhere.
        const auto at_least = [lo, hi, all](std::int64_t t) { return t <= lo ? all : t > hi ? 0 : hi - t + 1; };
        // Faces of [lo, hi] above u: u < hi <= faces, so u + 1 cannot wrap.
        const auto above = [hi, &at_least](std::int64_t u) { return u >= hi ? 0 : at_least(u + 1); };
        switch (test_) {
            case ComparisonOp::Kind::Greater: return above(threshold_);
            case ComparisonOp::Kind::GreaterEqual: return at_least(threshold_);
            case ComparisonOp::Kind::Less: return all - at_least(threshold_);
            case ComparisonOp::Kind::LessEqual: return all - above(threshold_);
            case ComparisonOp::Kind::NotEqual: return all - (lo <= threshold_ && threshold_ <= hi ? 1 : 0);
        }
        return 0;
    }

    std::int64_t faces_;
    bool mirrored_;
    bool counting_ = false;
    ComparisonOp::Kind test_ = ComparisonOp::Kind::Greater;
    std::int64_t threshold_ = 0;  // the integer view of the comparison's threshold
    RunningSums sums_;                   // scratch room of add_uniform
};

// One "keep the j highest" request: a mixture over group sizes m > j. For
// a pool's bottom group, `top` is the size of the top group kept whole
// beside it.
struct KeepTarget {
    std::int64_t keep = 0;
    SizeWeights mix{};
    std::size_t top = 0;
    DenseLaw out;
};

// The largest keep and the largest group size with any weight.
std::pair<std::int64_t, std::size_t> extent(std::span<const KeepTarget> targets) {
    std::int64_t max_keep = 0;
    std::size_t max_size = 0;
    for (const KeepTarget& t : targets) {
        for (std::size_t m = 0; m < kSizes; ++m) {
            if (t.mix[m] == 0.0) continue;
            max_keep = std::max(max_keep, t.keep);
            max_size = std::max(max_size, m);
        }
    }
    return {max_keep, max_size};
}

// The weights of conditioning on the boundary for dice uniform on working
// faces [lo, hi]: after at(v), weight(t, a) is the chance that the t.keep-th
// highest die is v with a dice above it, mixed over the target's group
// sizes. With e dice equal to v (a < j <= a + e) a group of m weighs
// C(m, a) above^a * C(m - a, e) one^e below^(m - a - e).
class BoundaryWeights {
public:
    BoundaryWeights(std::int64_t lo, std::int64_t hi, std::size_t max_size)
        : lo_(lo), hi_(hi), max_size_(max_size), faces_(static_cast<double>(hi - lo + 1)),
          one_(powers(1.0 / faces_, max_size)) {}  // no power above the largest group is ever read

    void at(std::int64_t v) {
        above_ = powers(static_cast<double>(hi_ - v) / faces_, max_size_);
        const SizeWeights below = powers(static_cast<double>(v - lo_) / faces_, max_size_);
        const auto& choose = binomials();
        for (std::size_t r = 0; r <= max_size_; ++r) {
            double sum = 0.0;
            for (std::size_t e = r + 1; e-- > 0;) {
                sum += choose[r][e] * one_[e] * below[r - e];
                tail_[r][e] = sum;
            }
        }
    }

    [[nodiscard]] double weight(const KeepTarget& t, std::int64_t a) const {
        const auto& choose = binomials();
        const auto ua = static_cast<std::size_t>(a);
        const auto need = static_cast<std::size_t>(t.keep - a);
        double weight = 0.0;
        for (std::size_t m = static_cast<std::size_t>(t.keep) + 1; m <= max_size_; ++m) {
            if (t.mix[m] != 0.0) weight += t.mix[m] * choose[m][ua] * tail_[m - ua][need];
        }
        return weight * above_[ua];
    }

private:
    std::int64_t lo_, hi_;
    std::size_t max_size_;
    double faces_;
    SizeWeights one_;
    SizeWeights above_{};
    // tail_[r][s]: P(at least s of r dice equal v and the rest are below), a
    // sum over e >= s of C(r, e) one^e below^(r-e). Only s <= r <= max_size
    // is written and read, so the table is not cleared for each v: clearing
    // all 51 x 51 entries cost a small keep most of its time.
    std::array<SizeWeights, kSizes> tail_;
};

// The steps keep_highest takes for each v in [lo, hi], counted as it spends
// them, add_scaled taking `per_step` values to a step: per v, the a-fold
// scores of dice above v and each target's copies of them.
std::vector<std::uint64_t> keep_highest_costs(const Scoring& scoring, std::int64_t lo, std::int64_t hi,
                                              std::span<const KeepTarget> targets, std::uint64_t per_step) {
    const std::int64_t max_keep = extent(targets).first;
    std::vector<std::uint64_t> costs;
    costs.reserve(static_cast<std::size_t>(hi - lo + 1));
    for (std::int64_t v = lo; v <= hi; ++v) {
        std::uint64_t cost = 0;
        std::uint64_t size = 1;
        for (std::int64_t a = 0; a < (v == hi ? std::min<std::int64_t>(max_keep, 1) : max_keep); ++a) {
            if (a > 0) {
                cost += scoring.die_cost(size, hi - v, true);
                size = scoring.next_size(size, hi - v);
            }
            for (const KeepTarget& t : targets) cost += t.keep > a ? size / per_step + 1 : 0;
        }
        costs.push_back(cost);
    }
    return costs;
}

// How keep_highest cuts its pass over v, and what each part costs.
PassPlan keep_highest_plan(const Scoring& scoring, std::int64_t lo, std::int64_t hi,
                           std::span<const KeepTarget> targets, bool parallel) {
    const auto weights = keep_highest_costs(scoring, lo, hi, targets, kValuesPerStep);
    return plan_pass(lo, weights, weights, parallel);
}

// One part of keep_highest: the boundaries v in [from, to] added into each
// target's law.
Budgeted<void> keep_highest_part(Scoring& scoring, std::int64_t lo, std::int64_t hi, std::int64_t from,
                                 std::int64_t to, std::span<KeepTarget> targets, WorkBudget& budget) {
    const auto [max_keep, max_size] = extent(targets);
    constexpr std::uint64_t per_step = kValuesPerStep;
    BoundaryWeights weights(lo, hi, max_size);
    // The a-fold scores of dice above v, built a few at a time: each target
    // then takes the whole block while its own law is in cache, rather than
    // every target's law being swept for each a.
    constexpr std::int64_t kBlock = 4;
    std::array<DenseLaw, kBlock> above;
    const auto above_of = [&above](std::int64_t a) -> DenseLaw& { return above[static_cast<std::size_t>(a % kBlock)]; };
    for (std::int64_t v = from; v <= to; ++v) {
        weights.at(v);
        const std::int64_t score_v = scoring.score(v);
        for (std::int64_t first = 0; first < max_keep && (first == 0 || v < hi); first += kBlock) {
            std::int64_t built = first;
            for (; built < std::min(max_keep, first + kBlock); ++built) {
                DenseLaw& sum = above_of(built);
                if (built == 0) {
                    sum.lo = 0;
                    sum.p.assign(1, 1.0);
                    continue;
                }
                if (v == hi) break;
                if (auto done = scoring.add_die_into(above_of(built - 1), v + 1, hi, true, sum, budget); !done) {
                    return done;
                }
            }
            for (KeepTarget& t : targets) {
                for (std::int64_t a = first; a < std::min(built, t.keep); ++a) {
                    const double weight = weights.weight(t, a);
                    if (weight == 0.0) continue;
                    // Adding a scaled copy is one multiply-add per value,
                    // done per_step at a time.
                    const DenseLaw& sum = above_of(a);
                    if (auto ok = budget.charge(sum.size() / per_step + 1, "a dice term"); !ok) return ok;
                    add_scaled(t.out, sum, weight, (t.keep - a) * score_v);
                }
            }
        }
    }
    return {};
}

// Fills every target's law (added to, scaled by its mixture) for dice
// uniform on working faces [lo, hi], in one pass over v: the a-fold scores
// of a die above v are shared by all targets. The pass runs as `plan` cuts
// it, each part with its own laws, the second's added to the first's.
Budgeted<void> keep_highest(Scoring& scoring, std::int64_t lo, std::int64_t hi, std::span<KeepTarget> targets,
                            const PassPlan& plan, WorkBudget& budget) {
    if (extent(targets).first == 0) return {};
    // The whole cost is known before any of it is spent: refuse at once
    // rather than after most of a second.
    if (auto ok = budget.charge(plan.charge(), "a dice term"); !ok) return ok;
    // Every kept score lies between keep times the lowest score of a die
    // and keep times the highest: room for it all at once.
    std::int64_t lowest = scoring.score(lo);
    std::int64_t highest = lowest;
    for (std::int64_t v = lo; v <= hi; ++v) {
        lowest = std::min(lowest, scoring.score(v));
        highest = std::max(highest, scoring.score(v));
    }
    const auto make_room = [lowest, highest](std::span<KeepTarget> laws) {
        for (KeepTarget& t : laws) {
            const auto first_size = static_cast<std::size_t>(std::clamp<std::int64_t>(t.keep + 1, 0, kSizes));
            const bool weighed =
                std::any_of(t.mix.begin() + static_cast<std::ptrdiff_t>(first_size), t.mix.end(), [](double w) { return w != 0.0; });
            if (t.keep > 0 && weighed) widen(t.out, t.keep * lowest, t.keep * highest);
        }
    };
    WorkBudget first_budget(plan.first);
    if (plan.cut > hi) {
        make_room(targets);
        return keep_highest_part(scoring, lo, hi, lo, hi, targets, first_budget);
    }
    std::vector<KeepTarget> upper;
    upper.reserve(targets.size());
    for (const KeepTarget& t : targets) {
        upper.push_back(KeepTarget{.keep = t.keep, .mix = t.mix, .top = t.top, .out = {}});
    }
    make_room(targets);
    make_room(upper);
    Scoring upper_scoring = scoring;
    WorkBudget second_budget(plan.second);
    auto done = run_parts(
        plan, [&] { return keep_highest_part(scoring, lo, hi, lo, plan.cut - 1, targets, first_budget); },
        [&] { return keep_highest_part(upper_scoring, lo, hi, plan.cut, hi, upper, second_budget); });
    if (!done) return done;
    // One pass over each law: less than the work of a single v, so it is
    // left out of the count the caller checks before it starts.
    for (std::size_t i = 0; i < targets.size(); ++i) add_scaled(targets[i].out, upper[i].out, 1.0, 0);
    return {};
}

// The steps keep_highest_with_tops takes for each v in [1, hi], given the
// sizes and lowest values of the top groups' laws, counted as it spends
// them: per v, the a-fold Horner pass over a law whose reach is followed
// exactly.
std::vector<std::uint64_t> keep_highest_with_tops_costs(const Scoring& scoring, std::int64_t hi,
                                                        std::span<const KeepTarget> targets,
                                                        std::span<const std::pair<std::int64_t, std::uint64_t>> tops,
                                                        std::uint64_t per_step) {
    const std::int64_t max_keep = extent(targets).first;
    std::vector<std::uint64_t> costs;
    costs.reserve(static_cast<std::size_t>(std::max<std::int64_t>(hi, 0)));
    for (std::int64_t v = 1; v <= hi; ++v) {
        std::uint64_t cost = 0;
        const std::int64_t score_v = scoring.score(v);
        std::int64_t low = 0;
        std::int64_t high = -1;  // empty while high < low
        for (std::int64_t a = v == hi ? 0 : max_keep - 1; a >= 0; --a) {
            if (high >= low) {
                const auto size = static_cast<std::uint64_t>(high - low + 1);
                cost += scoring.die_cost(size, hi - v, false);
                low += scoring.die_low(v + 1, hi);
                high = low + static_cast<std::int64_t>(scoring.next_size(size, hi - v)) - 1;
            }
            for (const KeepTarget& t : targets) {
                if (t.keep <= a) continue;
                const auto& [top_low, top_size] = tops[t.top];
                const std::int64_t first = top_low + (t.keep - a) * score_v;
                const std::int64_t last = first + static_cast<std::int64_t>(top_size) - 1;
                cost += top_size / per_step + 1;
                low = high >= low ? std::min(low, first) : first;
                high = std::max(high, last);
            }
        }
        if (high >= low) cost += static_cast<std::uint64_t>(high - low + 1) / per_step + 1;
        costs.push_back(cost);
    }
    return costs;
}

// How keep_highest_with_tops cuts its pass over v, and what each part costs.
PassPlan keep_highest_with_tops_plan(const Scoring& scoring, std::int64_t hi, std::span<const KeepTarget> targets,
                                     std::span<const std::pair<std::int64_t, std::uint64_t>> tops, bool parallel) {
    const auto weights = keep_highest_with_tops_costs(scoring, hi, targets, tops, kValuesPerStep);
    return plan_pass(1, weights, weights, parallel);
}

// One part of keep_highest_with_tops: the boundaries v in [from, to], into
// `total`.
Budgeted<void> keep_highest_with_tops_part(Scoring& scoring, std::int64_t hi, std::int64_t from, std::int64_t to,
                                           std::span<const KeepTarget> targets, std::span<const DenseLaw> tops,
                                           DenseLaw& total, WorkBudget& budget) {
    const auto [max_keep, max_size] = extent(targets);
    constexpr std::uint64_t per_step = kValuesPerStep;
    BoundaryWeights weights(1, hi, max_size);
    DenseLaw sum;
    DenseLaw next;
    std::vector<ScaledLaw> parts;
    parts.reserve(targets.size());
    for (std::int64_t v = from; v <= to; ++v) {
        weights.at(v);
        const std::int64_t score_v = scoring.score(v);
        sum.p.clear();
        for (std::int64_t a = v == hi ? 0 : max_keep - 1; a >= 0; --a) {
            if (!sum.empty()) {
                // Room below for the lowest top law added next.
                std::int64_t lowest = sum.lo + scoring.die_low(v + 1, hi);
                for (const KeepTarget& t : targets) {
                    if (t.keep > a) lowest = std::min(lowest, tops[t.top].lo + (t.keep - a) * score_v);
                }
                const auto lead = static_cast<std::size_t>(sum.lo + scoring.die_low(v + 1, hi) - lowest);
                if (auto done = scoring.add_die_into(sum, v + 1, hi, false, next, budget, lead); !done) return done;
                std::swap(sum, next);
            }
            parts.clear();
            for (const KeepTarget& t : targets) {
                if (t.keep <= a) continue;
                const double weight = weights.weight(t, a);
                if (weight == 0.0) continue;
                if (auto ok = budget.charge(tops[t.top].size() / per_step + 1, "a dice term"); !ok) return ok;
                parts.push_back(ScaledLaw{&tops[t.top], weight, (t.keep - a) * score_v});
            }
            add_scaled_all(sum, parts);
        }
        if (auto ok = budget.charge(sum.size() / per_step + 1, "a dice term"); !ok) return ok;
        add_scaled(total, sum, 1.0, 0);
    }
    return {};
}

// sum over targets of (its top group's law, all kept) + (its keep-highest
// law) for bottom targets on working faces [1, hi], as one law. Per boundary
// v, one Horner pass over a (the dice above v) serves every target at once:
// S = S * U + P_a, with U one die on (v, hi] and P_a the targets' top laws,
// weighted and moved by the keep - a copies of v they keep. Its cost does
// not grow with the number of targets, only with how far apart they lie.
// The pass runs as `plan` cuts it, the second part's law added to the first's.
Budgeted<DenseLaw> keep_highest_with_tops(Scoring& scoring, std::int64_t hi, std::span<const KeepTarget> targets,
                                          std::span<const DenseLaw> tops, const PassPlan& plan, WorkBudget& budget) {
    if (auto ok = budget.charge(plan.charge(), "a dice term"); !ok) return std::unexpected(ok.error());
    DenseLaw total;
    WorkBudget first_budget(plan.first);
    if (plan.cut > hi) {
        if (auto done = keep_highest_with_tops_part(scoring, hi, 1, hi, targets, tops, total, first_budget); !done) {
            return std::unexpected(done.error());
        }
        return total;
    }
    DenseLaw upper;
    Scoring upper_scoring = scoring;
    WorkBudget second_budget(plan.second);
    auto done = run_parts(
        plan,
        [&] { return keep_highest_with_tops_part(scoring, hi, 1, plan.cut - 1, targets, tops, total, first_budget); },
        [&] {
            return keep_highest_with_tops_part(upper_scoring, hi, plan.cut, hi, targets, tops, upper, second_budget);
        });
    if (!done) return std::unexpected(done.error());
    add_scaled(total, upper, 1.0, 0);  // like one v's sum added to the total, uncounted as in keep_highest
    return total;
}

// sum over m of mix[m] * (the score of m dice uniform on [a, b]), Horner-style.
Budgeted<DenseLaw> all_kept(Scoring& scoring, std::int64_t a, std::int64_t b, const SizeWeights& mix,
                            WorkBudget& budget) {
    DenseLaw sum;
    bool symmetric = true;  // while it is one power of the die
    for (std::size_t m = kSizes; m-- > 0;) {
        if (!sum.empty()) {
            auto next = scoring.add_die(sum, a, b, symmetric, budget);
            if (!next) return std::unexpected(next.error());
            sum = std::move(*next);
        }
        if (mix[m] != 0.0) {
            symmetric = sum.empty();
            add_scaled(sum, DenseLaw::point(0, 1.0), mix[m], 0);
        }
    }
    return sum;
}

// At least the steps the pass over top sizes at the end of kept_score takes:
// per top size, one die added to the sum so far, and the bottom group kept
// whole (all_kept, counted as it spends them, each law taken as lopsided).
std::uint64_t top_sizes_pass_cost(const Scoring& scoring, std::int64_t faces, std::int64_t top_lo,
                                  const std::array<SizeWeights, kSizes>& all, std::size_t top_sizes,
                                  std::uint64_t keep) {
    // Only pools of at most `kept` top dice are summed in this pass, each
    // keeping at most `kept` dice. Before its die for `top`, the sum holds
    // pools of more than `top` top dice with that many fewer of them added
    // so far: at most kept - 1 - top dice scored, values 0 .. that many faces.
    // Above that no die is added, and all_kept has one bottom size, 0.
    const auto kept = static_cast<std::size_t>(keep == 0 ? kSizes - 1 : std::min<std::uint64_t>(keep, kSizes - 1));
    std::uint64_t span = kSizes;
    std::uint64_t cost = 0;
    for (std::size_t top = kept; top-- > 0; span = scoring.next_size(span, faces)) {
        if (top >= top_sizes) continue;
        cost += scoring.die_cost(span, faces - top_lo + 1, false);
        if (top_lo <= 1) continue;
        std::uint64_t size = 0;  // all_kept's sum, empty until its largest bottom size
        for (std::size_t m = kSizes; m-- > 0;) {
            if (size != 0) {
                cost += scoring.die_cost(size, top_lo - 1, false);
                size = scoring.next_size(size, top_lo - 1);
            }
            if (all[top][m] != 0.0) ++size;  // a weight at 0 widens it by one at most
        }
    }
    return cost;
}

// A pool as two groups on working faces: `top` on [top_lo, faces], `bottom`
// on [1, top_lo - 1], with weights[top][bottom] the joint law of their sizes.
struct TwoGroups {
    std::int64_t top_lo = 1;
    std::array<SizeWeights, kSizes> weights{};
    std::size_t sizes = kSizes;  // one past the largest pool with any weight
};

// The kept score with `keep` highest kept (0: every die).
// How kept_score sums a pool, all from the term's numbers: the groups it
// keeps, the passes it runs, and the steps they will surely charge.
struct KeptPlan {
    std::array<SizeWeights, kSizes> all{};  // per top size: bottom sizes with every die kept
    std::array<double, kSizes> none{};      // per top size: the bottom group all dropped
    std::vector<KeepTarget> bottom_targets;
    KeepTarget top_target;
    std::size_t top_sizes = 0;  // one past the largest top group with any weight
    PassPlan top_plan;
    // The bottom targets, each beside a top group kept whole: either each
    // target's law apart, its top group added by the pass over top sizes,
    // or all of them in one law with their top groups folded in, whichever
    // takes fewer steps. Many targets far from the top of the pool favour
    // the second; a wide top group the first.
    bool fold = false;
    PassPlan bottom_plan;
    std::size_t top_max = 0;     // the largest top group beside a bottom target
    std::uint64_t tops_cost = 0;  // building the top groups' laws, when folded
    std::uint64_t passes = 0;     // the steps of the passes over v and of the top laws
    std::uint64_t checked = 0;    // those and at least the pass over top sizes, when there are bottom targets
};

KeptPlan plan_kept(const Scoring& scoring, std::int64_t faces, const TwoGroups& pool, std::uint64_t keep,
                   bool parallel, BottomSum how) {
    KeptPlan plan;
    plan.top_target.keep = static_cast<std::int64_t>(std::min<std::uint64_t>(keep, kSizes));
    for (std::size_t top = 0; top < pool.sizes; ++top) {
        for (std::size_t bottom = 0; top + bottom < pool.sizes; ++bottom) {
            const double w = pool.weights[top][bottom];
            if (w == 0.0) continue;
            plan.top_sizes = top + 1;
            const std::size_t n = top + bottom;
            if (keep == 0 || keep >= n) {
                plan.all[top][bottom] += w;
            } else if (top > keep) {
                plan.top_target.mix[top] += w;
            } else if (top == keep) {
                plan.none[top] += w;
            } else {
                const auto j = static_cast<std::int64_t>(keep - top);
                auto it = std::find_if(plan.bottom_targets.begin(), plan.bottom_targets.end(),
                                       [j](const KeepTarget& t) { return t.keep == j; });
                if (it == plan.bottom_targets.end()) {
                    plan.bottom_targets.push_back(KeepTarget{.keep = j, .mix = {}, .top = top, .out = {}});
                    it = plan.bottom_targets.end() - 1;
                }
                it->mix[bottom] += w;
            }
        }
    }
    plan.top_plan = keep_highest_plan(scoring, pool.top_lo, faces, std::span(&plan.top_target, 1), parallel);
    plan.passes = plan.top_plan.charge();
    plan.checked = plan.passes;
    if (plan.bottom_targets.empty()) return plan;
    for (const KeepTarget& t : plan.bottom_targets) plan.top_max = std::max(plan.top_max, t.top);
    // The reach of each top group's law, and what building them costs.
    std::vector<std::pair<std::int64_t, std::uint64_t>> reach(plan.top_max + 1, {0, 1});
    for (std::size_t q = 1; q <= plan.top_max; ++q) {
        plan.tops_cost += scoring.die_cost(reach[q - 1].second, faces - pool.top_lo + 1, true);
        reach[q] = {reach[q - 1].first + scoring.die_low(pool.top_lo, faces),
                    scoring.next_size(reach[q - 1].second, faces - pool.top_lo + 1)};
    }
    // The choice looks at all the steps, wherever they run, so that it is
    // the same with or without a second thread.
    const std::int64_t bottom_hi = pool.top_lo - 1;
    const PassPlan apart = keep_highest_plan(scoring, 1, bottom_hi, plan.bottom_targets, parallel);
    const PassPlan folded = keep_highest_with_tops_plan(scoring, bottom_hi, plan.bottom_targets, reach, parallel);
    plan.fold = how == BottomSum::Cheaper ? plan.tops_cost + folded.charge() < apart.charge() : how == BottomSum::Folded;
    plan.bottom_plan = plan.fold ? folded : apart;
    plan.passes += plan.fold ? plan.tops_cost + folded.charge() : apart.charge();
    plan.checked = plan.passes + top_sizes_pass_cost(scoring, faces, pool.top_lo, plan.all, plan.top_sizes, keep);
    return plan;
}

// The kept score of a pool as `plan` sums it. What the passes take is
// checked before the first runs: refused at once rather than after most of
// a second.
Budgeted<DenseLaw> kept_score(Scoring& scoring, std::int64_t faces, const TwoGroups& pool, KeptPlan& plan,
                              WorkBudget& budget) {
    if (plan.checked > budget.left()) return std::unexpected(WorkBudget::too_large("a dice term"));
    const auto& all = plan.all;
    const auto& none = plan.none;
    std::vector<KeepTarget>& bottom_targets = plan.bottom_targets;
    KeepTarget& top_target = plan.top_target;
    const std::int64_t bottom_hi = pool.top_lo - 1;
    DenseLaw bottoms_with_tops;
    if (!bottom_targets.empty()) {
        const PassPlan& bottom_plan = plan.bottom_plan;
        if (plan.fold) {
            std::vector<DenseLaw> tops(plan.top_max + 1);
            tops[0] = DenseLaw::point(0, 1.0);
            for (std::size_t q = 1; q <= plan.top_max; ++q) {
                auto next = scoring.add_die(tops[q - 1], pool.top_lo, faces, true, budget);
                if (!next) return std::unexpected(next.error());
                tops[q] = std::move(*next);
            }
            auto law = keep_highest_with_tops(scoring, bottom_hi, bottom_targets, tops, bottom_plan, budget);
            if (!law) return std::unexpected(law.error());
            bottoms_with_tops = std::move(*law);
        } else if (auto done = keep_highest(scoring, 1, bottom_hi, bottom_targets, bottom_plan, budget); !done) {
            return std::unexpected(done.error());
        }
    }
    if (auto done = keep_highest(scoring, pool.top_lo, faces, std::span<KeepTarget>(&top_target, 1), plan.top_plan, budget);
        !done) {
        return std::unexpected(done.error());
    }

    // sum over top sizes of (top group all kept) * (what the bottom adds);
    // larger top groups have no weight and would add nothing.
    const DenseLaw unit = DenseLaw::point(0, 1.0);
    DenseLaw sum;
    bool symmetric = true;
    for (std::size_t top = plan.top_sizes; top-- > 0;) {
        if (!sum.empty()) {
            auto next = scoring.add_die(sum, pool.top_lo, faces, symmetric, budget);
            if (!next) return std::unexpected(next.error());
            sum = std::move(*next);
        }
        DenseLaw bottom_part;
        if (bottom_hi >= 1) {
            auto kept_all = all_kept(scoring, 1, bottom_hi, all[top], budget);
            if (!kept_all) return std::unexpected(kept_all.error());
            bottom_part = std::move(*kept_all);
        } else {
            add_scaled(bottom_part, unit, all[top][0], 0);
        }
        add_scaled(bottom_part, unit, none[top], 0);
        for (const KeepTarget& t : bottom_targets) {
            if (t.top == top) add_scaled(bottom_part, t.out, 1.0, 0);
        }
        if (!bottom_part.empty()) {
            symmetric = sum.empty() && bottom_part.size() == 1;
            add_scaled(sum, bottom_part, 1.0, 0);
        }
    }
    add_scaled(sum, top_target.out, 1.0, 0);
    add_scaled(sum, bottoms_with_tops, 1.0, 0);
    return sum;
}

// The joint law of (pool size, qualifying dice) of a bonus roll: count dice
// (at most 50), then the pool is walked from the first die, each die that
// qualifies adding one die, until every die is examined or 50 are drawn.
std::array<SizeWeights, kSizes> bonus_pool_law(std::int64_t count, double qualify, double fail) {
    const auto& choose = binomials();
    const SizeWeights q_pow = powers(qualify);
    const SizeWeights f_pow = powers(fail);
    const auto start = static_cast<std::size_t>(std::min<std::int64_t>(count, kMaxPool));
    std::array<SizeWeights, kSizes> law{};   // law[n][q]
    std::array<SizeWeights, kSizes> state{};  // state[j][s]: j dice examined, pool of s
    state[0][start] = 1.0;
    for (std::size_t j = 0; j < kSizes; ++j) {
        for (std::size_t s = std::max(j, start); s < kSizes; ++s) {
            const double w = state[j][s];
            if (w == 0.0) continue;
            const std::size_t qualified = s - start;
            if (s == kMaxPool) {
                // Full: the dice not yet examined qualify or not, unseen.
                const std::size_t unseen = kMaxPool - j;
                for (std::size_t b = 0; b <= unseen; ++b) {
                    law[kMaxPool][qualified + b] += w * choose[unseen][b] * q_pow[b] * f_pow[unseen - b];
                }
            } else if (j == s) {
                law[s][qualified] += w;
            } else {
                state[j + 1][s + 1] += w * qualify;
                state[j + 1][s] += w * fail;
            }
        }
    }
    return law;
}

// "a dice term of 50 dice of 1000 faces keeping 25": what a refusal names.
std::string describe(const DiceExpr& dice, std::int32_t count, std::int32_t faces) {
    std::string out = "a dice term of " + std::to_string(count) + (count == 1 ? " die" : " dice") + " of " +
                      std::to_string(faces) + " faces";
    if (dice.bonus) out += " with a bonus";
    if (dice.keep && dice.keep->n != 0) {
        out += (dice.keep->dir == KeepMode::Dir::High ? " keeping the highest " : " keeping the lowest ") +
               std::to_string(dice.keep->n);
    }
    if (dice.comparison) out += " counting successes";
    return out;
}

// A term as its numbers make it: plain dice all kept, or a pool (plain dice
// with a keep, or a bonus pool) for kept_score; or refused from the numbers
// alone, before any work.
struct TermShape {
    bool mirrored = false;  // keeping the lowest: keep highest on mirrored faces
    std::uint64_t keep = 0;
    std::int32_t dice_count = 0;  // plain dice all kept
    std::optional<TwoGroups> pool;
};

Budgeted<TermShape> shape_of(const DiceExpr& dice, std::int32_t count, std::int32_t faces) {
    TermShape shape;
    const std::int64_t s = dice.keep ? signed_keep(*dice.keep) : 0;
    shape.mirrored = s < 0;
    shape.keep = s < 0 ? 0 - static_cast<std::uint64_t>(s) : static_cast<std::uint64_t>(s);
    // A threshold above every face is never reached: the pool is its first
    // dice (at most 50), plain, as the roller draws them.
    const bool bonus = dice.bonus && dice.bonus->integer_view() <= faces;
    if (dice.bonus && !bonus) count = std::min<std::int32_t>(count, static_cast<std::int32_t>(kMaxPool));
    if (bonus && faces > kMaxDiceFaces) {
        return std::unexpected(WorkBudget::too_large("a dice term of " + std::to_string(faces) +
                                                     " faces with a bonus (at most " +
                                                     std::to_string(kMaxDiceFaces) + ")"));
    }
    // A bonus die is only added while the pool holds fewer than 50, so a
    // pool that starts full is 50 plain dice, whatever the threshold.
    if (!bonus || static_cast<std::size_t>(count) >= kMaxPool) {
        const std::int32_t dice_count = bonus ? static_cast<std::int32_t>(kMaxPool) : count;
        if (shape.keep == 0 || shape.keep >= static_cast<std::uint64_t>(dice_count)) {
            shape.dice_count = dice_count;
            return shape;
        }
        // A keep walks every face: past the faces a plain die may have, it
        // is refused from the numbers alone, as a bonus pool is above.
        if (faces > kMaxDiceFaces) {
            return std::unexpected(WorkBudget::too_large("a dice term of " + std::to_string(faces) +
                                                         " faces keeping some (at most " +
                                                         std::to_string(kMaxDiceFaces) + ")"));
        }
        TwoGroups& pool = shape.pool.emplace();
        pool.top_lo = 1;
        pool.weights[static_cast<std::size_t>(dice_count)][0] = 1.0;
        pool.sizes = static_cast<std::size_t>(dice_count) + 1;
        return shape;
    }
    // Dice at or above t qualify; t is clamped to 1 .. faces + 1.
    const std::int64_t t = std::clamp<std::int64_t>(dice.bonus->integer_view(), 1, std::int64_t{faces} + 1);
    const double qualify = static_cast<double>(faces - t + 1) / faces;
    const double fail = static_cast<double>(t - 1) / faces;
    const auto law = bonus_pool_law(count, qualify, fail);
    // Qualifying dice beat the others: the top group, unless mirrored.
    TwoGroups& pool = shape.pool.emplace();
    pool.top_lo = shape.mirrored ? faces + 2 - t : t;
    for (std::size_t n = 0; n < kSizes; ++n) {
        for (std::size_t q = 0; q <= n; ++q) {
            if (law[n][q] == 0.0) continue;
            if (shape.mirrored) {
                pool.weights[n - q][q] += law[n][q];
            } else {
                pool.weights[q][n - q] += law[n][q];
            }
        }
    }
    return shape;
}

// The steps of dice_count dice all kept, one added at a time, and the size
// of their law.
std::pair<std::uint64_t, std::uint64_t> all_kept_cost(const Scoring& scoring, std::int64_t faces,
                                                      std::int32_t dice_count) {
    std::uint64_t steps = 0;
    std::uint64_t size = 1;
    for (std::int32_t i = 0; i < dice_count; ++i) {
        steps += scoring.die_cost(size, faces, true);
        size = scoring.next_size(size, faces);
    }
    return {steps, size};
}

}  // namespace

namespace {

// A generator for the limit checks: the roller checks a term before its
// first draw, so any draws it makes after passing do not matter.
class LowestFace final : public Rng {
public:
    std::int32_t rand_range(std::int32_t lo, std::int32_t) noexcept override { return lo; }
};

}  // namespace

std::optional<PipwerkError> dice_term_failure(const DiceExpr& dice, std::int32_t count, std::int32_t faces) {
    if (count < 1 || faces < 2) return PipwerkError::non_positive();
    LowestFace rng;
    if (const Result<RollResult> checked = roll_with_modifiers(rng, count, faces, dice.keep, dice.bonus); !checked) {
        return checked.error();
    }
    return std::nullopt;
}

TermKey term_key(const DiceExpr& dice, std::int32_t count, std::int32_t faces) noexcept {
    TermKey key{count, faces};
    if (dice.keep) {
        key[2] = 1 + static_cast<std::int64_t>(dice.keep->dir);
        key[3] = dice.keep->n;
    }
    if (dice.bonus) {
        key[4] = 1;
        key[5] = dice.bonus->integer_view();
    }
    if (dice.comparison) {
        key[6] = 1 + static_cast<std::int64_t>(dice.comparison->kind);
        key[7] = dice.comparison->threshold.integer_view();
    }
    return key;
}

LawShape dice_term_shape(const DiceExpr& dice, std::int32_t count, std::int32_t faces) {
    const std::int64_t s = dice.keep ? signed_keep(*dice.keep) : 0;
    const std::uint64_t keep = s < 0 ? 0 - static_cast<std::uint64_t>(s) : static_cast<std::uint64_t>(s);
    const auto kept = [keep](std::int64_t pool) {
        return keep == 0 ? pool : std::min<std::int64_t>(static_cast<std::int64_t>(std::min<std::uint64_t>(keep, kSizes)), pool);
    };
    const bool bonus = dice.bonus && dice.bonus->integer_view() <= faces;
    const std::int64_t pool = std::min<std::int64_t>(count, kMaxPool);
    if (dice.comparison) {
        // Plain dice all kept count 0 .. all of them; any other count is
        // taken as one value.
        const bool all = kept(pool) == pool && (!bonus || count >= static_cast<std::int32_t>(kMaxPool));
        return all ? LawShape{static_cast<std::uint64_t>(pool) + 1, true, 0, pool} : LawShape{1, true, 0, 0};
    }
    std::int64_t least = kept(pool);
    std::int64_t most = kept(pool) * faces;
    if (bonus) {
        // The pool can grow to 50 dice, all showing the top face; it stays
        // as drawn, all ones, unless every face qualifies.
        if (dice.bonus->integer_view() <= 1) least = kept(kMaxPool);
        most = kept(kMaxPool) * faces;
    }
    return LawShape{static_cast<std::uint64_t>(most - least + 1), true, least, most};
}

std::string dice_term_of(std::uint64_t size) { return "a dice term of " + std::to_string(size) + " outcomes"; }

Budgeted<DenseLaw> dice_term_law(const DiceExpr& dice, std::int32_t count, std::int32_t faces, WorkBudget& budget,
                                 BottomSum how) {
    // Setting up a term costs a few dozen steps whatever its size.
    if (auto ok = budget.charge(kTermSetUpSteps, describe(dice, count, faces)); !ok) return std::unexpected(ok.error());
    Budgeted<TermShape> shape = shape_of(dice, count, faces);
    if (!shape) return std::unexpected(shape.error());
    Scoring scoring(dice, faces, shape->mirrored);
    if (shape->pool) {
        KeptPlan plan = plan_kept(scoring, faces, *shape->pool, shape->keep, budget.parallel(), how);
        auto law = kept_score(scoring, faces, *shape->pool, plan, budget);
        if (law || law.error().kind != OddsError::Kind::TooLarge) return law;
        return std::unexpected(WorkBudget::too_large(describe(dice, count, faces)));
    }
    // Every die kept: the score of one die, dice_count times over, charged
    // at once, and its law's size checked before it is built.
    const auto [steps, size] = all_kept_cost(scoring, faces, shape->dice_count);
    if (auto ok = budget.charge(steps, describe(dice, count, faces)); !ok) return std::unexpected(ok.error());
    if (auto ok = budget.can_hold(size, dice_term_of(size)); !ok) return std::unexpected(ok.error());
    WorkBudget charged(steps);
    DenseLaw law = DenseLaw::point(0, 1.0);
    for (std::int32_t i = 0; i < shape->dice_count; ++i) {
        auto next = scoring.add_die(law, 1, faces, true, charged);
        if (!next) return std::unexpected(next.error());
        law = std::move(*next);
    }
    return law;
}

Budgeted<TermSteps> dice_term_steps(const DiceExpr& dice, std::int32_t count, std::int32_t faces) {
    Budgeted<TermShape> shape = shape_of(dice, count, faces);
    if (!shape) return std::unexpected(shape.error());
    const Scoring scoring(dice, faces, shape->mirrored);
    if (shape->pool) {
        const KeptPlan plan = plan_kept(scoring, faces, *shape->pool, shape->keep, false, BottomSum::Cheaper);
        return TermSteps{plan.checked, kTermSetUpSteps + plan.passes};
    }
    const std::uint64_t steps = all_kept_cost(scoring, faces, shape->dice_count).first;
    return TermSteps{steps, kTermSetUpSteps + steps};
}

std::string describe_dice_term(const DiceExpr& dice, std::int32_t count, std::int32_t faces) {
    return describe(dice, count, faces);
}

}  // namespace pipwerk::detail
