#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/mman.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "lexer/scanner.hpp"
#include "parser/parser.hpp"
#include "pipwerk/text.hpp"

namespace pipwerk {
namespace {

using namespace std::string_view_literals;

// Int as written, Real with a trailing "r", Percent by its echo form ("50%").
void print_number(std::string& out, const Number& n) {
    out += n.to_display_string();
    if (n.kind() == Number::Kind::Real) out += 'r';
}

// An s-expression for small trees: (d COUNT FACES [bN] [kN|klN] [OPN]), (neg x),
// (+ a b), (paren x), (# N body), {a b ...}, and literals as numbers.
void print_tree(std::string& out, const Ast& ast, ExprId id) {
    std::visit(
        [&](const auto& node) {
            using T = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<T, LiteralExpr>) {
                print_number(out, node.value());
            } else if constexpr (std::is_same_v<T, DiceRef>) {
                const DiceExpr& d = ast.dice(node);
                out += "(d ";
                print_number(out, d.count);
                out += ' ';
                print_number(out, d.faces);
                if (d.bonus) {
                    out += " b";
                    print_number(out, *d.bonus);
                }
                if (d.keep) {
                    out += d.keep->dir == KeepMode::Dir::High ? " k" : " kl";
                    out += std::to_string(d.keep->n);
                }
                if (d.comparison) {
                    static constexpr const char* kOps[] = {">", ">=", "<", "<=", "!="};
                    out += ' ';
                    out += kOps[static_cast<int>(d.comparison->kind)];
                    print_number(out, d.comparison->threshold);
                }
                out += ')';
            } else if constexpr (std::is_same_v<T, NegExpr>) {
                out += "(neg ";
                print_tree(out, ast, node.operand);
                out += ')';
            } else if constexpr (std::is_same_v<T, BinaryExpr>) {
                out += '(';
                out += "+-*/"[static_cast<int>(node.op)];
                out += ' ';
                print_tree(out, ast, node.left);
                out += ' ';
                print_tree(out, ast, node.right);
                out += ')';
            } else if constexpr (std::is_same_v<T, ParenExpr>) {
                out += "(paren ";
                print_tree(out, ast, node.inner);
                out += ')';
            } else if constexpr (std::is_same_v<T, RepeatExpr>) {
                out += "(# ";
                print_number(out, ast.count(node));
                out += ' ';
                print_tree(out, ast, node.body);
                out += ')';
            } else {
                static_assert(std::is_same_v<T, SetExpr>);
                out += '{';
                bool first = true;
                for (const ExprId item : ast.items(node)) {
                    if (!first) out += ' ';
                    first = false;
                    print_tree(out, ast, item);
                }
                out += '}';
            }
        },
        ast[id].node());
}

std::string tree_of(const ParseOutcome& outcome) {
    if (!outcome.expression) return "none";
    std::string out;
    print_tree(out, outcome.ast, *outcome.expression);
    return out;
}

struct ParseCase {
    std::string_view input;
    std::string_view tree;  // "none" when no expression is found
    std::string_view consumed;
    std::string_view tail;
};

TEST(Parser, Table) {
    const ParseCase cases[] = {
        // Dice terms and their modifiers.
        {"4d6k3", "(d 4 6 k3)", "4d6k3", ""},
        {"d20", "(d 1 20)", "d20", ""},
        {"2d20kl1", "(d 2 20 kl1)", "2d20kl1", ""},
        {"4d6>=5", "(d 4 6 >=5)", "4d6>=5", ""},
        {"3d6b6", "(d 3 6 b6)", "3d6b6", ""},
        {"4d6b1k3>4", "(d 4 6 b1 k3 >4)", "4d6b1k3>4", ""},
        {"d6!=1", "(d 1 6 !=1)", "d6!=1", ""},
        {"d6<2", "(d 1 6 <2)", "d6<2", ""},
        {"d6<=2.5", "(d 1 6 <=2.5r)", "d6<=2.5", ""},
        {"4 d 6 k 3", "(d 4 6 k3)", "4 d 6 k 3", ""},
        {"2D6KL1", "(d 2 6 kl1)", "2D6KL1", ""},
        {"4d6k2.7", "(d 4 6 k2)", "4d6k2.7", ""},
        {"4d6k50%", "(d 4 6 k0)", "4d6k50%", ""},
        {"4d6k99999999999999999999", "(d 4 6 k9223372036854775807)", "4d6k99999999999999999999", ""},
        {"4d6k-1", "(d 4 6)", "4d6", "k-1"},
        {"2.5d6", "(d 2.5r 6)", "2.5d6", ""},
        {"d6%", "(d 1 6%)", "d6%", ""},
        // Modifiers out of order or incomplete end the term.
        {"4d6k3b1", "(d 4 6 k3)", "4d6k3", "b1"},
        {"4d6>3k1", "(d 4 6 >3)", "4d6>3", "k1"},
        {"4d6k+1", "(d 4 6)", "4d6", "k+1"},
        {"4d6>-3", "(d 4 6)", "4d6", ">-3"},
        {"4d6b", "(d 4 6)", "4d6", "b"},
        {"4d6k3k2", "(d 4 6 k3)", "4d6k3", "k2"},
        {"4d6k.", "(d 4 6)", "4d6", "k."},
        {"d6!1", "(d 1 6)", "d6", "!1"},
        {"2d6d6", "(d 2 6)", "2d6", "d6"},
        {"2d6=7", "(d 2 6)", "2d6", "=7"},
        // Operators, precedence and associativity.
        {"1+2*3", "(+ 1 (* 2 3))", "1+2*3", ""},
        {"10-2-3", "(- (- 10 2) 3)", "10-2-3", ""},
        {"8/4/2", "(/ (/ 8 4) 2)", "8/4/2", ""},
        {"1*2+3/4-5", "(- (+ (* 1 2) (/ 3 4)) 5)", "1*2+3/4-5", ""},
        {"-2d6", "(neg (d 2 6))", "-2d6", ""},
        {"--3", "(neg (neg 3))", "--3", ""},
        {"1--1", "(- 1 (neg 1))", "1--1", ""},
        {"2*-3", "(* 2 (neg 3))", "2*-3", ""},
        {"-(1+2)*3", "(* (neg (paren (+ 1 2))) 3)", "-(1+2)*3", ""},
        {"(2)d6", "(paren 2)", "(2)", "d6"},
        {"(1)(2)", "(paren 1)", "(1)", "(2)"},
        // Repeats.
        {"3#d6", "(# 3 (d 1 6))", "3#d6", ""},
        {"3#4d6k3", "(# 3 (d 4 6 k3))", "3#4d6k3", ""},
        {"3#(1+d6)", "(# 3 (paren (+ 1 (d 1 6))))", "3#(1+d6)", ""},
        {"3#5", "(# 3 5)", "3#5", ""},
        {"3#-1", "3", "3", "#-1"},
        {"3#x", "3", "3", "#x"},
        {"3#", "3", "3", "#"},
        {"3#2d", "3", "3", "#2d"},
        {"3#{1}", "3", "3", "#{1}"},
        {"3#3#d6", "(# 3 3)", "3#3", "#d6"},
        {"3#d6+1", "(+ (# 3 (d 1 6)) 1)", "3#d6+1", ""},
        {"2.5#d6", "(# 2.5r (d 1 6))", "2.5#d6", ""},
        {"#3", "none", "", "#3"},
        // Sets.
        {"{d6, d8, 5}", "{(d 1 6) (d 1 8) 5}", "{d6, d8, 5}", ""},
        {"{1,}", "{1}", "{1,}", ""},
        {"{}", "none", "", "{}"},
        {"{1,,2}", "none", "", "{1,,2}"},
        {"{,1}", "none", "", "{,1}"},
        {"{1 2}", "none", "", "{1 2}"},
        {"{1, (2, 3)}", "none", "", "{1, (2, 3)}"},
        {"{1, {2, 3}}", "{1 {2 3}}", "{1, {2, 3}}", ""},
        {"{1, 2}*2", "(* {1 2} 2)", "{1, 2}*2", ""},
        {"{1, 2", "none", "", "{1, 2"},
        {"1+{2,", "1", "1", "+{2,"},
        // Items that start with a number but go on past it.
        {"{1 + 2, 3 }", "{(+ 1 2) 3}", "{1 + 2, 3 }", ""},
        {"{2 * 3}", "{(* 2 3)}", "{2 * 3}", ""},
        {"{1, 2d6, 3#d4}", "{1 (d 2 6) (# 3 (d 1 4))}", "{1, 2d6, 3#d4}", ""},
        {"{1, 2 - }", "none", "", "{1, 2 - }"},
        {"{1, 2d}", "none", "", "{1, 2d}"},
        {"{1, 3#}", "none", "", "{1, 3#}"},
        {"{4 }x", "{4}", "{4 }", "x"},
        {"{1, 2 )", "none", "", "{1, 2 )"},
        // Where the parse stops.
        {"d20 + (d4+ test", "(d 1 20)", "d20", "+ (d4+ test"},
        {"3 > 2", "3", "3", "> 2"},
        {"1+", "1", "1", "+"},
        {"1 +", "1", "1", "+"},
        {"1-", "1", "1", "-"},
        {"2*(3", "2", "2", "*(3"},
        {"2 + 3 )", "(+ 2 3)", "2 + 3", ")"},
        {"  2d6  ", "(d 2 6)", "  2d6", ""},
        {"3 x 4", "3", "3", "x 4"},
        {"1, 2", "1", "1", ", 2"},
        {"2d6\n", "(d 2 6)", "2d6", "\n"},
        {"2d6 \n 1", "(d 2 6)", "2d6", "\n 1"},
        {"1+2\t", "(+ 1 2)", "1+2", ""},
        {"1.2.3", "1.2r", "1.2", ".3"},
        {"5%3", "5%", "5%", "3"},
        {"50%", "50%", "50%", ""},
        {"", "none", "", ""},
        {"   ", "none", "", ""},
        {"hello", "none", "", "hello"},
        {"  hello", "none", "", "hello"},
        {"d", "none", "", "d"},
        {"d%", "none", "", "d%"},
        {".", "none", "", "."},
        {"2d", "none", "", "2d"},
        {"-", "none", "", "-"},
        {"()", "none", "", "()"},
        {"( 1", "none", "", "( 1"},
        // Whitespace other than the space stops the lexer but is trimmed from both texts.
        {"2d6\xC2\xA0\xC2\xA0x", "(d 2 6)", "2d6", "x"},
        {"2d6 \xE3\x80\x80", "(d 2 6)", "2d6", ""},
        {"\xE3\x80\x80" "2d6", "none", "", "2d6"},
        {"1 + \xC3\xA9t\xC3\xA9", "1", "1", "+ \xC3\xA9t\xC3\xA9"},
        {"d6 \xE2\x82\xAC" "5", "(d 1 6)", "d6", "\xE2\x82\xAC" "5"},
        // NUL bytes are ordinary unknown characters.
        {"1+\0 2"sv, "1", "1", "+\0 2"sv},
        {"1\0"sv, "1", "1", "\0"sv},
        {"\0" "1"sv, "none", "", "\0" "1"sv},
        {"(1\0)"sv, "none", "", "(1\0)"sv},
    };
    for (const auto& c : cases) {
        const ParseOutcome outcome = Parser::parse(c.input);
        EXPECT_EQ(tree_of(outcome), c.tree) << "input: " << c.input;
        EXPECT_EQ(outcome.consumed, c.consumed) << "input: " << c.input;
        EXPECT_EQ(outcome.tail, c.tail) << "input: " << c.input;
        EXPECT_EQ(outcome.success(), c.tree != "none") << "input: " << c.input;
    }
}

TEST(Parser, TextsViewTheInput) {
    const std::string input = "  1 + 2 ) rest";
    const ParseOutcome outcome = Parser::parse(input);
    EXPECT_EQ(outcome.consumed.data(), input.data());
    EXPECT_EQ(outcome.tail.data(), input.data() + 8);
}

TEST(Parser, ModifierValuesAreKeptAsWritten) {
    const ParseOutcome outcome = Parser::parse("2.5d6.5b50%kl3>=1e3");
    ASSERT_TRUE(outcome.expression);
    const auto* ref = std::get_if<DiceRef>(&outcome.ast[*outcome.expression].node());
    ASSERT_NE(ref, nullptr);
    const DiceExpr& dice = outcome.ast.dice(*ref);
    EXPECT_EQ(dice.count, Number::make_real(2.5));
    EXPECT_EQ(dice.faces, Number::make_real(6.5));
    EXPECT_EQ(dice.bonus, Number::make_percent(0.5));
    EXPECT_EQ(dice.keep, (KeepMode{KeepMode::Dir::Low, 3}));
    // A literal has no exponent: the threshold is 1 and "e3" is left over.
    EXPECT_EQ(dice.comparison, (ComparisonOp{ComparisonOp::Kind::GreaterEqual, Number::make_int(1)}));
    EXPECT_EQ(outcome.tail, "e3");
}

// The integer views read from the side table must be those of the full term
// (kinds, missing parts and numbers past 32 bits included).
TEST(Parser, DiceViewsAreTheViewsOfTheFullTerm) {
    const std::string_view inputs[] = {
        "4d6k3",          "2d20kl1",        "d6b6",           "10d10>=7",        "4d6b6k3>=4",
        "2.5d6.5b50%kl3", "d6>2.9",         "d6<=250%",       "d6!=0",           "d6<1",
        "9999999999d6k1", "d99999999999b1", "1000.5d6k2",     "d6k99999999999999999999",
        "3d6kl9223372036854775807",         "0d0b0k0>0",      "1.9d2.9k1.9>1.9",
    };
    for (const std::string_view input : inputs) {
        const ParseOutcome outcome = Parser::parse(input);
        ASSERT_TRUE(outcome.expression) << input;
        const auto* ref = std::get_if<DiceRef>(&outcome.ast[*outcome.expression].node());
        ASSERT_NE(ref, nullptr) << input;
        ASSERT_NE(ref->index, DiceRef::kInline) << input;
        const DiceExpr dice = outcome.ast.dice(*ref);
        const Ast::DiceViews views = outcome.ast.dice_views(*ref);
        EXPECT_EQ(views.count, dice.count.integer_view()) << input;
        EXPECT_EQ(views.faces, dice.faces.integer_view()) << input;
        ASSERT_EQ(views.has_keep, dice.keep.has_value()) << input;
        if (dice.keep) {
            EXPECT_EQ(views.keep_dir, dice.keep->dir) << input;
            EXPECT_EQ(views.keep_n, dice.keep->n) << input;
        }
        ASSERT_EQ(views.has_bonus, dice.bonus.has_value()) << input;
        if (dice.bonus) {
            EXPECT_EQ(views.bonus, dice.bonus->integer_view()) << input;
        }
        ASSERT_EQ(views.has_comparison, dice.comparison.has_value()) << input;
        if (dice.comparison) {
            EXPECT_EQ(views.comparison, dice.comparison->kind) << input;
            EXPECT_EQ(views.threshold, dice.comparison->threshold.integer_view()) << input;
        }
    }
}

// A term without modifiers keeps its count and faces whether they fit the
// node itself (whole, 32 bits) or go to the side table, and has no modifier
// in either form, also when a modifier letter follows without its number.
TEST(Parser, PlainTermsKeepCountAndFacesInEitherForm) {
    struct PlainCase {
        std::string_view input;
        std::string_view count;
        std::string_view faces;
        bool inline_node;
    };
    const PlainCase cases[] = {
        {"3d6", "3", "6", true},
        {"d20", "1", "20", true},
        {"0d0", "0", "0", true},
        {"2147483647d2147483647", "2147483647", "2147483647", true},
        {"2147483648d6", "2147483648", "6", false},
        {"d2147483648", "1", "2147483648", false},
        {"1.5d6", "1.5", "6", false},
        {"2d6%", "2", "6%", false},
        {"4d6b k3", "4", "6", true},
        {"4d6k>3", "4", "6", true},
        {"99999999999999999999d6 + 1", "99999999999999999999", "6", false},
    };
    for (const auto& c : cases) {
        const ParseOutcome outcome = Parser::parse(c.input);
        ASSERT_TRUE(outcome.expression) << c.input;
        const Expr& root = outcome.ast[*outcome.expression];
        const auto* binary = std::get_if<BinaryExpr>(&root.node());
        const auto* ref = std::get_if<DiceRef>(binary ? &outcome.ast[binary->left].node() : &root.node());
        ASSERT_NE(ref, nullptr) << c.input;
        EXPECT_EQ(ref->index == DiceRef::kInline, c.inline_node) << c.input;
        const DiceExpr dice = outcome.ast.dice(*ref);
        EXPECT_EQ(dice.count, Number::parse(c.count)) << c.input;
        EXPECT_EQ(dice.faces, Number::parse(c.faces)) << c.input;
        EXPECT_FALSE(dice.keep || dice.bonus || dice.comparison) << c.input;
    }
}

// Short plain digits are valued by the lexer as it passes them, the rest by
// Number::parse; in every place a number is read, both must agree with
// Number::parse of the literal's text.
TEST(Parser, LiteralsReadAsNumberParseReadsThem) {
    struct LiteralCase {
        std::string_view input;
        std::string_view literal;  // the text of the number token it starts with
    };
    const LiteralCase cases[] = {
        {"0", "0"},
        {"7", "7"},
        {"007", "007"},
        {"42 ", "42"},
        {"123456789012345678", "123456789012345678"},    // 18 digits: the longest read while lexing
        {"1234567890123456789", "1234567890123456789"},  // 19
        {"9223372036854775807", "9223372036854775807"},
        {"9223372036854775808", "9223372036854775808"},    // past Int: a Real
        {"99999999999999999999", "99999999999999999999"},  // would wrap 64 bits
        {"1.5", "1.5"},
        {"1.", "1."},
        {".5", ".5"},
        {".", "."},  // no number
        {"50%", "50%"},
        {"5.%", "5.%"},
        {"12%3", "12%"},
        {"0%", "0%"},
        {"007%", "007%"},
        {"33%", "33%"},                                  // not a whole number of hundredths as a double
        {"123456789012345%", "123456789012345%"},        // 15 digits: the longest read without a real
        {"9007199254740993%", "9007199254740993%"},      // 2^53 + 1: not exact as a double
        {"99999999999999999999%", "99999999999999999999%"},
        {"1.2.3", "1.2"},
        {"3e5", "3"},
    };
    for (const auto& c : cases) {
        const std::optional<Number> expected = Number::parse(c.literal);
        const std::string input(c.input);

        const ParseOutcome bare = Parser::parse(input);
        ASSERT_EQ(bare.expression.has_value(), expected.has_value()) << "input: " << input;
        if (expected) {
            const auto* literal = std::get_if<LiteralExpr>(&bare.ast[*bare.expression].node());
            ASSERT_NE(literal, nullptr) << "input: " << input;
            EXPECT_EQ(literal->value(), *expected) << "input: " << input;
        }

        const ParseOutcome faces = Parser::parse("d" + input);
        ASSERT_EQ(faces.expression.has_value(), expected.has_value()) << "faces: " << input;
        if (expected) {
            const auto* ref = std::get_if<DiceRef>(&faces.ast[*faces.expression].node());
            ASSERT_NE(ref, nullptr) << "faces: " << input;
            EXPECT_EQ(faces.ast.dice(*ref).faces, *expected) << "faces: " << input;
        }

        // A set item, the first of two and the last: a lone number is the
        // literal, anything after it but spaces ends the set's parse.
        const bool lone = expected && input.find_first_not_of(' ', c.literal.size()) == std::string::npos;
        const std::pair<std::string, std::size_t> sets[] = {{"{" + input + ", 1}", 0}, {"{1, " + input + "}", 1}};
        for (const auto& [set, index] : sets) {
            const ParseOutcome items = Parser::parse(set);
            ASSERT_EQ(items.expression.has_value(), lone) << "set: " << set;
            if (!lone) continue;
            const auto* node = std::get_if<SetExpr>(&items.ast[*items.expression].node());
            ASSERT_NE(node, nullptr) << "set: " << set;
            ASSERT_EQ(items.ast.items(*node).size(), 2u) << "set: " << set;
            const auto* literal = std::get_if<LiteralExpr>(&items.ast[items.ast.items(*node)[index]].node());
            ASSERT_NE(literal, nullptr) << "set: " << set;
            EXPECT_EQ(literal->value(), *expected) << "set: " << set;
        }

        const ParseOutcome threshold = Parser::parse("d6>" + input);
        ASSERT_TRUE(threshold.expression) << "threshold: " << input;
        const auto* ref = std::get_if<DiceRef>(&threshold.ast[*threshold.expression].node());
        ASSERT_NE(ref, nullptr) << "threshold: " << input;
        const std::optional<ComparisonOp> comparison = threshold.ast.dice(*ref).comparison;
        ASSERT_EQ(comparison.has_value(), expected.has_value()) << "threshold: " << input;
        if (expected) {
            EXPECT_EQ(comparison->threshold, *expected) << "threshold: " << input;
        }
    }
}

// Any parse splits the input into consumed text, whitespace and tail, and the
// consumed text alone parses back to the same tree with nothing left over.
TEST(Parser, RandomInputsKeepTheirInvariants) {
    static constexpr std::string_view kPieces[] = {
        "0", "1", "6", "20", ".", "%", "d", "D", "k", "kl", "K", "b", "<", ">", "=", "!", "+", "-", "*",
        "/", "(", ")", "{", "}", ",", "#", " ", "  ", "\n", "\t", "x", "e", "\xC2\xA0", "\xE3\x80\x80", "\xC3\xA9"};
    std::mt19937 gen(12345);
    std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> length(0, 24);
    int successes = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string input;
        for (int i = length(gen); i > 0; --i) input += kPieces[piece(gen)];
        const ParseOutcome outcome = Parser::parse(input);
        const std::string_view view(input);
        ASSERT_TRUE(view.starts_with(outcome.consumed)) << input;
        ASSERT_TRUE(view.ends_with(outcome.tail)) << input;
        ASSERT_LE(outcome.consumed.size() + outcome.tail.size(), input.size()) << input;
        const std::string_view gap =
            view.substr(outcome.consumed.size(), input.size() - outcome.consumed.size() - outcome.tail.size());
        ASSERT_TRUE(trim_whitespace(gap).empty()) << input;
        ASSERT_EQ(outcome.success(), !outcome.consumed.empty()) << input;
        if (!outcome.success()) continue;
        ++successes;

        const std::string consumed(outcome.consumed);
        const ParseOutcome again = Parser::parse(consumed);
        ASSERT_EQ(tree_of(again), tree_of(outcome)) << input;
        ASSERT_EQ(again.consumed, consumed) << input;
        ASSERT_EQ(again.tail, "") << input;
    }
    // The generator must reach the parser's interesting paths, not just fail early.
    EXPECT_GT(successes, 2000);
}

// The parse stops at or before the scanner's cut by itself: every input of
// up to five pieces parses as its prefix before the cut does, and only the
// whitespace before the cut goes to neither part.
TEST(Parser, StopsWhereTheScannerCuts) {
    static constexpr std::string_view kPieces[] = {"1", "d", "+", "#", "(", ")", "{", "}", ",", " ", "\n", "\t"};
    constexpr std::size_t kCount = std::size(kPieces);
    std::size_t cut_short = 0;
    for (std::size_t length = 0; length <= 5; ++length) {
        std::size_t combinations = 1;
        for (std::size_t i = 0; i < length; ++i) combinations *= kCount;
        for (std::size_t code = 0; code < combinations; ++code) {
            std::string input;
            for (std::size_t i = 0, rest = code; i < length; ++i, rest /= kCount) input += kPieces[rest % kCount];
            const ScanResult scanned = scan(input);
            const std::string prefix(scanned.prefix);
            const ParseOutcome whole = Parser::parse(input);
            const ParseOutcome cut = Parser::parse(prefix);
            ASSERT_EQ(tree_of(whole), tree_of(cut)) << input;
            ASSERT_EQ(whole.consumed, cut.consumed) << input;
            ASSERT_EQ(whole.tail, std::string(cut.tail) + std::string(scanned.rest)) << input;
            cut_short += scanned.rest.empty() ? 0 : 1;
        }
    }
    // Most inputs are cut before their end, so the comparison is not idle.
    EXPECT_GT(cut_short, 100000u);
}

struct LevelCase {
    std::string_view input;
    int level;
};

TEST(Parser, Levels) {
    const LevelCase cases[] = {
        {"1+2", 0}, {"-(3*4)", 0},      {"d6+1", 1},         {"1+d6", 1}, {"-(d6)", 1},
        {"3#d6", 2}, {"3#5", 2},        {"{1}", 2},          {"1+{1}", 2}, {"-({1}*d6)", 2},
        {"(((d6)))", 1}, {"3#d6+d6", 2}, {"{d6}-1", 2},
    };
    for (const auto& c : cases) {
        const ParseOutcome outcome = Parser::parse(c.input);
        ASSERT_TRUE(outcome.expression) << c.input;
        EXPECT_EQ(outcome.ast[*outcome.expression].level(), c.level) << c.input;
    }
}

// Concatenates the pieces in order.
std::string join(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (const std::string_view piece : pieces) out += piece;
    return out;
}

std::string repeated(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// Walks the single-child chain from the root and counts the nodes of one kind.
template <class Node>
std::size_t chain_length(const ParseOutcome& outcome) {
    std::size_t count = 0;
    ExprId id = *outcome.expression;
    while (const auto* node = std::get_if<Node>(&outcome.ast[id].node())) {
        ++count;
        if constexpr (std::is_same_v<Node, ParenExpr>) id = node->inner;
        if constexpr (std::is_same_v<Node, NegExpr>) id = node->operand;
        if constexpr (std::is_same_v<Node, SetExpr>) id = outcome.ast.items(*node)[0];
    }
    return count;
}

constexpr std::size_t kLimit = static_cast<std::size_t>(Parser::kMaxNesting);

TEST(ParserNesting, AtTheLimitParses) {
    static_assert(Parser::kMaxNesting >= 256);
    const std::string parens = join({repeated("(", kLimit), "1", repeated(")", kLimit)});
    ParseOutcome outcome = Parser::parse(parens);
    ASSERT_TRUE(outcome.expression);
    EXPECT_EQ(chain_length<ParenExpr>(outcome), kLimit);
    EXPECT_EQ(outcome.consumed, parens);

    const std::string negs = join({repeated("-", kLimit), "d6"});
    outcome = Parser::parse(negs);
    ASSERT_TRUE(outcome.expression);
    EXPECT_EQ(chain_length<NegExpr>(outcome), kLimit);
    EXPECT_EQ(outcome.ast[*outcome.expression].level(), 1);

    const std::string sets = join({repeated("{", kLimit), "1", repeated("}", kLimit)});
    outcome = Parser::parse(sets);
    ASSERT_TRUE(outcome.expression);
    EXPECT_EQ(chain_length<SetExpr>(outcome), kLimit);

    const std::string repeats = join({repeated("2#(", kLimit), "d6", repeated(")", kLimit)});
    outcome = Parser::parse(repeats);
    ASSERT_TRUE(outcome.expression);
    EXPECT_EQ(outcome.consumed, repeats);
}

struct PastLimitCase {
    std::string input;
    std::string_view consumed;
    std::size_t tail_start;
};

TEST(ParserNesting, PastTheLimitEndsTheParseThere) {
    const std::size_t over = kLimit + 1;
    const PastLimitCase cases[] = {
        // Nothing can be parsed when the whole input is one construct too deep.
        {join({repeated("(", over), "1", repeated(")", over)}), "", 0},
        {join({repeated("-", over), "1"}), "", 0},
        {join({repeated("{", over), "1", repeated("}", over)}), "", 0},
        // The longest valid beginning is kept and the rest is the tail.
        {join({"7+", repeated("(", over), "1", repeated(")", over)}), "7", 1},
        {join({"7 * ", repeated("-", over), "1"}), "7", 2},
        {join({"3#", repeated("(", over), "1", repeated(")", over)}), "3", 1},
        // The innermost repeat falls back to its count, so every enclosing bracket fails in turn.
        {join({"2#(", repeated("2#(", kLimit), "1", repeated(")", over)}), "2", 1},
        // Adversarial depths far beyond the limit.
        {join({repeated("(", 100000), "1", repeated(")", 100000)}), "", 0},
        {join({repeated("-", 100000), "1"}), "", 0},
        {join({repeated("{", 100000), "1", repeated("}", 100000)}), "", 0},
        {repeated("{", 100000), "", 0},
        {join({"1-", repeated("-", 100000), "1"}), "1", 1},
    };
    for (const auto& c : cases) {
        const ParseOutcome outcome = Parser::parse(c.input);
        EXPECT_EQ(outcome.success(), !c.consumed.empty()) << c.input.substr(0, 20);
        EXPECT_EQ(outcome.consumed, c.consumed) << c.input.substr(0, 20);
        EXPECT_EQ(outcome.tail, std::string_view(c.input).substr(c.tail_start)) << c.input.substr(0, 20);
    }
}

// The deepest point any parse reaches on a fresh stack, measured by painting the
// stack before the run and finding the lowest byte that changed.
std::size_t stack_used_by_parse(const std::string& input) {
    constexpr std::size_t kStackSize = 16u << 20;
    constexpr unsigned char kPaint = 0xA5;
    void* stack = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (stack == MAP_FAILED) return kStackSize;
    std::memset(stack, kPaint, kStackSize);

    struct Job {
        const std::string* input;
        bool success;
    } job{&input, false};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, stack, kStackSize);
    pthread_t thread;
    const auto run = [](void* arg) -> void* {
        auto* j = static_cast<Job*>(arg);
        j->success = Parser::parse(*j->input).success();
        return nullptr;
    };
    std::size_t used = kStackSize;
    if (pthread_create(&thread, &attr, run, &job) == 0) {
        pthread_join(thread, nullptr);
        const auto* bytes = static_cast<const unsigned char*>(stack);
        std::size_t untouched = 0;
        while (untouched < kStackSize && bytes[untouched] == kPaint) ++untouched;
        used = job.success ? kStackSize - untouched : kStackSize;
    }
    pthread_attr_destroy(&attr);
    munmap(stack, kStackSize);
    return used;
}

TEST(ParserNesting, StackAtTheLimitStaysSmall) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr std::size_t kBudget = 2u << 20;  // sanitizer frames are several times larger
#elif defined(__OPTIMIZE__)
    constexpr std::size_t kBudget = 256u << 10;
#else
    constexpr std::size_t kBudget = 1u << 20;
#endif
    const std::string inputs[] = {
        join({repeated("(", kLimit), "1", repeated(")", kLimit)}),
        join({repeated("-", kLimit), "1"}),
        join({repeated("{", kLimit), "1", repeated("}", kLimit)}),
        join({repeated("2#(", kLimit), "1", repeated(")", kLimit)}),
        join({repeated("-{(", kLimit / 3), "1", repeated(")}", kLimit / 3)}),
    };
    for (const auto& input : inputs) {
        EXPECT_LT(stack_used_by_parse(input), kBudget) << input.substr(0, 12);
    }
}

TEST(ParserScale, MillionTermSum) {
    constexpr std::size_t kTerms = 1'000'000;
    const std::string input = join({"1", repeated("+1", kTerms - 1)});
    const ParseOutcome outcome = Parser::parse(input);
    ASSERT_TRUE(outcome.expression);
    EXPECT_EQ(outcome.consumed, input);
    EXPECT_EQ(outcome.tail, "");
    EXPECT_EQ(outcome.ast.size(), 2 * kTerms - 1);
    // Left-associative: the chain runs down the left operands.
    std::size_t adds = 0;
    ExprId id = *outcome.expression;
    while (const auto* binary = std::get_if<BinaryExpr>(&outcome.ast[id].node())) {
        ASSERT_EQ(binary->op, BinaryOp::Add);
        ASSERT_TRUE(std::holds_alternative<LiteralExpr>(outcome.ast[binary->right].node()));
        ++adds;
        id = binary->left;
    }
    EXPECT_EQ(adds, kTerms - 1);
}

TEST(ParserScale, TenMegabyteInputs) {
    constexpr std::size_t kSize = 10u << 20;
    // One enormous literal.
    const std::string digits(kSize, '7');
    ParseOutcome outcome = Parser::parse(digits);
    ASSERT_TRUE(outcome.expression);
    EXPECT_EQ(tree_of(outcome), "infr");

    // A long set of dice terms, then junk (smaller: each term is three nodes' worth).
    const std::string set = join({"{", repeated("d6,", kSize / 12), "} x"});
    outcome = Parser::parse(set);
    ASSERT_TRUE(outcome.expression);
    EXPECT_EQ(outcome.consumed, std::string_view(set).substr(0, set.size() - 2));
    EXPECT_EQ(outcome.tail, "x");

    // Spaces everywhere and a stray bracket at the very end.
    const std::string spaced = join({"1", repeated(" ", kSize), "+ 2 )"});
    outcome = Parser::parse(spaced);
    EXPECT_EQ(tree_of(outcome), "(+ 1 2)");
    EXPECT_EQ(outcome.tail, ")");
}

}  // namespace
}  // namespace pipwerk
