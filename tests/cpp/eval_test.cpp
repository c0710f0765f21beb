#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "eval_value.hpp"
#include "eval/flat_set.hpp"
#include "parser/parser.hpp"

namespace pipwerk {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

Number I(std::int64_t v) { return Number::make_int(v); }
Number R(double v) { return Number::make_real(v); }
Number P(double fraction) { return Number::make_percent(fraction); }

// Equal kind and payload, with NaN equal to NaN and -0.0 told from 0.0.
::testing::AssertionResult same_number(const Number& actual, const Number& expected) {
    const bool same = actual.kind() == expected.kind() &&
                      (actual.is_int() ? actual.int_value() == expected.int_value()
                                       : (std::isnan(actual.to_double()) && std::isnan(expected.to_double())) ||
                                             (actual.to_double() == expected.to_double() &&
                                              std::signbit(actual.to_double()) == std::signbit(expected.to_double())));
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << actual.display() << " (kind "
                                         << static_cast<int>(actual.kind()) << "), want " << expected.display()
                                         << " (kind " << static_cast<int>(expected.kind()) << ")";
}

// Hands out scripted die values in order (then the low end), counting draws.
class ScriptedRng final : public Rng {
public:
    explicit ScriptedRng(std::vector<std::int32_t> script, std::int32_t fallback = 0)
        : script_(std::move(script)), fallback_(fallback) {}

    std::int32_t rand_range(std::int32_t lo, std::int32_t hi) noexcept override {
        if (hi <= lo) return lo;
        ++draws;
        if (next_ < script_.size()) return script_[next_++];
        return fallback_ != 0 ? fallback_ : lo;
    }

    std::size_t draws = 0;

private:
    std::vector<std::int32_t> script_;
    std::size_t next_ = 0;
    std::int32_t fallback_;
};

// ---- Arithmetic of two numbers -------------------------------------------

struct BinopCase {
    Number left;
    BinaryOp op;
    Number right;
    std::optional<Number> want;  // nothing: division by zero
};

TEST(ApplyBinop, IntegerAndRealRules) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<BinopCase> cases = {
        {I(2), BinaryOp::Add, I(3), I(5)},
        {I(2), BinaryOp::Sub, I(3), I(-1)},
        {I(-4), BinaryOp::Mul, I(3), I(-12)},
        // Wrapping modulo 2^64.
        {I(kMax), BinaryOp::Add, I(1), I(kMin)},
        {I(kMin), BinaryOp::Sub, I(1), I(kMax)},
        {I(kMax), BinaryOp::Mul, I(2), I(-2)},
        {I(3037000500), BinaryOp::Mul, I(3037000500), I(-9223372036709301616)},
        {I(kMin), BinaryOp::Mul, I(-1), I(kMin)},
        // Division: exact stays Int, anything else is Real.
        {I(6), BinaryOp::Div, I(3), I(2)},
        {I(-6), BinaryOp::Div, I(3), I(-2)},
        {I(6), BinaryOp::Div, I(-3), I(-2)},
        {I(0), BinaryOp::Div, I(5), I(0)},
        {I(7), BinaryOp::Div, I(2), R(3.5)},
        {I(-7), BinaryOp::Div, I(2), R(-3.5)},
        {I(1), BinaryOp::Div, I(3), R(1.0 / 3.0)},
        {I(kMin), BinaryOp::Div, I(1), I(kMin)},
        {I(kMin), BinaryOp::Div, I(2), I(kMin / 2)},
        {I(kMin), BinaryOp::Div, I(kMin), I(1)},
        {I(kMax), BinaryOp::Div, I(-1), I(-kMax)},
        {I(kMin), BinaryOp::Div, I(3), R(static_cast<double>(kMin) / 3.0)},
        // The one quotient beyond the Int range comes back as the true value.
        {I(kMin), BinaryOp::Div, I(-1), R(9223372036854775808.0)},
        // Reals and percentages.
        {R(6.0), BinaryOp::Div, I(3), R(2.0)},
        {P(0.5), BinaryOp::Add, P(0.5), R(1.0)},
        {P(0.5), BinaryOp::Mul, I(10), R(5.0)},
        {I(10), BinaryOp::Add, P(0.5), R(10.5)},
        {I(1), BinaryOp::Sub, R(0.25), R(0.75)},
        {R(1e308), BinaryOp::Mul, I(10), R(inf)},
        {R(inf), BinaryOp::Sub, R(inf), R(nan)},
        {I(1), BinaryOp::Div, R(nan), R(nan)},
        {I(9007199254740993), BinaryOp::Add, R(0.0), R(9007199254740992.0)},
        // Zero divisors in every form.
        {I(5), BinaryOp::Div, I(0), std::nullopt},
        {I(5), BinaryOp::Div, R(0.0), std::nullopt},
        {R(5.0), BinaryOp::Div, I(0), std::nullopt},
        {I(5), BinaryOp::Div, R(-0.0), std::nullopt},
        {P(0.5), BinaryOp::Div, P(0.0), std::nullopt},
        {I(kMin), BinaryOp::Div, I(0), std::nullopt},
    };
    for (const BinopCase& c : cases) {
        SCOPED_TRACE(c.left.display() + " op" + std::to_string(static_cast<int>(c.op)) + " " + c.right.display());
        const Result<Number> got = apply_binop(c.op, c.left, c.right);
        if (!c.want) {
            ASSERT_FALSE(got.has_value());
            EXPECT_EQ(got.error(), PipwerkError::division_by_zero());
            continue;
        }
        ASSERT_TRUE(got.has_value()) << got.error().message();
        EXPECT_TRUE(same_number(*got, *c.want));
    }
}

TEST(Negate, FlipsSignAndKeepsKind) {
    const std::vector<std::pair<Number, Number>> cases = {
        {I(5), I(-5)},
        {I(-5), I(5)},
        {I(0), I(0)},
        {I(kMax), I(-kMax)},
        {I(kMin), I(kMin)},  // wraps onto itself
        {R(2.5), R(-2.5)},
        {R(0.0), R(-0.0)},
        {P(0.5), P(-0.5)},
    };
    for (const auto& [in, want] : cases) {
        SCOPED_TRACE(in.display());
        EXPECT_TRUE(same_number(negate(in), want));
    }
}

TEST(FormatBinopDetail, DropsTheEmptySide) {
    struct Case {
        BinaryOp op;
        std::string left;
        std::string right;
        std::string want;
    };
    const std::vector<Case> cases = {
        {BinaryOp::Add, "[4]", "2", "[4] + 2"},
        {BinaryOp::Sub, "[4]", "2", "[4] - 2"},
        {BinaryOp::Mul, "[4]", "2", "[4] * 2"},
        {BinaryOp::Div, "[4]", "2", "[4] / 2"},
        {BinaryOp::Add, "[4]", "", "[4] +"},
        {BinaryOp::Add, "", "2", "+ 2"},
        {BinaryOp::Div, "", "", ""},
        {BinaryOp::Sub, "(a + b)", "{c}", "(a + b) - {c}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(format_binop_detail(c.op, c.left, c.right), c.want);
    }
}

// ---- Set arithmetic -------------------------------------------------------

EvalValue::Set numbered(std::size_t n, std::int64_t base, const std::string& tag) {
    EvalValue::Set set;
    for (std::size_t i = 0; i < n; ++i) {
        set.push_back({I(base + static_cast<std::int64_t>(i)), tag + std::to_string(i)});
    }
    return set;
}

TEST(BinarySetSet, LengthPairs) {
    // Left elements are 100, 101, ... ("a0", "a1", ...), right ones 1, 2, ... ("b0", ...).
    struct Case {
        std::size_t left;
        std::size_t right;
        std::vector<std::int64_t> values;
        std::vector<std::string> details;
    };
    const std::vector<Case> cases = {
        {1, 3, {99, 98, 97}, {"a0 - b0", "a0 - b1", "a0 - b2"}},
        {3, 1, {99, 100, 101}, {"a0 - b0", "a1 - b0", "a2 - b0"}},
        {1, 1, {99}, {"a0 - b0"}},
        {2, 3, {99, 99}, {"a0 - b0", "a1 - b1"}},
        {3, 2, {99, 99}, {"a0 - b0", "a1 - b1"}},
        {2, 2, {99, 99}, {"a0 - b0", "a1 - b1"}},
        {0, 5, {}, {}},
        {0, 1, {}, {}},
        {1, 0, {}, {}},
        {5, 0, {}, {}},
        {0, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.left) + " with " + std::to_string(c.right));
        Result<EvalValue> got =
            binary_set_set(BinaryOp::Sub, EvalValue(numbered(c.left, 100, "a")), EvalValue(numbered(c.right, 1, "b")));
        ASSERT_TRUE(got.has_value());
        const EvalValue::Set* set = got->set();
        ASSERT_NE(set, nullptr);
        ASSERT_EQ(set->size(), c.values.size());
        for (std::size_t i = 0; i < set->size(); ++i) {
            EXPECT_TRUE(same_number((*set)[i].value, I(c.values[i])));
            EXPECT_EQ((*set)[i].detail, c.details[i]);
        }
    }
}

TEST(BinarySetScalar, OperandOrderFollowsTheSetSide) {
    struct Case {
        bool set_on_left;
        std::vector<std::int64_t> values;
        std::vector<std::string> details;
    };
    const std::vector<Case> cases = {
        {true, {-9, -8}, {"1 - 10", "2 - 10"}},
        {false, {9, 8}, {"10 - 1", "10 - 2"}},
    };
    for (const Case& c : cases) {
        EvalValue::Set set = {{I(1), "1"}, {I(2), "2"}};
        Result<EvalValue> got = binary_set_scalar(BinaryOp::Sub, EvalValue(std::move(set)), I(10), "10", c.set_on_left);
        ASSERT_TRUE(got.has_value());
        ASSERT_EQ(got->set()->size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_TRUE(same_number((*got->set())[i].value, I(c.values[i])));
            EXPECT_EQ((*got->set())[i].detail, c.details[i]);
        }
    }
}

TEST(SetArithmetic, ZeroDivisorMakesOnlyThatElementZero) {
    Result<EvalValue> pairwise = binary_set_set(BinaryOp::Div, EvalValue(EvalValue::Set{{I(4), "4"}, {I(9), "9"}}),
                                                EvalValue(EvalValue::Set{{I(0), "0"}, {R(2.0), "2.0"}}));
    ASSERT_TRUE(pairwise.has_value());
    EXPECT_EQ(pairwise->detail(), "{4 / 0, 9 / 2.0}");
    ASSERT_EQ(pairwise->values().size(), 2u);
    EXPECT_TRUE(same_number(pairwise->values()[0], I(0)));
    EXPECT_TRUE(same_number(pairwise->values()[1], R(4.5)));

    Result<EvalValue> by_scalar =
        binary_set_scalar(BinaryOp::Div, EvalValue(EvalValue::Set{{R(1.5), "a"}, {I(2), "b"}}), R(-0.0), "-0", true);
    ASSERT_TRUE(by_scalar.has_value());
    EXPECT_EQ(by_scalar->detail(), "{a / -0, b / -0}");
    EXPECT_EQ(by_scalar->summary(), "{0, 0}");
    EXPECT_TRUE(same_number(by_scalar->values()[0], I(0)));

    // A zero dividend is fine; only the divisor matters.
    Result<EvalValue> scalar_left =
        binary_set_scalar(BinaryOp::Div, EvalValue(EvalValue::Set{{I(0), "0"}, {I(5), "5"}}), I(10), "10", false);
    ASSERT_TRUE(scalar_left.has_value());
    EXPECT_EQ(scalar_left->summary(), "{0, 2}");
    EXPECT_EQ(scalar_left->detail(), "{10 / 0, 10 / 5}");
}

TEST(SetArithmetic, ScalarOperandIsRejected) {
    const PipwerkError expected_set = PipwerkError::parse(ParseMessage::ExpectedSet);
    const auto scalar = [] { return EvalValue(ScalarValue{I(1), "1"}); };
    const auto set = [] { return EvalValue(EvalValue::Set{{I(1), "1"}}); };
    const std::vector<Result<EvalValue>> results = {
        binary_set_set(BinaryOp::Add, scalar(), set()),
        binary_set_set(BinaryOp::Add, set(), scalar()),
        binary_set_scalar(BinaryOp::Add, scalar(), I(1), "1", true),
        binary_set_scalar(BinaryOp::Add, scalar(), I(1), "1", false),
    };
    for (const Result<EvalValue>& r : results) {
        ASSERT_FALSE(r.has_value());
        EXPECT_EQ(r.error(), expected_set);
        EXPECT_EQ(r.error().message(), "parse error: expected set");
    }
}

// Steps recorded on a set and laid out at the end: each step shows as
// "left s right" on the text built so far, empty sides dropped.
TEST(FlatSet, StepsLaidOutWithEmptyTexts) {
    using detail::FlatSet;
    using detail::SetTexts;
    SetTexts texts;
    const auto span_of = [&texts](std::string_view text) {
        const std::size_t begin = texts.chars.size();
        texts.chars += text;
        return texts.close_span(begin);
    };
    const auto set_of = [&](const std::vector<std::string_view>& own) {
        FlatSet set;
        set.first_span = texts.span_count();
        for (const std::string_view text : own) {
            set.numbers.push_back(I(1));
            set.own_size += text.size();
            span_of(text);
        }
        return set;
    };
    const auto laid_out = [&](const FlatSet& set) {
        std::vector<std::string> out(set.size());
        for (std::size_t i = 0; i < set.size(); ++i) detail::append_element(out[i], texts, set, i);
        return out;
    };

    FlatSet set = set_of({"", "a", ""});
    detail::apply_scalar(set, BinaryOp::Add, I(1), &texts, span_of(""), true);   // x +
    EXPECT_EQ(laid_out(set), (std::vector<std::string>{"", "a +", ""}));
    detail::apply_scalar(set, BinaryOp::Mul, I(2), &texts, span_of("p"), false);  // p * x
    EXPECT_EQ(laid_out(set), (std::vector<std::string>{"p *", "p * a +", "p *"}));
    FlatSet right = set_of({"", "r", "s", "extra"});
    detail::apply_set(set, BinaryOp::Sub, right, &texts);  // by position, the extra element dropped
    EXPECT_EQ(laid_out(set), (std::vector<std::string>{"p * -", "p * a + - r", "p * - s"}));
    ASSERT_EQ(set.size(), 3u);
    // Every value is 2 * (1 + 1) - 1.
    for (const Number& n : set.numbers) EXPECT_TRUE(same_number(n, I(3)));

    // A lone element on the left becomes a step of the right set.
    FlatSet lone = set_of({"q"});
    detail::apply_scalar(lone, BinaryOp::Div, I(1), &texts, span_of("1"), true);
    FlatSet many = set_of({"m", ""});
    detail::apply_set(lone, BinaryOp::Add, many, &texts);
    EXPECT_EQ(laid_out(lone), (std::vector<std::string>{"q / 1 + m", "q / 1 +"}));
    // The whole set laid out is its elements' texts in braces, whether the
    // steps all follow the element or some come first, with empty texts anywhere.
    struct LayoutCase {
        std::vector<std::string_view> own;
        std::vector<std::pair<std::string_view, bool>> operands;  // text, element first
        std::string_view layout;
    };
    const LayoutCase layouts[] = {
        {{"a", "b"}, {}, "{a, b}"},
        {{"a", "b"}, {{"2", true}, {"", true}, {"3", true}}, "{a + 2 + + 3, b + 2 + + 3}"},
        {{"", "b"}, {{"", true}, {"2", true}}, "{+ 2, b + + 2}"},
        {{"a", ""}, {{"p", false}, {"2", true}}, "{p + a + 2, p + + 2}"},
        {{"", ""}, {{"", false}, {"", true}}, "{, }"},
        {{"", "b"}, {{"p", false}, {"", false}}, "{+ p +, + p + b}"},
    };
    for (const LayoutCase& c : layouts) {
        FlatSet laid = set_of(c.own);
        for (const auto& [text, element_first] : c.operands) {
            detail::apply_scalar(laid, BinaryOp::Add, I(1), &texts, span_of(text), element_first);
        }
        TextBuffer out;
        out += "x";  // laid out after what the text holds already
        detail::append_layout(out, texts, laid);
        EXPECT_EQ(out.view().substr(1), c.layout);
        EXPECT_EQ(out.view().front(), 'x');
        const std::vector<std::string> elements = laid_out(laid);
        std::string joined = "x{";
        for (std::size_t i = 0; i < elements.size(); ++i) joined += (i == 0 ? "" : ", ") + elements[i];
        EXPECT_EQ(out.view(), joined + "}");
    }

    // Without texts only the numbers change.
    FlatSet bare = set_of({"b", "c"});
    detail::apply_scalar(bare, BinaryOp::Div, I(0), nullptr, 0, true);
    EXPECT_TRUE(bare.steps.empty());
    EXPECT_TRUE(same_number(bare.numbers[0], I(0)));
}

// ---- Rendering ------------------------------------------------------------

TEST(Render, TextsAndValues) {
    struct Case {
        EvalValue value;
        std::string detail;
        std::string summary;
        std::string full;
        std::vector<Number> values;
    };
    std::vector<Case> cases;
    cases.push_back({EvalValue(ScalarValue{I(5), ""}), "", "5", "5", {I(5)}});
    cases.push_back({EvalValue(ScalarValue{P(0.5), ""}), "", "0.5", "0.5", {P(0.5)}});
    cases.push_back({EvalValue(ScalarValue{R(1e15), ""}), "", "1000000000000000", "1000000000000000", {R(1e15)}});
    cases.push_back({EvalValue(ScalarValue{I(6), "[4] + 2"}), "[4] + 2", "6", "[4] + 2 = 6", {I(6)}});
    cases.push_back({EvalValue(EvalValue::Set{}), "{}", "{}", "{} = {}", {}});
    cases.push_back({EvalValue(EvalValue::Set{{I(4), "([4])"}}), "{([4])}", "{4}", "{([4])} = {4}", {I(4)}});
    cases.push_back({EvalValue(EvalValue::Set{{R(3.5), "3.5"}, {P(0.5), "50%"}}), "{3.5, 50%}", "{3.5, 0.5}",
                     "{3.5, 50%} = {3.5, 0.5}", {R(3.5), P(0.5)}});
    // No special case for empty element texts.
    cases.push_back({EvalValue(EvalValue::Set{{I(1), ""}, {I(-2), "x"}}), "{, x}", "{1, -2}", "{, x} = {1, -2}",
                     {I(1), I(-2)}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.full);
        EXPECT_EQ(c.value.detail(), c.detail);
        EXPECT_EQ(c.value.summary(), c.summary);
        EXPECT_EQ(c.value.full(), c.full);
        const std::vector<Number> values = c.value.values();
        ASSERT_EQ(values.size(), c.values.size());
        for (std::size_t i = 0; i < values.size(); ++i) EXPECT_TRUE(same_number(values[i], c.values[i]));
        // The append forms add to what is already there.
        std::string out = "> ";
        c.value.append_full(out);
        EXPECT_EQ(out, "> " + c.full);
    }
}

// ---- Evaluation of parsed expressions ---------------------------------------

struct Evaluated {
    Result<EvalValue> value;
    std::size_t draws;
    std::string tail;
};

Evaluated evaluate_text(const std::string& text, std::vector<std::int32_t> dice = {}) {
    ParseOutcome parsed = Parser::parse(text);
    ScriptedRng rng(std::move(dice));
    if (!parsed.expression) {
        ADD_FAILURE() << "nothing parsed in " << text;
        return {std::unexpected(PipwerkError::non_positive()), 0, std::string(parsed.tail)};
    }
    Result<EvalValue> value = evaluate(parsed.ast, *parsed.expression, rng);
    return {std::move(value), rng.draws, std::string(parsed.tail)};
}

TEST(Evaluate, RenderedExpressions) {
    struct Case {
        std::string text;
        std::vector<std::int32_t> dice;  // every one must be drawn, and no more
        std::string detail;
        std::string summary;
        std::string full;
    };
    const std::vector<Case> cases = {
        {"2 + 3 * 4", {}, "", "14", "14"},
        {"2 + 3", {}, "", "5", "5"},
        {"7 / 2", {}, "", "3.5", "3.5"},
        {"50%", {}, "", "0.5", "0.5"},
        {"6.0 / 3", {}, "", "2", "2"},
        {"(2 + 3)", {}, "", "5", "5"},
        {"1d6 + 2", {4}, "[4] + 2", "6", "[4] + 2 = 6"},
        {"4d6k3", {5, 3, 1, 6}, "[5 + 3 + 1* + 6]", "14", "[5 + 3 + 1* + 6] = 14"},
        {"(1d6 + 2) * 3", {4}, "([4] + 2) * 3", "18", "([4] + 2) * 3 = 18"},
        {"1d6 + (2 * 3)", {4}, "[4] + 6", "10", "[4] + 6 = 10"},
        {"(1d6)", {4}, "([4])", "4", "([4]) = 4"},
        {"-1d6", {4}, "[4]", "-4", "[4] = -4"},
        {"-(1d6 + 2)", {4}, "([4] + 2)", "-6", "([4] + 2) = -6"},
        {"1d6 * 50%", {4}, "[4] * 50%", "2", "[4] * 50% = 2"},
        {"1 + 2 + 1d6", {4}, "3 + [4]", "7", "3 + [4] = 7"},
        {"1d6 - -3 - 2d6", {4, 1, 2}, "[4] - -3 - [1 + 2]", "4", "[4] - -3 - [1 + 2] = 4"},
        {"1d6 / 2", {3}, "[3] / 2", "1.5", "[3] / 2 = 1.5"},
        {"4d6k3>4", {5, 3, 1, 6}, "<5 + 3* + 6>", "2", "<5 + 3* + 6> = 2"},
        {"4294967297d6", {3}, "[3]", "3", "[3] = 3"},
        {"{1, 2} + {10, 20, 30}", {}, "{1 + 10, 2 + 20}", "{11, 22}", "{1 + 10, 2 + 20} = {11, 22}"},
        {"3#5", {}, "{5, 5, 5}", "{5, 5, 5}", "{5, 5, 5} = {5, 5, 5}"},
        {"{7 / 2, 50%}", {}, "{3.5, 50%}", "{3.5, 0.5}", "{3.5, 50%} = {3.5, 0.5}"},
        {"-{1, 2}", {}, "{1, 2}", "{-1, -2}", "{1, 2} = {-1, -2}"},
        {"{1, 2} / 0", {}, "{1 / 0, 2 / 0}", "{0, 0}", "{1 / 0, 2 / 0} = {0, 0}"},
        {"{1d6} / 0", {4}, "{[4] / 0}", "{0}", "{[4] / 0} = {0}"},
        {"1#1d6", {4}, "{[4]}", "{4}", "{[4]} = {4}"},
        {"(3#1d6)", {1, 2, 3}, "{[1], [2], [3]}", "{1, 2, 3}", "{[1], [2], [3]} = {1, 2, 3}"},
        {"2.9#5", {}, "{5, 5}", "{5, 5}", "{5, 5} = {5, 5}"},
        {"{1 + 2, 4}", {}, "{3, 4}", "{3, 4}", "{3, 4} = {3, 4}"},
        // The scalar side is evaluated once, in operand order.
        {"3#1d6 + 1d4", {1, 2, 3, 4}, "{[1] + [4], [2] + [4], [3] + [4]}", "{5, 6, 7}",
         "{[1] + [4], [2] + [4], [3] + [4]} = {5, 6, 7}"},
        {"1d4 + 3#1d6", {4, 1, 2, 3}, "{[4] + [1], [4] + [2], [4] + [3]}", "{5, 6, 7}",
         "{[4] + [1], [4] + [2], [4] + [3]} = {5, 6, 7}"},
        {"{10} - {1, 2, 3}", {}, "{10 - 1, 10 - 2, 10 - 3}", "{9, 8, 7}", "{10 - 1, 10 - 2, 10 - 3} = {9, 8, 7}"},
        {"10 - {1, 2}", {}, "{10 - 1, 10 - 2}", "{9, 8}", "{10 - 1, 10 - 2} = {9, 8}"},
        {"{1, 2} * (1d6 + 1)", {4}, "{1 * ([4] + 1), 2 * ([4] + 1)}", "{5, 10}",
         "{1 * ([4] + 1), 2 * ([4] + 1)} = {5, 10}"},
        {"{1, 2} * (2 + 3)", {}, "{1 * 5, 2 * 5}", "{5, 10}", "{1 * 5, 2 * 5} = {5, 10}"},
        {"2 * {1, 2} - 1", {}, "{2 * 1 - 1, 2 * 2 - 1}", "{1, 3}", "{2 * 1 - 1, 2 * 2 - 1} = {1, 3}"},
        {"(({1} + 1)) + {2} * 3", {}, "{1 + 1 + 2 * 3}", "{8}", "{1 + 1 + 2 * 3} = {8}"},
        {"{1, 2} - -{1, 2}", {}, "{1 - 1, 2 - 2}", "{2, 4}", "{1 - 1, 2 - 2} = {2, 4}"},
        {"{(1d6 + 2)}", {4}, "{([4] + 2)}", "{6}", "{([4] + 2)} = {6}"},
        // Steps after every element with one operand for all, texts of different lengths.
        {"{1, 22, 333} * 2 + 1d4 - 5", {3}, "{1 * 2 + [3] - 5, 22 * 2 + [3] - 5, 333 * 2 + [3] - 5}",
         "{0, 42, 664}", "{1 * 2 + [3] - 5, 22 * 2 + [3] - 5, 333 * 2 + [3] - 5} = {0, 42, 664}"},
        {"3#1d6 - {10} * 2", {1, 2, 3}, "{[1] - 10 * 2, [2] - 10 * 2, [3] - 10 * 2}", "{-19, -18, -17}",
         "{[1] - 10 * 2, [2] - 10 * 2, [3] - 10 * 2} = {-19, -18, -17}"},
        {"({1, 2} + 1) * {3, 4} + 1", {}, "{1 + 1 * 3 + 1, 2 + 1 * 4 + 1}", "{7, 13}",
         "{1 + 1 * 3 + 1, 2 + 1 * 4 + 1} = {7, 13}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Evaluated got = evaluate_text(c.text, c.dice);
        EXPECT_EQ(got.tail, "");
        ASSERT_TRUE(got.value.has_value()) << got.value.error().message();
        EXPECT_EQ(got.value->detail(), c.detail);
        EXPECT_EQ(got.value->summary(), c.summary);
        EXPECT_EQ(got.value->full(), c.full);
        EXPECT_EQ(got.draws, c.dice.size());
    }
}

TEST(Evaluate, KindsOfResults) {
    struct Case {
        std::string text;
        bool is_set;
        std::vector<Number> values;
    };
    const std::vector<Case> cases = {
        {"2 + 3 * 4", false, {I(14)}},
        {"50%", false, {P(0.5)}},
        {"-50%", false, {P(-0.5)}},
        {"1d6 * 50%", false, {R(2.0)}},
        {"7 / 2", false, {R(3.5)}},
        {"{1, 2} / 0", true, {I(0), I(0)}},
        {"{7 / 2, 50%}", true, {R(3.5), P(0.5)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Evaluated got = evaluate_text(c.text, {4});
        ASSERT_TRUE(got.value.has_value()) << got.value.error().message();
        EXPECT_EQ(got.value->is_set(), c.is_set);
        const std::vector<Number> values = got.value->values();
        ASSERT_EQ(values.size(), c.values.size());
        for (std::size_t i = 0; i < values.size(); ++i) EXPECT_TRUE(same_number(values[i], c.values[i]));
    }
}

TEST(Evaluate, ErrorsAndTheirOrder) {
    const std::string non_positive = "dice count, face, or repeat must be a positive integer";
    struct Case {
        std::string text;
        std::vector<std::int32_t> dice;
        std::string message;
        std::size_t draws;  // dice drawn before the error
    };
    const std::vector<Case> cases = {
        {"1/0", {}, "division by zero", 0},
        {"1/0.0", {}, "division by zero", 0},
        {"5.0/0", {}, "division by zero", 0},
        {"5 / -0.0", {}, "division by zero", 0},
        {"1d6 / 0", {4}, "division by zero", 1},
        {"{1, 2} + 1/0", {}, "division by zero", 0},  // the scalar side is not a set element
        {"0d6", {}, non_positive, 0},
        {"1d1", {}, non_positive, 0},
        {"0.5d6", {}, non_positive, 0},
        {"2147483648d6", {}, non_positive, 0},
        {"99999999999999999999d6", {}, non_positive, 0},
        {"d2147483649", {}, non_positive, 0},
        {"0#1d6", {}, non_positive, 0},
        {"0.5#1d6", {}, non_positive, 0},
        {"11#1d6", {}, "repeat count exceeds maximum (11), max is 10", 0},
        // The repeat count is not narrowed to 32 bits.
        {"4294967297#d6", {}, "repeat count exceeds maximum (4294967297), max is 10", 0},
        {"1" + std::string(300, '0') + "#d6", {}, "repeat count exceeds maximum (9223372036854775807), max is 10", 0},
        {"60d6", {}, "dice count exceeds maximum (60), max is 50", 0},
        {"d1001", {}, "dice face exceeds maximum (1001), max is 1000", 0},
        {"{1, {2}}", {}, "parse error: unexpected pipwerk level", 0},
        {"2#({1, 2})", {}, "parse error: unexpected pipwerk level", 0},
        // Left before right, and the first error ends everything.
        {"1d6 / 0 + 0d6", {4}, "division by zero", 1},
        {"0d6 + 1d6", {}, non_positive, 0},
        {"1d6 + 0d6", {4}, non_positive, 1},
        {"1d6 + 11#d6", {4}, "repeat count exceeds maximum (11), max is 10", 1},
        {"{1d6, {2}, 0d6}", {4}, "parse error: unexpected pipwerk level", 1},
        {"3#(1d6 + 1/0)", {4}, "division by zero", 1},
        {"{1, 2} * {1d6, 0d6}", {4}, non_positive, 1},
        {"-{0d6}", {}, non_positive, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Evaluated got = evaluate_text(c.text, c.dice);
        EXPECT_EQ(got.tail, "");
        ASSERT_FALSE(got.value.has_value()) << got.value->full();
        EXPECT_EQ(got.value.error().message(), c.message);
        EXPECT_EQ(got.draws, c.draws);
    }
}

// ---- The level functions on trees of the wrong level ------------------------

TEST(LevelGuards, EachFunctionRefusesNodesOutsideItsLevel) {
    Ast ast;
    const ExprId one = ast.add_literal(I(1));
    const ExprId dice = ast.add_dice(DiceExpr{I(1), I(6), std::nullopt, std::nullopt, std::nullopt});
    const ExprId dice2 = ast.add_dice(DiceExpr{I(2), I(6), std::nullopt, std::nullopt, std::nullopt});
    const std::vector<ExprId> items = {one};
    const ExprId set = ast.add_set(items);
    const ExprId repeat = ast.add_repeat(I(2), one);
    const ExprId const_sum = ast.add_binary(BinaryOp::Add, one, one);
    const ExprId const_then_dice = ast.add_binary(BinaryOp::Add, one, dice);
    const ExprId dice_sum = ast.add_binary(BinaryOp::Add, dice, dice2);
    const ExprId dice_plus_set = ast.add_binary(BinaryOp::Add, ast.add_paren(dice_sum), set);
    const ExprId deep_dice_plus_set = ast.add_binary(BinaryOp::Add, dice_sum, set);
    const ExprId neg_literal = ast.add_neg(one);
    const ExprId paren_literal = ast.add_paren(ast.add_paren(one));

    enum class Fn { Const, Rand, RandOrConst, Pipwerk };
    const auto error_of = [&ast](Fn fn, ExprId id, ScriptedRng& rng) -> std::optional<PipwerkError> {
        const auto error = [](const auto& result) -> std::optional<PipwerkError> {
            if (result) return std::nullopt;
            return result.error();
        };
        switch (fn) {
            case Fn::Const: return error(eval_const(ast, id));
            case Fn::Rand: return error(eval_rand(ast, id, rng));
            case Fn::RandOrConst: return error(eval_rand_or_const(ast, id, rng));
            case Fn::Pipwerk: return error(eval_pipwerk(ast, id, rng));
        }
        return std::nullopt;
    };

    struct Case {
        std::string name;
        Fn fn;
        ExprId node;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"const on dice", Fn::Const, dice, "parse error: expected const expression"},
        {"const on set", Fn::Const, set, "parse error: expected const expression"},
        {"const on repeat", Fn::Const, repeat, "parse error: expected const expression"},
        {"const on 1 + dice", Fn::Const, const_then_dice, "parse error: expected const expression"},
        {"rand on literal", Fn::Rand, one, "parse error: expected rand expression"},
        {"rand on set", Fn::Rand, set, "parse error: expected rand expression"},
        {"rand on repeat", Fn::Rand, repeat, "parse error: expected rand expression"},
        // Refused before any die of the left operand is drawn.
        {"rand on (dice) + set", Fn::Rand, dice_plus_set, "parse error: unexpected pipwerk in rand expression"},
        {"rand on dice + dice + set", Fn::Rand, deep_dice_plus_set,
         "parse error: unexpected pipwerk in rand expression"},
        {"rand or const on set", Fn::RandOrConst, set, "parse error: unexpected pipwerk level"},
        {"rand or const on repeat", Fn::RandOrConst, repeat, "parse error: unexpected pipwerk level"},
        {"pipwerk on literal", Fn::Pipwerk, one, "parse error: expected pipwerk expression"},
        {"pipwerk on dice", Fn::Pipwerk, dice, "parse error: expected pipwerk expression"},
        {"pipwerk on ((literal))", Fn::Pipwerk, paren_literal, "parse error: expected pipwerk expression"},
        {"pipwerk on -literal", Fn::Pipwerk, neg_literal, "parse error: expected pipwerk expression"},
        {"pipwerk on 1 + 1", Fn::Pipwerk, const_sum, "parse error: expected at least one pipwerk operand"},
        {"pipwerk on dice + dice", Fn::Pipwerk, dice_sum, "parse error: expected at least one pipwerk operand"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRng rng({3, 3, 3});
        const std::optional<PipwerkError> error = error_of(c.fn, c.node, rng);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->kind(), ErrorKind::Parse);
        EXPECT_EQ(error->message(), c.message);
        EXPECT_EQ(rng.draws, 0u);  // every guard answers before a die is drawn
    }

    // The lenient ones: rand accepts a const-only Binary, rand-or-const a literal.
    ScriptedRng rng({});
    Result<ScalarValue> sum = eval_rand(ast, const_sum, rng);
    ASSERT_TRUE(sum.has_value());
    EXPECT_EQ(sum->detail, "1 + 1");
    Result<ScalarValue> literal = eval_rand_or_const(ast, one, rng);
    ASSERT_TRUE(literal.has_value());
    EXPECT_EQ(literal->detail, "1");
}

// ---- Size: long chains and deep nesting ----------------------------------

constexpr std::size_t kTerms = 1'000'000;

TEST(Evaluate, MillionTermConstantSum) {
    Ast ast;
    ExprId sum = ast.add_literal(I(1));
    for (std::size_t i = 1; i < kTerms; ++i) sum = ast.add_binary(BinaryOp::Add, sum, ast.add_literal(I(1)));
    ScriptedRng rng({});
    Result<EvalValue> value = evaluate(ast, sum, rng);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->full(), std::to_string(kTerms));
}

TEST(Evaluate, MillionTermDiceSum) {
    Ast ast;
    const DiceExpr d6{I(1), I(6), std::nullopt, std::nullopt, std::nullopt};
    ExprId sum = ast.add_dice(d6);
    for (std::size_t i = 1; i < kTerms; ++i) {
        sum = ast.add_binary(i % 2 ? BinaryOp::Add : BinaryOp::Sub, sum, ast.add_dice(d6));
    }
    ScriptedRng rng({1, 2}, 5);  // 1 + 2 - 5 + 5 - 5 ... + 5: the fives cancel in pairs
    Result<EvalValue> value = evaluate(ast, sum, rng);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(rng.draws, kTerms);
    EXPECT_EQ(value->summary(), "3");
    const std::string detail = value->detail();
    EXPECT_EQ(detail.size(), 3 * kTerms + 3 * (kTerms - 1));
    EXPECT_EQ(detail.substr(0, 17), "[1] + [2] - [5] +");
    EXPECT_EQ(detail.substr(detail.size() - 9), "[5] + [5]");
}

TEST(Evaluate, MillionTermSetChain) {
    Ast ast;
    const std::vector<ExprId> items = {ast.add_literal(I(1))};
    ExprId sum = ast.add_set(items);
    for (std::size_t i = 1; i < kTerms; ++i) sum = ast.add_binary(BinaryOp::Add, sum, ast.add_literal(I(1)));
    ScriptedRng rng({});
    Result<EvalValue> value = evaluate(ast, sum, rng);
    ASSERT_TRUE(value.has_value());
    static_assert(kTerms == 1'000'000);
    EXPECT_EQ(value->summary(), "{1000000}");
    EXPECT_EQ(value->detail().size(), 2 + 1 + 4 * (kTerms - 1));
}

TEST(Evaluate, DeepBracketsAndSigns) {
    constexpr int kDepth = Parser::kMaxNesting;
    Ast ast;
    ExprId rand = ast.add_dice(DiceExpr{I(1), I(6), std::nullopt, std::nullopt, std::nullopt});
    ExprId constant = ast.add_literal(I(7));
    std::vector<ExprId> items = {constant};
    ExprId set = ast.add_set(items);
    for (int i = 0; i < kDepth; ++i) {
        rand = ast.add_neg(ast.add_paren(ast.add_binary(BinaryOp::Add, ast.add_literal(I(1)), rand)));
        constant = ast.add_neg(ast.add_paren(constant));
        set = ast.add_paren(ast.add_binary(BinaryOp::Mul, ast.add_literal(I(1)), ast.add_neg(set)));
    }
    ScriptedRng rng({4});
    Result<EvalValue> r = evaluate(ast, rand, rng);
    ASSERT_TRUE(r.has_value());
    // An even number of signs: 1 + -(1 + -(... + 4)) alternates to 4.
    EXPECT_EQ(r->summary(), "4");
    const std::string detail = r->detail();
    EXPECT_EQ(detail.size(), static_cast<std::size_t>(kDepth) * 6 + 3);
    EXPECT_EQ(detail.substr(0, 9), "(1 + (1 +");

    Result<EvalValue> c = evaluate(ast, constant, rng);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->full(), "7");

    Result<EvalValue> s = evaluate(ast, set, rng);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->summary(), "{7}");
}

}  // namespace
}  // namespace pipwerk
