// Box filters on laws of every shape against sums taken window by window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "odds/dense_law.hpp"

namespace {

using pipwerk::detail::add_uniform;
using pipwerk::detail::DenseLaw;

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
            const DenseLaw in{5, law.p};
            const DenseLaw out = add_uniform(in, 3, width, false);
            ASSERT_EQ(out.lo, 8);
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
