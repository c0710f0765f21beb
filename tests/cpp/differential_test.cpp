// The evaluator against the plain reference evaluator of tests/reference:
// every text and number of a roll, and every element's own text, for a
// table of set shapes and for thousands of generated expressions.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "eval_value.hpp"
#include "parser/parser.hpp"
#include "pipwerk/pipwerk.hpp"
#include "rng.hpp"
#include "reference_evaluator.hpp"

namespace pipwerk {
namespace {

bool same_number(const Number& a, const Number& b) {
    if (a.kind() != b.kind()) return false;
    if (a.is_int()) return a.int_value() == b.int_value();
    return std::bit_cast<std::uint64_t>(a.to_double()) == std::bit_cast<std::uint64_t>(b.to_double());
}

bool same_double(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// Rolls `text` with `seed` every way the product offers and checks each
// against the reference. Gives whether the text parsed.
bool check_against_reference(const std::string& text, std::uint64_t seed) {
    SCOPED_TRACE(text + " seed " + std::to_string(seed));
    const ParseOutcome parsed = Parser::parse(text);
    if (!parsed.expression) return false;
    auto reference_rng = Xoroshiro128StarStar::from_seed(seed);
    const Result<reference::Value> want = reference::evaluate(parsed.ast, *parsed.expression, reference_rng);

    auto rng = Xoroshiro128StarStar::from_seed(seed);
    const Result<EvalValue> value = evaluate(parsed.ast, *parsed.expression, rng);
    const Result<RollOutput> rolled = roll(text, {.seed = seed, .show_detail = true});
    const Result<RollOutput> plain = roll(text, {.seed = seed, .show_detail = false});
    if (!want) {
        EXPECT_FALSE(value.has_value());
        EXPECT_FALSE(rolled.has_value());
        EXPECT_FALSE(plain.has_value());
        if (!value && !rolled && !plain) {
            EXPECT_EQ(value.error(), want.error());
            EXPECT_EQ(rolled.error(), want.error());
            EXPECT_EQ(plain.error(), want.error());
        }
        return true;
    }
    if (!value || !rolled || !plain) {
        ADD_FAILURE() << "failed where the reference gives " << want->full();
        return true;
    }
    // Element by element, with each element's own text.
    EXPECT_EQ(value->is_set(), want->is_set);
    const std::vector<Number> numbers = value->values();
    EXPECT_EQ(numbers.size(), want->elements.size());
    if (const EvalValue::Set* set = value->set(); set != nullptr && set->size() == want->elements.size()) {
        for (std::size_t i = 0; i < set->size(); ++i) {
            EXPECT_TRUE(same_number((*set)[i].value, want->elements[i].value)) << "element " << i;
            EXPECT_EQ((*set)[i].detail, want->elements[i].detail) << "element " << i;
        }
    }
    // The roll pipeline's texts and values, with and without the detail.
    EXPECT_EQ(rolled->detail, want->detail());
    EXPECT_EQ(rolled->summary, want->summary());
    EXPECT_EQ(rolled->full, want->full());
    EXPECT_EQ(rolled->is_set, want->is_set);
    EXPECT_EQ(plain->detail, "");
    EXPECT_EQ(plain->full, want->summary());
    EXPECT_EQ(plain->summary, want->summary());
    EXPECT_EQ(plain->is_set, want->is_set);
    EXPECT_EQ(rolled->values.size(), want->elements.size());
    EXPECT_EQ(plain->values.size(), want->elements.size());
    for (std::size_t i = 0; i < std::min(rolled->values.size(), want->elements.size()); ++i) {
        const double v = want->elements[i].value.to_double();
        EXPECT_TRUE(same_double(rolled->values[i], v)) << "value " << i;
        if (i < plain->values.size()) {
            EXPECT_TRUE(same_double(plain->values[i], v)) << "value " << i;
        }
    }
    return true;
}

TEST(Differential, SetShapes) {
    const std::vector<std::string> cases = {
        // A repeat or a set, then scalar operands on either side.
        "3#4d6k3", "{d6, d8, 5} * 2", "-{d6, d8} * 2 + 1", "2 * {1, 2} - 1", "1d4 - 3#1d6 * 2", "10 / {0, 2, 3}",
        "-(3#d6 - 1) * d4", "((({1, 2}))) + 1", "{1d6 > 3, 2d6 k1, 50%} / 3 + 1.5",
        // Set with set: by position, lone elements on either side, empty results.
        "{1, 2, 3} * 3#1d8", "{1, 2} + {10, 20, 30}", "{10} - {1, 2, 3}", "{1, 2, 3} - {10}", "{1} * {2}",
        "{1, 2} + {3, 4} + {5, 6} * 2 - {7}", "{1} + {2} + {3} + {4, 5}", "({1} + 1) * ({2, 3} - {d6})",
        "{1, 2} + ({3, 4} + ({5, 6} + {7, 8}))", "-{1, 2} - -{3, 4}", "3#d6 / {0}", "2#d6 + 3#d8 + 4#d10",
        "{d6, d6} * (2#d4 + 1) - {1, 2, 3}", "1 + {1, 2} * 2 + {3} - (4 - {5, 6, 7})",
        // Errors, and where they stop the draws.
        "{1, {2}}", "2#({1, 2})", "{1, 2} + 1/0", "{1d6, 0d6}", "3#d6 + 11#d6", "{1, 2} * {d6, 60d6}",
        // Everything in one line.
        "(2d6 + 3) * 2 - 1d4 + {1, 2, 3} * 3#1d8 + 4d6b6k3>=4 - 10%",
        // Every kind of repeat body, each rolled again per element: a term
        // with every modifier, brackets, constants, and bodies that fail at
        // the first element or only after some draws.
        "2#4d6b6k3>=4", "3#2d20kl1", "4#1d6>3", "10#d6", "3#(1d6 + 1)", "2#(d4 - 2d6) * 3", "3#5", "2#2.5 + 1",
        "3#0d6", "2#d1", "3#51d6", "2#(1d6 / 0)", "3#(2 - 1d4 / (1d2 - 1))", "-3#d6 + {1, 2}",
    };
    for (const std::string& text : cases) {
        for (std::uint64_t seed : {0u, 7u, 42u}) EXPECT_TRUE(check_against_reference(text, seed)) << text;
    }
}

// Random expressions of the language, mostly sets and set arithmetic.
class ExpressionMaker {
public:
    explicit ExpressionMaker(std::uint64_t seed) : random_(seed) {}

    std::string make(int depth) {
        switch (pick(depth <= 0 ? 3 : 9)) {
            case 0: return number();
            case 1: return dice();
            case 2: return std::to_string(pick(4)) + "#" + (pick(2) ? dice() : number());
            case 3: return set(depth);
            case 4: return wrapped("(", make(depth - 1), ")");
            case 5: return wrapped("-", make(depth - 1), "");
            default: {
                std::string left = make(depth - 1);
                const char op[] = {' ', "+-*/"[pick(4)], ' ', '\0'};
                return wrapped(std::move(left), op, make(depth - 1));
            }
        }
    }

private:
    static std::string wrapped(std::string left, std::string_view middle, std::string_view right) {
        left.append(middle);
        left.append(right);
        return left;
    }

    int pick(int n) { return static_cast<int>(random_() % static_cast<std::uint64_t>(n)); }

    std::string number() {
        static const std::vector<std::string> numbers = {"0", "1", "2", "3", "10", "2.5", "50%", "0.0", "7"};
        return numbers[static_cast<std::size_t>(pick(static_cast<int>(numbers.size())))];
    }

    std::string dice() {
        static const std::vector<std::string> modifiers = {"", "", "k1", "kl2", "b6", ">3", "b5k2<=4", "!=1"};
        return std::to_string(1 + pick(4)) + "d" + std::to_string(1 + pick(8)) +
               modifiers[static_cast<std::size_t>(pick(static_cast<int>(modifiers.size())))];
    }

    std::string set(int depth) {
        std::string out = "{";
        const int items = 1 + pick(4);
        for (int i = 0; i < items; ++i) out += (i ? ", " : "") + (pick(6) == 0 ? make(depth - 1) : dice());
        return out + "}";
    }

    std::mt19937_64 random_;
};

TEST(Differential, GeneratedExpressions) {
    ExpressionMaker maker(2024);
    int parsed = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string text = maker.make(4);
        if (check_against_reference(text, static_cast<std::uint64_t>(i))) ++parsed;
        if (HasFailure()) break;  // one failing expression is enough to read
    }
    // The maker writes the language, so nearly everything parses.
    EXPECT_GT(parsed, 2900);
}

}  // namespace
}  // namespace pipwerk
