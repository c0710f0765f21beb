// Box filters on laws of every shape against sums taken window by window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "odds/dense_law.hpp"

namespace {

using pipwerk::detail::add_uniform;
using pipwerk::detail::DenseLaw;
using pipwerk::detail::lane_split;
using pipwerk::detail::widen;

std::vector<double> geometric(std::size_t n, double first, double ratio) {
    std::vector<double> p(n);
    double x = first;
    for (double& v : p) {
        v = x;
        x *= ratio;
    }
    return p;
}

std::vector<double> joined(std::vector<double> a, const std::vector<double>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every output of a box filter against its window summed directly, to
// within 1e-14 of itself.
void expect_window_sums(const DenseLaw& in, std::int64_t width, bool symmetric) {
    const DenseLaw out = add_uniform(in, 3, width, symmetric);
    ASSERT_EQ(out.lo, in.lo + 3);
    ASSERT_EQ(out.size(), in.size() + static_cast<std::size_t>(width) - 1);
    const auto n = static_cast<std::int64_t>(in.size());
    for (std::int64_t x = 0; x < static_cast<std::int64_t>(out.size()); ++x) {
        long double want = 0;
        for (std::int64_t i = std::max<std::int64_t>(0, x + 1 - width); i <= std::min(x, n - 1); ++i) {
            want += in.p[static_cast<std::size_t>(i)];
        }
        want /= width;
        EXPECT_LE(std::fabs(static_cast<long double>(out.p[static_cast<std::size_t>(x)]) - want), 1e-14L * want)
            << "output " << x << ": " << out.p[static_cast<std::size_t>(x)] << " vs " << static_cast<double>(want);
    }
}

// Laws whose mass sits low, high, in two humps or nowhere in particular,
// with tails falling a thousandfold per value: each output must keep its
// relative precision, tails included.
TEST(DenseLaw, BoxFiltersOfLopsidedLaws) {
    struct Case {
        std::string name;
        std::vector<double> p;
    };
    const std::vector<Case> laws = {
        {"point", {1.0}},
        {"falling", geometric(40, 0.999, 1e-3)},
        {"rising", geometric(40, 1e-117, 1e3)},
        {"two humps", joined(geometric(15, 1e-42, 1e3), joined(geometric(10, 1e-6, 0.5), geometric(20, 0.3, 1e-3)))},
        {"flat then falling", joined(std::vector<double>(30, 0.02), geometric(25, 0.01, 1e-4))},
        {"uneven", {0.1, 0.4, 1e-9, 0.2, 0.05, 0.25, 1e-5}},
    };
    for (const Case& law : laws) {
        for (const std::int64_t width : {1, 2, 3, 7, 19, 64}) {
            SCOPED_TRACE(law.name + ", width " + std::to_string(width));
            expect_window_sums(DenseLaw{5, law.p}, width, false);
        }
    }
}

// The running sums are shared among four lanes, each end of the law cut
// into pieces: as even as the lanes allow, no piece but an end's last
// shorter than a window.
TEST(DenseLaw, LaneSplits) {
    struct Case {
        std::size_t below, above, width;
        std::size_t want_below, want_above;
    };
    const std::vector<Case> cases = {
        {100, 0, 1, 4, 0},    // one end: all four lanes
        {101, 0, 30, 3, 0},   // three pieces of at least 30
        {59, 0, 30, 1, 0},    // too short for two
        {0, 7, 1, 0, 4},      // the other end alone
        {100, 100, 1, 2, 2},  // even ends, even lanes
        {300, 100, 1, 3, 1},  // three pieces of 100 and one
        {100, 300, 1, 1, 3},
        {10, 500, 5, 1, 3},   // the short end's one piece beside the long end's three
        {50, 50, 30, 1, 1},   // each end too short to cut
        {1000, 3, 2, 3, 1},   // the short end keeps a lane of its own
        {5, 5, 1, 2, 2},
    };
    for (const Case& c : cases) {
        const auto split = lane_split(c.below, c.above, c.width);
        EXPECT_EQ(split.below, c.want_below) << c.below << ", " << c.above << ", width " << c.width;
        EXPECT_EQ(split.above, c.want_above) << c.below << ", " << c.above << ", width " << c.width;
    }
}

// Laws long enough for every split of the lanes, of odd and even lengths,
// with windows shorter and longer than the pieces: windows inside a piece,
// reaching back into the piece before, and cut by either end of the law.
TEST(DenseLaw, BoxFiltersAcrossLanes) {
    struct Case {
        std::string name;
        std::vector<double> p;
    };
    const std::vector<Case> laws = {
        {"falling, 97", geometric(97, 0.9, 0.7)},
        {"rising, 150", geometric(150, 1e-100, 4.0)},
        {"two humps, 203", joined(geometric(101, 1e-30, 2.0), geometric(102, 1e-5, 0.6))},
        {"flat, 64", std::vector<double>(64, 1.0 / 64)},
        {"flat then falling, 9", joined(std::vector<double>(5, 0.1), geometric(4, 0.05, 0.01))},
        {"long valley, 2501", joined(geometric(1250, 1e-3, 0.995), geometric(1251, 1e-6, 1.004))},
    };
    for (const Case& law : laws) {
        for (const std::int64_t width : {1, 2, 3, 5, 8, 24, 40, 111}) {
            SCOPED_TRACE(law.name + ", width " + std::to_string(width));
            expect_window_sums(DenseLaw{-4, law.p}, width, false);
        }
    }
    // Powers of a box are symmetric: only the lower half is summed, in
    // one to four lanes.
    std::set<std::size_t> splits;
    for (const std::int64_t box : {2, 3, 6, 11}) {
        DenseLaw power = DenseLaw::point(0, 1.0);
        for (int k = 1; k <= 9; ++k) {
            for (const std::int64_t width : {box, std::int64_t{1}, std::int64_t{4}, 3 * box}) {
                SCOPED_TRACE(std::to_string(k) + " boxes of " + std::to_string(box) + ", width " +
                             std::to_string(width));
                expect_window_sums(power, width, true);
                const auto w = static_cast<std::size_t>(width);
                const std::size_t m = power.size() + w - 1;
                splits.insert(lane_split(std::min((m + 1) / 2, power.size()), 0, w).below);
            }
            power = add_uniform(power, 1, box, true);
        }
    }
    EXPECT_EQ(splits, (std::set<std::size_t>{1, 2, 3, 4}));
}

// Widening keeps every weight at its value and adds zeros around it, and
// never narrows a law.
TEST(DenseLaw, Widening) {
    struct Case {
        std::string name;
        DenseLaw law;
        std::int64_t first, last;
        std::int64_t want_lo;
        std::vector<double> want;
    };
    const std::vector<Case> cases = {
        {"empty", DenseLaw{}, -2, 1, -2, {0.0, 0.0, 0.0, 0.0}},
        {"below", DenseLaw{3, {0.5, 0.25}}, 1, 3, 1, {0.0, 0.0, 0.5, 0.25}},
        {"above", DenseLaw{3, {0.5, 0.25}}, 4, 6, 3, {0.5, 0.25, 0.0, 0.0}},
        {"around", DenseLaw{3, {0.5, 0.25}}, 2, 5, 2, {0.0, 0.5, 0.25, 0.0}},
        {"inside", DenseLaw{3, {0.5, 0.25, 0.125}}, 4, 4, 3, {0.5, 0.25, 0.125}},
    };
    for (const Case& c : cases) {
        DenseLaw law = c.law;
        widen(law, c.first, c.last);
        EXPECT_EQ(law.lo, c.want_lo) << c.name;
        EXPECT_EQ(law.p, c.want) << c.name;
    }
}

// Many scaled laws added a block at a time give the bits of adding them one
// after another, into an empty law or one they overhang on either side,
// across blocks and with zero weights left out.
TEST(DenseLaw, ScaledLawsAddedTogether) {
    std::vector<DenseLaw> sources;
    for (int k = 0; k < 6; ++k) {
        DenseLaw law{k, std::vector<double>(static_cast<std::size_t>(500 + 700 * k))};
        for (std::size_t i = 0; i < law.size(); ++i) law.p[i] = 1.0 / static_cast<double>(3 + i % 17 + k);
        sources.push_back(law);
    }
    const std::vector<double> weights = {0.3, 0.0, 1.0 / 7, 2.5, 1e-300, 0.9};
    for (const DenseLaw& start : {DenseLaw{}, DenseLaw{1500, std::vector<double>(100, 0.25)}}) {
        DenseLaw one_by_one = start;
        DenseLaw together = start;
        std::vector<pipwerk::detail::ScaledLaw> parts;
        for (std::size_t k = 0; k < sources.size(); ++k) {
            const std::int64_t shift = 1000 - 400 * static_cast<std::int64_t>(k);
            pipwerk::detail::add_scaled(one_by_one, sources[k], weights[k], shift);
            parts.push_back({&sources[k], weights[k], shift});
        }
        pipwerk::detail::add_scaled_all(together, parts);
        EXPECT_EQ(together.lo, one_by_one.lo);
        ASSERT_EQ(together.size(), one_by_one.size());
        for (std::size_t i = 0; i < together.size(); ++i) ASSERT_EQ(together.p[i], one_by_one.p[i]) << i;
    }
}

// A symmetric law gives the same outputs whether or not it is told so.
TEST(DenseLaw, SymmetricLawsEitherWay) {
    DenseLaw law = DenseLaw::point(0, 1.0);
    for (const std::int64_t width : {6, 1, 20, 3, 100}) {
        const DenseLaw told = add_uniform(law, 1, width, true);
        const DenseLaw untold = add_uniform(law, 1, width, false);
        ASSERT_EQ(told.lo, untold.lo);
        ASSERT_EQ(told.size(), untold.size());
        for (std::size_t x = 0; x < told.size(); ++x) {
            EXPECT_LE(std::fabs(told.p[x] - untold.p[x]), 1e-15 * told.p[x]) << "width " << width << ", output " << x;
        }
        law = told;
    }
}

}  // namespace
