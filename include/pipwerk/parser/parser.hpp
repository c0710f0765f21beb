#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "pipwerk/lexer/token.hpp"
#include "pipwerk/parser/ast.hpp"

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

// Recursive-descent parser over the tokens of one input. Nesting (brackets,
// sets, unary minus, repeat bodies) deeper than kMaxNesting ends the parse
// there, as if the construct could not be parsed, so no input exhausts the stack.
class Parser {
public:
    // In an optimised build a level costs at most ~0.3 KiB of stack to parse
    // and ~0.8 KiB to evaluate (set arithmetic inside brackets), so a call at
    // the limit stays near 200 KiB: safe on small thread stacks.
    static constexpr int kMaxNesting = 256;

    [[nodiscard]] static ParseOutcome parse(std::string_view input);

private:
    Parser(std::string_view prefix, std::vector<Token> tokens) noexcept;

    std::optional<ExprId> parse_additive();
    std::optional<ExprId> parse_multiplicative();
    std::optional<ExprId> parse_unary();
    std::optional<ExprId> parse_paren();
    std::optional<ExprId> parse_set();
    std::optional<ExprId> parse_number_start();
    std::optional<ExprId> parse_repeat_body();
    std::optional<ExprId> parse_dice_no_count();
    std::optional<ExprId> parse_dice_with_count(Number count);
    std::optional<Number> parse_bonus_mode();
    std::optional<KeepMode> parse_keep_mode();
    std::optional<ComparisonOp> parse_comparison();

    // Cursor helpers: the current token's kind, a step that never leaves the
    // final End token, and the number a Num token reads as.
    [[nodiscard]] TokenKind peek() const noexcept;
    void advance() noexcept;
    [[nodiscard]] std::optional<Number> number_here() const noexcept;
    // Counts one level of nesting; false when the limit is reached.
    [[nodiscard]] bool enter_nesting() noexcept;
    void leave_nesting() noexcept { --depth_; }

    std::string_view prefix_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    Ast ast_;
    // Items of the sets being parsed, innermost last; shared so nested sets
    // need no allocation of their own.
    std::vector<ExprId> set_items_;
};

}  // namespace pipwerk
