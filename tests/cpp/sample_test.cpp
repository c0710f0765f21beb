#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "pipwerk/pipwerk.hpp"
#include "pipwerk/sample.hpp"

namespace {

using pipwerk::RollOptions;
using pipwerk::Sampler;

constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();

// The values roll gives for each seed first, first + 1, ... (wrapping), back to back.
std::vector<double> rolled(const std::string& expression, std::uint64_t first, std::size_t rows) {
    std::vector<double> out;
    for (std::size_t i = 0; i < rows; ++i) {
        const auto r = pipwerk::roll(expression, RollOptions{.seed = first + i, .show_detail = false});
        EXPECT_TRUE(r.has_value()) << expression;
        if (r) out.insert(out.end(), r->values.begin(), r->values.end());
    }
    return out;
}

std::vector<std::uint64_t> bits_of(const std::vector<double>& values) {
    std::vector<std::uint64_t> out;
    for (double v : values) out.push_back(std::bit_cast<std::uint64_t>(v));
    return out;
}

struct RowCase {
    std::string expression;
    std::uint64_t first;
    std::size_t width;
};

TEST(Sampler, RowsAreTheSeededRollsValues) {
    const std::vector<RowCase> cases = {
        {"4d6k3", 0, 1},           {"4d6k3", kTop - 3, 1},       {"3#4d6k3", kTop, 3},
        {"{d6, d8, 5} * 2", 9, 3}, {"-{1d6, 2} / (1d2 - 1)", 4, 2}, {"1d6 / (1d4 + 1) tail", 77, 1},
        {"50% * 5d6b6k3", 1, 1},   {"{1, 2} + {10, 20, 30}", 2, 2},
        // One dice term, bracketed or signed: rolled without the evaluator.
        {"-(2d20kl1)", 5, 1},      {"((10d10>=7))", kTop - 1, 1},  {"--3d6", 3, 1},
        {"4d6b6k3", 8, 1},         {"4d6.5k3", 11, 1},               {"-(5d10kl2<=3) x", 6, 1},
        {"60d6b7", 12, 1},         {"4d6k-2", 13, 1},              {"2d20k0", 14, 1},
    };
    for (const RowCase& c : cases) {
        Sampler sampler(c.expression);
        ASSERT_TRUE(sampler.parsed()) << c.expression;
        std::vector<double> row;
        ASSERT_TRUE(sampler.roll_row(c.first, row).has_value());
        ASSERT_EQ(row.size(), c.width) << c.expression;
        const std::size_t rows = 9;
        std::vector<double> out(rows * c.width);
        for (std::size_t i = 0; i < c.width; ++i) out[i] = row[i];
        ASSERT_TRUE(sampler.fill(c.first + 1, c.width, std::span(out).subspan(c.width)).has_value());
        EXPECT_EQ(bits_of(out), bits_of(rolled(c.expression, c.first, rows))) << c.expression;
    }
}

TEST(Sampler, StopsAtTheFirstFailingRow) {
    const std::string expression = "1d6 / (1d2 - 1)";
    Sampler sampler(expression);
    std::uint64_t failing = 0;
    while (pipwerk::roll(expression, RollOptions{.seed = failing, .show_detail = false})) ++failing;
    std::vector<double> out(failing + 5, -1.0);
    const auto done = sampler.fill(0, 1, out);
    ASSERT_FALSE(done.has_value());
    EXPECT_EQ(done.error().message(), "division by zero");
    const std::vector<double> good(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(failing));
    EXPECT_EQ(bits_of(good), bits_of(rolled(expression, 0, failing)));
}

TEST(Sampler, LoneTermFailsAsRollFails) {
    // Every row of a term that breaks a limit fails, with roll's error.
    for (const std::string expression : {"0d6", "-(51d6)", "3d1001", "(1d1)", "2d0.5k1", "0d6b6"}) {
        const auto want = pipwerk::roll(expression, RollOptions{.seed = 3});
        ASSERT_FALSE(want.has_value()) << expression;
        Sampler sampler(expression);
        std::vector<double> out(2, -1.0);
        const auto done = sampler.fill(3, 1, out);
        ASSERT_FALSE(done.has_value()) << expression;
        EXPECT_EQ(done.error(), want.error()) << expression;
        EXPECT_EQ(out[0], -1.0) << expression;
    }
}

TEST(Sampler, ConsumedAndTailAsRollParsesThem) {
    for (const std::string text : {"4d6k3 foo", "abc", "", "3#x", "d20 + (d4+ test"}) {
        const Sampler sampler(text);
        const auto r = pipwerk::roll(text, RollOptions{.seed = 1});
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(std::string(sampler.consumed()), r->consumed) << text;
        EXPECT_EQ(std::string(sampler.tail()), r->tail) << text;
        EXPECT_EQ(sampler.parsed(), !r->values.empty()) << text;
    }
}

std::uint64_t nanos_since_epoch() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count());
}

TEST(Sampler, UnseededBaseSeedIsTheClockReading) {
    // x = T + P * gamma, with T read between the two clock readings around it.
    constexpr std::uint64_t kGamma = 0x9e3779b97f4a7c15;
    const std::uint64_t pid_part = std::uint64_t{static_cast<std::uint32_t>(getpid())} * kGamma;
    const std::uint64_t before = nanos_since_epoch();
    const std::uint64_t x = pipwerk::unseeded_base_seed();
    const std::uint64_t after = nanos_since_epoch();
    const std::uint64_t t = x - pid_part;
    EXPECT_LE(before, t);
    EXPECT_LE(t, after);
}

}  // namespace
