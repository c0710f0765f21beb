#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "odds/outcome_table.hpp"
#include "odds/value_law.hpp"

namespace {

using pipwerk::Number;
using pipwerk::detail::OutcomeTable;

// (kind, bits) of a number: what tells outcomes apart.
std::pair<int, std::uint64_t> key_of(const Number& n) {
    return {static_cast<int>(n.kind()), pipwerk::PackedNumber::payload_of(n)};
}

// Outcomes with weights: equal values of different kinds stay apart, equal
// numbers add up, and the table grows through many doubling steps.
TEST(OutcomeTable, GathersLikeAMap) {
    std::mt19937_64 random(7);
    for (const std::uint64_t seed : {0ULL, 1ULL, 0x9e3779b97f4a7c15ULL}) {
        OutcomeTable table(1 << 20, seed);
        std::map<std::pair<int, std::uint64_t>, double> want;
        for (int i = 0; i < 200'000; ++i) {
            const std::int64_t v = static_cast<std::int64_t>(random() % 5000) - 2500;
            const Number n = i % 3 == 0   ? Number::make_int(v)
                             : i % 3 == 1 ? Number::make_real(static_cast<double>(v) / 8)
                                          : Number::make_percent(static_cast<double>(v));
            const double w = static_cast<double>(i % 7 + 1);
            ASSERT_TRUE(table.add(n, w));
            want[key_of(n)] += w;
        }
        ASSERT_EQ(table.size(), want.size());
        const auto got = table.take();
        ASSERT_EQ(got.size(), want.size());
        for (const auto& [n, w] : got) {
            ASSERT_TRUE(want.contains(key_of(n)));
            EXPECT_EQ(w, want.at(key_of(n)));
        }
        EXPECT_EQ(table.size(), 0u);
    }
}

// The limit is exact: `limit` outcomes go in, the next new one does not,
// while more weight for one already in is always taken.
TEST(OutcomeTable, RefusesTheOutcomePastItsLimit) {
    for (const std::size_t limit : {1u, 47u, 48u, 49u, 1000u}) {
        SCOPED_TRACE(limit);
        OutcomeTable table(limit, 3);
        for (std::size_t i = 0; i < limit; ++i) ASSERT_TRUE(table.add(Number::make_int(static_cast<std::int64_t>(i)), 1.0));
        EXPECT_FALSE(table.add(Number::make_int(-1), 1.0));
        EXPECT_TRUE(table.add(Number::make_int(0), 1.0));
        EXPECT_EQ(table.size(), limit);
        // A batch stops at the first outcome past the limit.
        std::vector<std::pair<Number, double>> batch = {{Number::make_int(0), 1.0}, {Number::make_int(-2), 1.0}};
        EXPECT_FALSE(table.add_all(batch));
    }
}

// A list read from one table, put into another in that order, as a chain
// of products does: the same outcomes whatever the two seeds.
TEST(OutcomeTable, AListFromOneTableIntoAnother) {
    OutcomeTable first(1 << 20, 11);
    for (int a = 1; a <= 300; ++a) {
        for (int b = 1; b <= 300; ++b) ASSERT_TRUE(first.add(Number::make_real(a / 7.0 * (b / 3.0)), 1.0));
    }
    const auto list = first.take();
    for (const std::uint64_t seed : {11ULL, 12ULL}) {
        OutcomeTable second(1 << 20, seed);
        std::map<std::pair<int, std::uint64_t>, double> want;
        std::vector<std::pair<Number, double>> batch;
        for (const auto& [n, w] : list) {
            batch.clear();
            for (int k = 1; k <= 4; ++k) {
                batch.emplace_back(Number::make_real(n.to_double() * k), w);
                want[key_of(batch.back().first)] += w;
            }
            ASSERT_TRUE(second.add_all(batch));
        }
        EXPECT_EQ(second.size(), want.size());
    }
}

// The same operation again on a list a table gave (x * 1 * 1 ...): the
// next table is never seeded as the one the list came from, which would
// pile the list up in one run of slots (quadratic time, not a wrong answer).
TEST(OutcomeTable, RepeatedOperationsNeverReuseTheirOperandsSeed) {
    pipwerk::detail::ValueLaw sevenths;  // 1/7 .. 300/7
    sevenths.dense = false;
    for (int a = 1; a <= 300; ++a) sevenths.list.emplace_back(Number::make_real(a / 7.0), 1.0 / 300);
    pipwerk::detail::WorkBudget budget(std::uint64_t{1} << 40);
    double failed = 0.0;
    auto law = pipwerk::detail::combine(pipwerk::BinaryOp::Mul, sevenths, sevenths, false, failed, budget);
    ASSERT_TRUE(law && law->order);
    for (const char* one : {"1", "1.0", "1", "1.0"}) {
        const auto constant = pipwerk::detail::ValueLaw::constant(one[1] == '\0' ? Number::make_int(1) : Number::make_real(1.0));
        auto next = pipwerk::detail::combine(pipwerk::BinaryOp::Mul, *law, constant, false, failed, budget);
        ASSERT_TRUE(next && next->order);
        EXPECT_NE(*next->order, *law->order);
        EXPECT_EQ(next->size(), law->size());
        law = std::move(next);
    }
}

}  // namespace
