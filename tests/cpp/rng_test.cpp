#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "rng.hpp"

namespace {

using pipwerk::Xoroshiro128StarStar;

constexpr std::int32_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kI32Max = std::numeric_limits<std::int32_t>::max();

TEST(RngTest, SeedGivesKnownStateAndOutputs) {
    struct Case {
        std::uint64_t seed, s0, s1;
        std::array<std::uint64_t, 3> outputs;
    };
    const std::vector<Case> cases = {
        {0, 0x6e789e6aa1b965f5, 0x06c45d188009454f, {0x99ec5f36cb760934, 0x498e42fad1bf2d7b, 0x5a5e7036b457b1ff}},
        {42, 0x28efe333b266f103, 0x47526757130f9f53, {0x15780b2e0c2ec716, 0x6d79b7ef89e63c85, 0xdde5ea38cbffcc49}},
    };
    for (const auto& c : cases) {
        auto rng = Xoroshiro128StarStar::from_seed(c.seed);
        EXPECT_EQ(rng.s0(), c.s0) << c.seed;
        EXPECT_EQ(rng.s1(), c.s1) << c.seed;
        for (auto out : c.outputs) EXPECT_EQ(rng.next(), out) << c.seed;
    }
}

TEST(RngTest, RandRangeSequences) {
    struct Case {
        std::uint64_t seed;
        std::int32_t lo, hi;
        std::vector<std::int32_t> values;
    };
    const std::vector<Case> cases = {
        {0, 1, 6, {3, 2, 6, 6, 2, 2, 5, 6}},
        {0, 1, 20, {1, 20, 20, 14}},
        {42, 1, 6, {1, 4, 6, 4, 5, 5, 3, 5}},
        {42, 1, 100, {43, 18, 66, 8}},
    };
    for (const auto& c : cases) {
        auto rng = Xoroshiro128StarStar::from_seed(c.seed);
        std::vector<std::int32_t> got;
        for (std::size_t i = 0; i < c.values.size(); ++i) got.push_back(rng.rand_range(c.lo, c.hi));
        EXPECT_EQ(got, c.values) << c.seed << " (" << c.lo << ", " << c.hi << ")";
    }
}

TEST(RngTest, EmptyOrReversedRangeReturnsLoWithoutAdvancing) {
    struct Case {
        std::int32_t lo, hi;
    };
    for (const auto& c : std::vector<Case>{{5, 5}, {7, 3}, {kI32Max, kI32Min}}) {
        auto rng = Xoroshiro128StarStar::from_seed(42);
        EXPECT_EQ(rng.rand_range(c.lo, c.hi), c.lo);
        EXPECT_EQ(rng.next(), Xoroshiro128StarStar::from_seed(42).next());
    }
}

TEST(RngTest, SameSeedSameSequence) {
    auto a = Xoroshiro128StarStar::from_seed(123456789);
    auto b = Xoroshiro128StarStar::from_seed(123456789);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(a.next(), b.next());
}

TEST(RngTest, LargestInRangeWidthIsPlainRemainder) {
    // hi - lo + 1 == INT32_MAX, the widest range inside the 32-bit contract.
    auto rng = Xoroshiro128StarStar::from_seed(7);
    auto twin = Xoroshiro128StarStar::from_seed(7);
    for (int i = 0; i < 100; ++i) {
        const auto expected = static_cast<std::int32_t>(twin.next() % std::uint64_t{kI32Max});
        ASSERT_EQ(rng.rand_range(0, kI32Max - 1), expected);
    }
}

TEST(RngTest, RangesWiderThanInt32StayInsideAndSpread) {
    struct Case {
        std::int32_t lo, hi;
    };
    for (const auto& c : std::vector<Case>{{-2, kI32Max}, {kI32Min, 5}, {kI32Min, kI32Max}}) {
        auto rng = Xoroshiro128StarStar::from_seed(99);
        const std::int64_t mid = (std::int64_t{c.lo} + c.hi) / 2;
        bool low_half = false, high_half = false;
        for (int i = 0; i < 1000; ++i) {
            const auto v = rng.rand_range(c.lo, c.hi);
            ASSERT_GE(v, c.lo);
            ASSERT_LE(v, c.hi);
            (v <= mid ? low_half : high_half) = true;
        }
        EXPECT_TRUE(low_half && high_half) << c.lo << ", " << c.hi;
    }
}

TEST(RngTest, ClockSeedingMixesReadings) {
    struct Case {
        std::uint64_t nanos;
        std::uint32_t pid;
        std::uint64_t s0, s1;
    };
    const std::vector<Case> cases = {
        {0, 0, 1, 1},  // both words still odd, never all zero
        {1, 0, 0x9e3779b97f4a7c15, 0x9465a325da060001},
        {0, 1, 0xdf442d22ce4859b9, 0x9f4953f9342f8b4b},
        {1700000000123456789, 4242, 0x32553bfdb940ba3b, 0xbdaaaa421d99ea07},
        {0xffffffffffffffff, 0xffffffff, 0x50ccb2dcb26d2a33, 0x47a1fd57bbea7473},
    };
    for (const auto& c : cases) {
        const auto rng = Xoroshiro128StarStar::from_clock_reading(c.nanos, c.pid);
        EXPECT_EQ(rng.s0(), c.s0) << c.nanos << " " << c.pid;
        EXPECT_EQ(rng.s1(), c.s1) << c.nanos << " " << c.pid;
    }
    const auto live = Xoroshiro128StarStar::from_clock();
    EXPECT_EQ(live.s0() & 1, 1u);
    EXPECT_EQ(live.s1() & 1, 1u);
}

}  // namespace
