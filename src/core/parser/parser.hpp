#pragma once

// The grammar, one production per line; the parser reads each with the
// function of the same name (parse_additive, parse_unary, ...):
//
//   expression     := additive
//   additive       := multiplicative ( ('+' | '-') multiplicative )*
//   multiplicative := unary ( ('*' | '/') unary )*
//   unary          := '-' unary | paren | set | dice-term | NUM dice-term | NUM '#' repeat-body | NUM
//   paren          := '(' additive ')'
//   set            := '{' additive ( ',' additive )* [ ',' ] '}'
//   repeat-body    := paren | dice-term | NUM dice-term | NUM
//   dice-term      := 'd' NUM [bonus] [keep] [comparison]
//   bonus          := 'b' NUM
//   keep           := 'k' NUM | 'kl' NUM
//   comparison     := ('>' | '>=' | '<' | '<=' | '!=') NUM
//
// NUM is a number token: digits with at most one point, and a percent
// sign right after them (lexer/lexer.hpp). The parse is strtol-style: it takes the
// longest prefix these productions give, and a construct it cannot complete
// (an operator without its operand, an unclosed bracket, "3#" without a body)
// is left whole, from its first token, to the tail. Which parts may be sets
// is not a matter of the grammar: the evaluator checks the levels.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "lexer/lexer.hpp"
#include "lexer/token.hpp"
#include "parser/ast.hpp"
#include "small_vector.hpp"

namespace pipwerk {

// The outcome of a strtol-style parse. consumed and tail view the input given
// to Parser::parse and live as long as it does.
struct ParseOutcome {
    Ast ast;
    std::optional<ExprId> expression;  // the root; absent when nothing parsed
    std::string_view consumed;
    std::string_view tail;

    [[nodiscard]] bool success() const noexcept { return expression.has_value(); }
};

// Recursive-descent parser over one input, reading its tokens one at a time
// (no token list is kept). Nesting (brackets, sets, unary minus, repeat
// bodies) deeper than kMaxNesting ends the parse there, as if the construct
// could not be parsed, so no input exhausts the stack.
class Parser {
public:
    // In an optimised build a level costs at most ~0.3 KiB of stack to parse
    // and ~0.8 KiB to evaluate (set arithmetic inside brackets), so a call at
    // the limit stays near 200 KiB: safe on small thread stacks.
    static constexpr int kMaxNesting = 256;

    [[nodiscard]] static ParseOutcome parse(std::string_view input);

private:
    // A number read from a Num token, or nothing; every field a whole word.
    // A std::optional<Number> sets a flag byte, is then copied by whole
    // words, and such a read of bytes just stored apart stalls on the store.
    class OptionalNumber {
    public:
        OptionalNumber(std::nullopt_t) noexcept {}
        OptionalNumber(Number value) noexcept : value_(value), present_(1) {}
        [[nodiscard]] static OptionalNumber from(const std::optional<Number>& n) noexcept {
            if (!n) return std::nullopt;
            return *n;
        }

        explicit operator bool() const noexcept { return present_ != 0; }
        [[nodiscard]] const Number& operator*() const noexcept { return value_; }
        [[nodiscard]] const Number* operator->() const noexcept { return &value_; }
        [[nodiscard]] std::optional<Number> to_optional() const noexcept {
            return present_ != 0 ? std::optional<Number>(value_) : std::nullopt;
        }

    private:
        Number value_ = Number::make_int(0);
        std::uint64_t present_ = 0;
    };

    // Builds into ast, the outcome's own arena, so nothing is moved at the end.
    Parser(std::string_view input, Ast& ast) noexcept;

    OptionalExprId parse_additive();
    OptionalExprId parse_multiplicative();
    OptionalExprId parse_unary();
    OptionalExprId parse_negation();
    OptionalExprId parse_paren();
    OptionalExprId parse_set();
    OptionalExprId parse_set_item();
    OptionalExprId parse_number_start();
    OptionalExprId parse_repeat_body();
    OptionalExprId parse_dice_no_count();
    OptionalExprId parse_dice_with_count(Number count);
    [[gnu::noinline]] OptionalExprId parse_dice_modifiers(Number count, Number faces);
    OptionalNumber parse_bonus_mode();
    std::optional<KeepMode> parse_keep_mode();
    std::optional<ComparisonOp> parse_comparison();

    // Whether a token can start a dice term's modifier: 'k', 'kl', 'b' or a
    // comparison, the eight adjacent kinds from Keep to Ne.
    [[nodiscard]] static bool starts_modifier(TokenKind kind) noexcept {
        constexpr auto first = static_cast<unsigned>(TokenKind::Keep);
        constexpr auto last = static_cast<unsigned>(TokenKind::Ne);
        // Six more kinds strictly between the two ends fill the range exactly.
        static_assert(last - first == 7 && [] {
            for (const TokenKind k : {TokenKind::KeepLow, TokenKind::Bonus, TokenKind::Gt, TokenKind::Ge, TokenKind::Lt,
                                      TokenKind::Le}) {
                if (k <= TokenKind::Keep || k >= TokenKind::Ne) return false;
            }
            return true;
        }());
        return static_cast<unsigned>(kind) - first <= last - first;
    }

    // Cursor helpers: the current token's kind, a step that never leaves the
    // final End token, and the number a Num token reads as. The position is
    // the current token itself.
    [[nodiscard]] TokenKind peek() const noexcept { return token_.kind; }
    void advance() noexcept {
        if (token_.kind != TokenKind::End) token_ = lexer_.token_at(token_.end, token_number_);
    }
    // A saved position is the start of its token; backing up lexes that token
    // again, which costs less than keeping whole tokens aside at every step.
    using Mark = std::size_t;
    [[nodiscard]] Mark mark() const noexcept { return token_.start; }
    void reset(Mark mark) noexcept { token_ = lexer_.token_at(mark, token_number_); }
    [[nodiscard]] OptionalNumber number_here() const noexcept {
        if (peek() != TokenKind::Num) return std::nullopt;
        // Plain short digits were read by the lexer; Number::parse gives the
        // same Int for them.
        if (token_number_ >= 0) return Number::make_int(token_number_);
        const std::string_view text(input_.data() + token_.start, token_.end - token_.start);
        if (const OptionalNumber percent = plain_percent(text)) return percent;
        return OptionalNumber::from(Number::parse(text));
    }
    // "10%": up to 15 digits and a percent sign, read without the general
    // reading of reals. Such digits are exact as a double, so the value is
    // the one Number::parse gives.
    [[nodiscard]] static OptionalNumber plain_percent(std::string_view text) noexcept {
        if (text.size() < 2 || text.size() > 16 || text.back() != '%') return std::nullopt;
        std::int64_t digits = 0;
        for (const char c : text.substr(0, text.size() - 1)) {
            if (c < '0' || c > '9') return std::nullopt;
            digits = digits * 10 + (c - '0');
        }
        return Number::make_percent(static_cast<double>(digits) / 100.0);
    }
    // Steps over the current token (a modifier's letter or operator, or the
    // 'd' of a dice term) and the number that must follow it; without that
    // number nothing is consumed.
    [[nodiscard]] OptionalNumber number_after_current() noexcept {
        const Mark start = mark();
        advance();
        // One named result, built in the caller's slot: copying it out would
        // read whole words just stored in parts, which stalls.
        OptionalNumber n = number_here();
        if (n) {
            advance();
        } else {
            reset(start);
        }
        return n;
    }
    // Counts one level of nesting; false when the limit is reached.
    [[nodiscard]] bool enter_nesting() noexcept {
        if (depth_ >= kMaxNesting) return false;
        ++depth_;
        return true;
    }
    void leave_nesting() noexcept { --depth_; }

    std::string_view input_;
    Lexer lexer_;
    // The current token's value when it is a plain Num (see Lexer::token_at);
    // set with the token, so declared before it.
    std::int64_t token_number_ = -1;
    Token token_;
    int depth_ = 0;
    Ast& ast_;
    // Items of the sets being parsed, innermost last; shared so nested sets
    // need no storage of their own.
    SmallVector<ExprId, 16> set_items_;
};

}  // namespace pipwerk
