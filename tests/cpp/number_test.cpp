#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <bit>

#include "number.hpp"
#include "shortest.hpp"
#include "pipwerk/text.hpp"

namespace pipwerk {
namespace {

using namespace std::string_view_literals;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Compares by kind and bit-exact payload, so -0.0 differs from 0.0 and NaN equals NaN.
::testing::AssertionResult same_number(std::string_view text, const std::optional<Number>& got,
                                       const std::optional<Number>& want) {
    if (!got && !want) return ::testing::AssertionSuccess();
    if (!got || !want) {
        return ::testing::AssertionFailure()
               << "\"" << text << "\": " << (got ? "parsed" : "no number") << ", expected "
               << (want ? "a number" : "no number");
    }
    if (got->kind() != want->kind()) {
        return ::testing::AssertionFailure() << "\"" << text << "\": kind " << int(got->kind()) << " != "
                                             << int(want->kind());
    }
    if (got->is_int()) {
        if (got->int_value() == want->int_value()) return ::testing::AssertionSuccess();
    } else {
        const double a = got->to_double();
        const double b = want->to_double();
        if ((std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b))) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "\"" << text << "\": got " << got->display() << ", expected "
                                         << want->display();
}

struct ParseCase {
    std::string_view text;
    std::optional<Number> want;
};

TEST(NumberParse, Table) {
    const ParseCase cases[] = {
        // Integers: sign, leading zeros, whitespace, the 64-bit edges.
        {"42", Number::make_int(42)},
        {"  42 ", Number::make_int(42)},
        {"+7", Number::make_int(7)},
        {"-0", Number::make_int(0)},
        {"007", Number::make_int(7)},
        {"9223372036854775807", Number::make_int(kMax)},
        {"-9223372036854775808", Number::make_int(kMin)},
        {"+9223372036854775807", Number::make_int(kMax)},
        {"9223372036854775808", Number::make_real(9223372036854775808.0)},
        {"-9223372036854775809", Number::make_real(-9223372036854775808.0)},
        {"99999999999999999999", Number::make_real(1e20)},
        {"\t5\n", Number::make_int(5)},
        {"\xC2\xA0" "5" "\xE3\x80\x80", Number::make_int(5)},
        {"\xE2\x80\x8A" "5" "\xC2\x85", Number::make_int(5)},
        // Reals.
        {"3.0", Number::make_real(3.0)},
        {"2.5", Number::make_real(2.5)},
        {"5.", Number::make_real(5.0)},
        {".5", Number::make_real(0.5)},
        {"+.5", Number::make_real(0.5)},
        {"-.5", Number::make_real(-0.5)},
        {"-0.0", Number::make_real(-0.0)},
        {"1e3", Number::make_real(1000.0)},
        {"1E+3", Number::make_real(1000.0)},
        {"2.5e-1", Number::make_real(0.25)},
        {"0.1", Number::make_real(0.1)},
        {"1e400", Number::make_real(kInf)},
        {"-1e400", Number::make_real(-kInf)},
        {"1e-400", Number::make_real(0.0)},
        {"-1e-400", Number::make_real(-0.0)},
        {"0.0000001e-400", Number::make_real(0.0)},
        {"1000000e-330", Number::make_real(0.0)},
        {"1000e-326", Number::make_real(2 * std::numeric_limits<double>::denorm_min())},
        {"0e999999999999999999999999", Number::make_real(0.0)},
        {"1e999999999999999999999999", Number::make_real(kInf)},
        {"1e-999999999999999999999999", Number::make_real(0.0)},
        {"0.00000000000000000000000000000000000000000001e350", Number::make_real(1e306)},
        {"inf", Number::make_real(kInf)},
        {"-Infinity", Number::make_real(-kInf)},
        {"+INF", Number::make_real(kInf)},
        {"nan", Number::make_real(std::numeric_limits<double>::quiet_NaN())},
        {"NaN", Number::make_real(std::numeric_limits<double>::quiet_NaN())},
        // Percentages skip the integer reading.
        {"50%", Number::make_percent(0.5)},
        {"-25%", Number::make_percent(-0.25)},
        {" 12.5% ", Number::make_percent(0.125)},
        {"inf%", Number::make_percent(kInf)},
        {"1e400%", Number::make_percent(kInf)},
        // Not numbers.
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"\xC2\xA0", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {".", std::nullopt},
        {"%", std::nullopt},
        {".%", std::nullopt},
        {"5 %", std::nullopt},
        {"50%%", std::nullopt},
        {"%5", std::nullopt},
        {"+-5", std::nullopt},
        {"--5", std::nullopt},
        {"++5", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1e", std::nullopt},
        {"1e+", std::nullopt},
        {"e5", std::nullopt},
        {"1e5.5", std::nullopt},
        {"0x10", std::nullopt},
        {"nan(1)", std::nullopt},
        {"infin", std::nullopt},
        {"in f", std::nullopt},
        {"1 2", std::nullopt},
        {"5d", std::nullopt},
        {"1_000", std::nullopt},
        {"\xEF\xBC\x95", std::nullopt},  // a full-width digit is not ASCII
        {"5\0"sv, std::nullopt},
        {"\xC2", std::nullopt},  // a lone lead byte is not whitespace
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(same_number(c.text, Number::parse(c.text), c.want));
    }
}

TEST(NumberParse, SubnormalsRoundCorrectly) {
    // The smallest subnormal; half of it rounds to even (zero) and is out of range.
    EXPECT_TRUE(same_number("4.9e-324", Number::parse("4.9e-324"),
                            Number::make_real(std::numeric_limits<double>::denorm_min())));
    EXPECT_TRUE(same_number("2e-324", Number::parse("2e-324"), Number::make_real(0.0)));
    EXPECT_TRUE(same_number("1.7976931348623157e308", Number::parse("1.7976931348623157e308"),
                            Number::make_real(std::numeric_limits<double>::max())));
    EXPECT_TRUE(same_number("1.8e308", Number::parse("1.8e308"), Number::make_real(kInf)));
}

TEST(NumberParse, LongLiteralsStayExact) {
    // A long run of digits still rounds correctly and a long fraction of zeros still underflows.
    std::string ones(5000, '1');
    EXPECT_TRUE(same_number("1...1", Number::parse(ones), Number::make_real(kInf)));
    std::string small = "0." + std::string(400, '0') + "1";
    EXPECT_TRUE(same_number("0.0...01", Number::parse(small), Number::make_real(0.0)));
    std::string third = "0." + std::string(1000, '3');
    EXPECT_TRUE(same_number("0.333...", Number::parse(third), Number::make_real(1.0 / 3.0)));
}

struct DisplayCase {
    Number value;
    std::string_view display;
    std::string_view echo;
};

TEST(NumberDisplay, Table) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const DisplayCase cases[] = {
        {Number::make_int(0), "0", "0"},
        {Number::make_int(-17), "-17", "-17"},
        {Number::make_int(kMin), "-9223372036854775808", "-9223372036854775808"},
        {Number::make_real(3.0), "3", "3"},
        {Number::make_real(2.5), "2.5", "2.5"},
        {Number::make_real(-2.5), "-2.5", "-2.5"},
        {Number::make_real(1000.0), "1000", "1000"},
        {Number::make_real(1e20), "100000000000000000000", "100000000000000000000"},
        {Number::make_real(0.1), "0.1", "0.1"},
        {Number::make_real(-0.0), "0", "0"},
        {Number::make_real(1e-7), "0.0000001", "0.0000001"},
        {Number::make_real(-1.25e-5), "-0.0000125", "-0.0000125"},
        {Number::make_real(123456.789), "123456.789", "123456.789"},
        // Whole or not just below 1e15, where whole values are read as integers.
        {Number::make_real(-3.0), "-3", "-3"},
        {Number::make_real(-0.5), "-0.5", "-0.5"},
        {Number::make_real(999999999999999.5), "999999999999999.5", "999999999999999.5"},
        {Number::make_real(-999999999999998.0), "-999999999999998", "-999999999999998"},
        // Short decimals of up to 16 digits.
        {Number::make_real(1125899906842.623), "1125899906842.623", "1125899906842.623"},
        {Number::make_real(-0.001), "-0.001", "-0.001"},
        {Number::make_real(0.1 + 0.2), "0.30000000000000004", "0.30000000000000004"},
        // Whole values from 1e15 up take the shortest-digits path.
        {Number::make_real(999999999999999.0), "999999999999999", "999999999999999"},
        {Number::make_real(1e15), "1000000000000000", "1000000000000000"},
        {Number::make_real(-1e15), "-1000000000000000", "-1000000000000000"},
        {Number::make_real(1e15 + 0.5), "1000000000000000.5", "1000000000000000.5"},
        {Number::make_real(9223372036854775808.0), "9223372036854776000", "9223372036854776000"},
        {Number::make_real(kInf), "inf", "inf"},
        {Number::make_real(-kInf), "-inf", "-inf"},
        {Number::make_real(nan), "NaN", "NaN"},
        {Number::make_real(-nan), "NaN", "NaN"},
        // Percentages display their fraction and echo their written value.
        {Number::make_percent(0.5), "0.5", "50%"},
        {Number::make_percent(-0.25), "-0.25", "-25%"},
        {Number::make_percent(0.125), "0.125", "12.5%"},
        {Number::make_percent(1.0), "1", "100%"},
        {Number::make_percent(kInf), "inf", "inf%"},
        {Number::make_percent(nan), "NaN", "NaN%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.display(), c.display);
        EXPECT_EQ(c.value.to_display_string(), c.echo) << c.display;
    }
}

TEST(NumberDisplay, LargestRealIsPositional) {
    // 17 shortest digits followed by zeros up to the 309 digits of the integer part.
    const std::string want = "17976931348623157" + std::string(309 - 17, '0');
    EXPECT_EQ(Number::make_real(std::numeric_limits<double>::max()).display(), want);
    EXPECT_EQ(Number::make_real(-std::numeric_limits<double>::max()).display(), "-" + want);
}

TEST(NumberDisplay, ParsedLiteralsEchoAsWritten) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"50%", "50%"}, {"0.1%", "0.1%"}, {"57%", "56.99999999999999%"}, {"12.5%", "12.5%"},
        {"-25%", "-25%"}, {"3.0", "3"}, {"1e3", "1000"}, {"9223372036854775808", "9223372036854776000"},
        {"nan", "NaN"}, {"-inf", "-inf"}, {"0.5e-3", "0.0005"},
    };
    for (const auto& [text, echo] : cases) {
        const auto n = Number::parse(text);
        ASSERT_TRUE(n.has_value()) << text;
        EXPECT_EQ(n->to_display_string(), echo) << text;
    }
}

TEST(NumberDisplay, AppendsToTheCallersText) {
    std::string out = "x=";
    Number::make_real(2.5).append_display(out);
    out += ", ";
    Number::make_percent(0.5).append_display_string(out);
    EXPECT_EQ(out, "x=2.5, 50%");
}

TEST(NumberDisplay, ShortestDigitsReadBack) {
    // Display of any finite non-integral real reads back to the same double.
    const double samples[] = {0.1, 1.0 / 3.0, 2.0 / 3.0, 1e-300, 5e-324, 1.7976931348623157e308,
                              123456789.123456789, -7.0e-10, 4.35, 1e16 + 2.0};
    for (const double x : samples) {
        const std::string text = Number::make_real(x).display();
        EXPECT_EQ(text.find('e'), std::string::npos) << text;
        const auto back = Number::parse(text);
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_EQ(back->to_double(), x) << text;
    }
}

struct ViewCase {
    Number value;
    std::int64_t want;
};

TEST(NumberIntegerView, Table) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ViewCase cases[] = {
        {Number::make_int(kMin), kMin},
        {Number::make_int(-3), -3},
        {Number::make_real(2.9), 2},
        {Number::make_real(-2.9), -2},
        {Number::make_real(-0.0), 0},
        {Number::make_real(nan), 0},
        {Number::make_real(-nan), 0},
        {Number::make_real(1e300), kMax},
        {Number::make_real(-1e300), kMin},
        {Number::make_real(kInf), kMax},
        {Number::make_real(-kInf), kMin},
        {Number::make_real(9223372036854775808.0), kMax},
        {Number::make_real(-9223372036854775808.0), kMin},
        {Number::make_real(9223372036854774784.0), 9223372036854774784},  // largest double below 2^63
        {Number::make_real(-9223372036854774784.0), -9223372036854774784},
        {Number::make_percent(0.5), 0},
        {Number::make_percent(2.5), 2},
        {Number::make_percent(-1.5), -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.integer_view(), c.want) << c.value.display();
    }
}

struct DigitsCase {
    double x;
    std::string_view digits;
    int point;
    bool negative;
};

TEST(ShortestDigits, Table) {
    const DigitsCase cases[] = {
        {0.0, "0", 1, false},
        {-0.0, "0", 1, true},
        {1.0, "1", 1, false},
        {1.5, "15", 1, false},
        {-1.5, "15", 1, true},
        {0.01, "1", -1, false},
        {123.0, "123", 3, false},
        {1e20, "1", 21, false},
        {0.1 + 0.2, "30000000000000004", 0, false},
        {9223372036854775808.0, "9223372036854776", 19, false},
        {5e-324, "5", -323, false},
        {1.7976931348623157e308, "17976931348623157", 309, false},
    };
    for (const auto& c : cases) {
        const ShortestDigits d = shortest_digits(c.x);
        EXPECT_EQ(std::string_view(d.digits, static_cast<std::size_t>(d.count)), c.digits) << c.x;
        EXPECT_EQ(d.point, c.point) << c.x;
        EXPECT_EQ(d.negative, c.negative) << c.x;
    }
}

// The standard library's shortest scientific form, read as digits and point.
std::pair<std::string, int> library_shortest(double magnitude) {
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    const std::size_t e = text.find('e');
    std::string digits;
    for (const char c : text.substr(0, e)) {
        if (c != '.') digits += c;
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    int exponent = 0;
    std::string_view exp_text = text.substr(e + 1);
    if (exp_text.front() == '+') exp_text.remove_prefix(1);
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
    return {digits, exponent + 1};
}

// Short decimals, one step either side of each, the edges of their quick
// route (tiny values, 2^50 units, 8 decimals) and finite magnitudes of any bits.
std::vector<double> short_decimals_and_others() {
    std::mt19937_64 gen(12);
    std::vector<double> samples = {0.001, 0.0015, 1125899906842.624, 112589990684.26241, 0.12345678,
                                   0.123456789, 43.2, 0.3, 1e-3, 9.999999999e-4, 1125899906842623.5};
    for (int i = 0; i < 20000; ++i) {
        const auto n = static_cast<double>(gen() % 100000000);
        const double scale[] = {1.0, 10.0, 100.0, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
        const double x = n / scale[gen() % std::size(scale)];
        samples.push_back(x);
        samples.push_back(std::nextafter(x, 0.0));
        samples.push_back(std::nextafter(x, kInf));
        samples.push_back(std::bit_cast<double>(gen() & 0x7fefffffffffffffULL));
    }
    return samples;
}

TEST(ShortestDigits, AgreesWithTheLibraryOnShortDecimalsAndTheirNeighbours) {
    // Short decimals take a quicker route than the general search; both must give the same digits.
    for (const double x : short_decimals_and_others()) {
        if (x == 0.0) continue;
        const auto [digits, point] = library_shortest(x);
        const ShortestDigits d = shortest_digits(-x);
        ASSERT_EQ(std::string_view(d.digits, static_cast<std::size_t>(d.count)), digits) << x;
        ASSERT_EQ(d.point, point) << x;
        ASSERT_TRUE(d.negative) << x;
    }
}

TEST(NumberDisplay, RealsBelow1e15AreTheLibrarysShortestFixedForm) {
    // Below 1e15 the shortest digits laid out positionally are the library's
    // shortest fixed form; short decimals are written by a route of their own.
    for (const double magnitude : short_decimals_and_others()) {
        if (magnitude == 0.0 || magnitude >= 1e15) continue;
        for (const double x : {magnitude, -magnitude}) {
            char buf[400];
            const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
            ASSERT_EQ(Number::make_real(x).display(), std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
        }
    }
}

struct TrimCase {
    std::string_view text;
    std::string_view both;
    std::string_view leading;
    std::string_view trailing;
};

TEST(Whitespace, Table) {
    const TrimCase cases[] = {
        {"", "", "", ""},
        {" \t\n\v\f\r", "", "", ""},
        {" a b ", "a b", "a b ", " a b"},
        {"\xC2\x85" "a" "\xC2\xA0", "a", "a\xC2\xA0", "\xC2\x85" "a"},
        {"\xE1\x9A\x80" "a" "\xE2\x80\x80", "a", "a\xE2\x80\x80", "\xE1\x9A\x80" "a"},
        {"\xE2\x80\x8A" "a" "\xE2\x80\xA8", "a", "a\xE2\x80\xA8", "\xE2\x80\x8A" "a"},
        {"\xE2\x80\xA9" "a" "\xE2\x80\xAF", "a", "a\xE2\x80\xAF", "\xE2\x80\xA9" "a"},
        {"\xE2\x81\x9F" "a" "\xE3\x80\x80", "a", "a\xE3\x80\x80", "\xE2\x81\x9F" "a"},
        // Near misses are kept whole: U+200B, U+2060, U+00A1, U+3001, a lone continuation byte.
        {"\xE2\x80\x8B", "\xE2\x80\x8B", "\xE2\x80\x8B", "\xE2\x80\x8B"},
        {"\xE2\x81\xA0", "\xE2\x81\xA0", "\xE2\x81\xA0", "\xE2\x81\xA0"},
        {"\xC2\xA1", "\xC2\xA1", "\xC2\xA1", "\xC2\xA1"},
        {"\xE3\x80\x81", "\xE3\x80\x81", "\xE3\x80\x81", "\xE3\x80\x81"},
        {"\xA0", "\xA0", "\xA0", "\xA0"},
        {"\xC2", "\xC2", "\xC2", "\xC2"},
        {"\xE3\x80", "\xE3\x80", "\xE3\x80", "\xE3\x80"},
        // The character before the whitespace ends in the same byte as it would not.
        {"\xC3\xA0", "\xC3\xA0", "\xC3\xA0", "\xC3\xA0"},
        {"x\0 "sv, "x\0"sv, "x\0 "sv, "x\0"sv},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trim_whitespace(c.text), c.both);
        EXPECT_EQ(trim_leading_whitespace(c.text), c.leading);
        EXPECT_EQ(trim_trailing_whitespace(c.text), c.trailing);
    }
}

TEST(Whitespace, TrimsLongRunsInLinearTime) {
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "\xE3\x80\x80 ";
    const std::string padded = text + "7" + text;
    EXPECT_EQ(trim_whitespace(padded), "7");
    EXPECT_TRUE(same_number("padded 7", Number::parse(padded), Number::make_int(7)));
}

}  // namespace
}  // namespace pipwerk
