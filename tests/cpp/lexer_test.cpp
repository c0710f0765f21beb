#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "lexer/lexer.hpp"
#include "lexer/scanner.hpp"
#include "token_list.hpp"

namespace pipwerk {
namespace {

using namespace std::string_view_literals;

struct ScanCase {
    std::string_view input;
    std::string_view prefix;
};

TEST(Scan, Table) {
    const ScanCase cases[] = {
        {"", ""},
        {"1+2", "1+2"},
        {"1+2)", "1+2"},
        {"(1+2))", "(1+2)"},
        {"d20 + (d4+ test", "d20 + "},
        {"(1+(2", ""},
        {"(1)(2", "(1)"},  // the bottom entry is the second bracket once the first closed
        {"((1)", ""},
        {"2d6, 3d8", "2d6"},
        {"{1, 2}", "{1, 2}"},
        {"{1, (2, 3)}", "{1, (2, 3)}"},  // only the brace depth counts for commas
        {"(1,2)", "(1"},
        {"{1}, 2", "{1}"},
        {"1\n2", "1"},
        {"{1\n}", "{1"},
        {"1\r\t2", "1\r\t2"},
        {"(}", "("},
        {"{)", "{"},
        {"}", ""},
        {")(", ""},
        {"{(})", "{("},
        {"é(x", "é"},
        {"1\0(2)\0"sv, "1\0(2)\0"sv},
        {"(\0"sv, ""},
    };
    for (const auto& c : cases) {
        const ScanResult r = scan(c.input);
        EXPECT_EQ(r.prefix, c.prefix) << "input: " << c.input;
        EXPECT_EQ(r.cut, c.prefix.size()) << "input: " << c.input;
        EXPECT_EQ(r.rest, c.input.substr(c.prefix.size())) << "input: " << c.input;
        // Both parts view the input itself.
        EXPECT_EQ(r.prefix.data(), c.input.data());
        EXPECT_EQ(r.rest.data(), c.input.data() + r.cut);
    }
}

TEST(Scan, DeepNesting) {
    constexpr std::size_t kDepth = 100000;
    const std::string closed = std::string(kDepth, '(') + "1" + std::string(kDepth, ')');
    EXPECT_EQ(scan(closed).cut, closed.size());

    const std::string braces = std::string(kDepth, '{') + "1,2" + std::string(kDepth, '}');
    EXPECT_EQ(scan(braces).cut, braces.size());

    // Unclosed: the cut goes back to the very first bracket.
    const std::string open = "7+" + std::string(kDepth, '(') + "1" + std::string(kDepth - 1, ')');
    EXPECT_EQ(scan(open).cut, 2u);

    // One closing bracket too many stops at that bracket.
    const std::string extra = closed + ")";
    EXPECT_EQ(scan(extra).cut, closed.size());

    // A comma at brace depth 0 after deep parentheses.
    const std::string comma = std::string(kDepth, '(') + std::string(kDepth, ')') + ",";
    EXPECT_EQ(scan(comma).cut, 2 * kDepth);
}

// "Kind:text" per token, and "End@offset" for the last one.
std::string describe(std::string_view text) {
    static constexpr const char* kNames[] = {"End",  "Num",   "Dice",  "Keep",   "KeepLow", "Bonus",  "Gt",
                                             "Ge",   "Lt",    "Le",    "Ne",     "Plus",    "Minus",  "Star",
                                             "Slash", "LParen", "RParen", "LBrace", "RBrace", "Comma", "Hash"};
    const std::vector<Token> tokens = tokenize(text);
    std::string out;
    for (const Token& t : tokens) {
        if (!out.empty()) out += ' ';
        out += kNames[static_cast<int>(t.kind)];
        if (t.kind == TokenKind::End) {
            out += '@' + std::to_string(t.start);
            if (t.end != t.start) out += "(bad end)";
        } else {
            out += ':';
            out += t.text(text);
        }
    }
    return out;
}

struct LexCase {
    std::string_view text;
    std::string_view tokens;
};

TEST(Lexer, Table) {
    const LexCase cases[] = {
        {"", "End@0"},
        {"   ", "End@3"},
        {"4d6kl3 >= 2", "Num:4 Dice:d Num:6 KeepLow:kl Num:3 Ge:>= Num:2 End@11"},
        {"2D6K", "Num:2 Dice:D Num:6 Keep:K End@4"},
        {"kLKlKL", "KeepLow:kL KeepLow:Kl KeepLow:KL End@6"},
        {"k", "Keep:k End@1"},
        {"k l", "Keep:k End@2"},  // 'l' alone is unknown; a space separates it from the k
        {"3 x 4", "Num:3 End@2"},
        {"1\t+2", "Num:1 End@1"},
        {"!5", "End@0"},
        {"!", "End@0"},
        {"!=", "Ne:!= End@2"},
        {"a=1", "End@0"},
        {"1=2", "Num:1 End@1"},
        {"<", "Lt:< End@1"},
        {"<=<>>=>", "Le:<= Lt:< Gt:> Ge:>= Gt:> End@7"},
        {"1.2.3", "Num:1.2 Num:.3 End@5"},
        {"5%%", "Num:5% End@2"},
        {"5%3", "Num:5% Num:3 End@3"},
        {".", "Num:. End@1"},
        {".%", "Num:.% End@2"},
        {"..", "Num:. Num:. End@2"},
        {"5.", "Num:5. End@2"},
        {"%", "End@0"},
        {"-5", "Minus:- Num:5 End@2"},
        {"bB+-*/(){},#", "Bonus:b Bonus:B Plus:+ Minus:- Star:* Slash:/ LParen:( RParen:) LBrace:{ RBrace:} "
                         "Comma:, Hash:# End@12"},
        {"3#d6 ", "Num:3 Hash:# Dice:d Num:6 End@5"},
        {"1e5", "Num:1 End@1"},  // no exponent in a literal
        {"1 é", "Num:1 End@2"},
        {"\xC2\xA0" "1", "End@0"},  // non-breaking space is not skipped
        {"1\0+2"sv, "Num:1 End@1"},
        {"007", "Num:007 End@3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describe(c.text), c.tokens) << "text: " << c.text;
    }
}

// Every byte value: the ones that start a token give that token after "1"
// and before "2" (two-byte tokens here in their one-byte form); every other
// byte, high bytes and NUL included, ends the tokens where it stands.
TEST(Lexer, EachByteStartsItsTokenOrNone) {
    const LexCase starters[] = {
        {"d", "Dice:d"}, {"D", "Dice:D"},   {"k", "Keep:k"},     {"K", "Keep:K"},     {"b", "Bonus:b"},
        {"B", "Bonus:B"}, {">", "Gt:>"},    {"<", "Lt:<"},       {"+", "Plus:+"},     {"-", "Minus:-"},
        {"*", "Star:*"}, {"/", "Slash:/"},  {"(", "LParen:("},   {")", "RParen:)"},   {"{", "LBrace:{"},
        {"}", "RBrace:}"}, {",", "Comma:,"}, {"#", "Hash:#"},
    };
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const std::string text = std::string("1") + byte + "2";
        std::string expected;
        if (byte >= '0' && byte <= '9') {
            expected = "Num:" + text + " End@3";
        } else if (byte == ' ') {
            expected = "Num:1 Num:2 End@3";
        } else if (byte == '.') {
            expected = "Num:1.2 End@3";
        } else if (byte == '%') {
            expected = "Num:1% Num:2 End@3";
        } else {
            expected = "Num:1 End@1";
            for (const LexCase& s : starters) {
                if (s.text[0] == byte) expected = "Num:1 " + std::string(s.tokens) + " Num:2 End@3";
            }
        }
        EXPECT_EQ(describe(text), expected) << "byte " << b;
    }
}

TEST(Lexer, LongInputIsOneTokenPerUnit) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "12+";
    text += "x";
    const std::vector<Token> tokens = tokenize(text);
    ASSERT_EQ(tokens.size(), 200001u);
    EXPECT_EQ(tokens.back().kind, TokenKind::End);
    EXPECT_EQ(tokens.back().start, text.size() - 1);
    // Spans tile the text with no gaps.
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        ASSERT_EQ(tokens[i].end, tokens[i + 1].start) << i;
    }
    // A single huge literal is one token.
    const std::string digits(1'000'000, '9');
    const std::vector<Token> one = tokenize(digits);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0].end, digits.size());
}

TEST(Lexer, TokenAtAnyTokenStartGivesThatToken) {
    // The parser backs up by lexing again from a saved token start, so a
    // token read from its own start must be the same token.
    const std::string_view texts[] = {"4d6kl3 >= 2", "1.2.3 + 5%%", "  {d6, d8} * (2)", "3#d6 !=4", "k l", "1 x"};
    for (const std::string_view text : texts) {
        SCOPED_TRACE(text);
        const Lexer lexer(text);
        for (const Token& token : tokenize(text)) {
            const Token again = lexer.token_at(token.start);
            EXPECT_EQ(again.kind, token.kind);
            EXPECT_EQ(again.start, token.start);
            EXPECT_EQ(again.end, token.end);
        }
    }
}

}  // namespace
}  // namespace pipwerk
