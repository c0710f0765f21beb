#include "parser/parser.hpp"

#include <algorithm>

#include "lexer/scanner.hpp"
#include "pipwerk/text.hpp"

namespace pipwerk {

Parser::Parser(std::string_view input, Ast& ast) noexcept
    : input_(input), lexer_(input), token_(lexer_.token_at(0, token_number_)), ast_(ast) {}

ParseOutcome Parser::parse(std::string_view input) {
    ParseOutcome outcome;
    // Every node owns at least one byte of the input, so this bound is never
    // short: the node arena is obtained once, when its inline room is full,
    // and never regrown by copying. Reserved but unused room is never
    // touched. The cap keeps a huge input from claiming all of that up
    // front; past it the arena grows as usual. The side table of dice with
    // modifiers is left to grow: most dice need no entry, and an idle
    // reservation of megabytes makes the allocator hand the heap back to the
    // system and fault it in again on the next call.
    constexpr std::size_t kNodeCap = std::size_t{1} << 22;
    outcome.ast.reserve_when_full(std::min(input.size(), kNodeCap));
    // The parser reads the whole input: it never consumes a bracket it cannot
    // close, a comma outside a set or a line feed, so it stops at or before
    // the scanner's cut by itself, and a whole parse needs no scan at all.
    Parser parser(input, outcome.ast);
    outcome.expression = parser.parse_additive().to_optional();

    const std::size_t end = parser.token_.start;
    std::size_t tail_start = end;
    if (end < input.size()) {
        // The tail skips whitespace only up to the cut: the rest is kept as it is.
        const std::size_t cut = std::max(scan(input).cut, end);
        tail_start = cut - trim_leading_whitespace(input.substr(end, cut - end)).size();
    }
    outcome.consumed = trim_trailing_whitespace(input.substr(0, end));
    outcome.tail = input.substr(tail_start);
    return outcome;
}

// unary := '-' unary | paren | set | dice-term | NUM dice-term | NUM '#' repeat-body | NUM
//
// Inlined into parse_multiplicative, and that into parse_additive: an operand
// then costs one call less at each level. Only the sign recurses, out of line.
[[gnu::always_inline]] inline OptionalExprId Parser::parse_unary() {
    // Most operands start with a number: one test before the switch's jump.
    if (peek() == TokenKind::Num) return parse_number_start();
    switch (peek()) {
        case TokenKind::Minus: return parse_negation();
        case TokenKind::LParen: return parse_paren();
        case TokenKind::LBrace: return parse_set();
        case TokenKind::Dice: return parse_dice_no_count();
        default: return std::nullopt;
    }
}

// '-' unary
OptionalExprId Parser::parse_negation() {
    if (!enter_nesting()) return std::nullopt;
    const Mark start = mark();
    advance();
    const OptionalExprId operand = parse_unary();
    leave_nesting();
    if (!operand) {
        reset(start);
        return std::nullopt;
    }
    return ast_.add_neg(*operand);
}

// multiplicative := unary ( ('*' | '/') unary )*
[[gnu::always_inline]] inline OptionalExprId Parser::parse_multiplicative() {
    OptionalExprId left = parse_unary();
    if (!left) return std::nullopt;
    while (peek() == TokenKind::Star || peek() == TokenKind::Slash) {
        const Mark operator_token = mark();
        const BinaryOp op = peek() == TokenKind::Star ? BinaryOp::Mul : BinaryOp::Div;
        advance();
        const OptionalExprId right = parse_unary();
        if (!right) {
            reset(operator_token);
            break;
        }
        left = ast_.add_binary(op, *left, *right);
    }
    return left;
}

// additive := multiplicative ( ('+' | '-') multiplicative )*
OptionalExprId Parser::parse_additive() {
    OptionalExprId left = parse_multiplicative();
    if (!left) return std::nullopt;
    while (peek() == TokenKind::Plus || peek() == TokenKind::Minus) {
        const Mark operator_token = mark();
        const BinaryOp op = peek() == TokenKind::Plus ? BinaryOp::Add : BinaryOp::Sub;
        advance();
        const OptionalExprId right = parse_multiplicative();
        if (!right) {
            reset(operator_token);  // the operator and what follows stay for the tail
            break;
        }
        left = ast_.add_binary(op, *left, *right);
    }
    return left;
}

// paren := '(' additive ')'
OptionalExprId Parser::parse_paren() {
    if (peek() != TokenKind::LParen || !enter_nesting()) return std::nullopt;
    const Mark start = mark();
    advance();
    const OptionalExprId inner = parse_additive();
    leave_nesting();
    if (!inner || peek() != TokenKind::RParen) {
        reset(start);
        return std::nullopt;
    }
    advance();
    return ast_.add_paren(*inner);
}

// set := '{' additive ( ',' additive )* [ ',' ] '}'
OptionalExprId Parser::parse_set() {
    if (peek() != TokenKind::LBrace || !enter_nesting()) return std::nullopt;
    const Mark start = mark();
    // Items of enclosing sets sit below ours on the shared scratch stack.
    const std::size_t mark = set_items_.size();
    advance();
    OptionalExprId item = parse_set_item();
    while (item) {
        set_items_.push_back(*item);
        if (peek() != TokenKind::Comma) break;
        advance();
        item = parse_set_item();
    }
    leave_nesting();
    OptionalExprId result;
    if (set_items_.size() > mark && peek() == TokenKind::RBrace) {
        advance();
        result = ast_.add_set(set_items_.span().subspan(mark));
    } else {
        reset(start);
    }
    set_items_.truncate(mark);
    return result;
}

// A set item: additive. Most items of a set of numbers are a lone plain
// number, which is read here as the literal the grammar gives it, without
// descending through the grammar's levels; anything else is read again from
// its start.
[[gnu::always_inline]] inline OptionalExprId Parser::parse_set_item() {
    if (peek() == TokenKind::Num && token_number_ >= 0) {
        const Mark start = mark();
        const std::int64_t value = token_number_;
        advance();
        if (peek() == TokenKind::Comma || peek() == TokenKind::RBrace) return ast_.add_literal(Number::make_int(value));
        reset(start);
    }
    return parse_additive();
}

// A unary that starts with a number: NUM dice-term | NUM '#' repeat-body | NUM
OptionalExprId Parser::parse_number_start() {
    const Mark start = mark();
    const OptionalNumber value = number_here();
    if (!value) return std::nullopt;
    advance();
    switch (peek()) {
        case TokenKind::Dice: {
            // No fallback to the bare number: "2d" is not "2".
            const OptionalExprId dice = parse_dice_with_count(*value);
            if (!dice) reset(start);
            return dice;
        }
        case TokenKind::Hash: {
            const Mark hash = mark();
            advance();
            if (const OptionalExprId body = parse_repeat_body()) return ast_.add_repeat(*value, *body);
            reset(hash);  // "3#x" is the literal 3
            return ast_.add_literal(*value);
        }
        default: return ast_.add_literal(*value);
    }
}

// repeat-body := paren | dice-term | NUM dice-term | NUM
OptionalExprId Parser::parse_repeat_body() {
    switch (peek()) {
        case TokenKind::LParen: return parse_paren();
        case TokenKind::Dice: return parse_dice_no_count();
        case TokenKind::Num: {
            const Mark start = mark();
            const OptionalNumber value = number_here();
            if (!value) return std::nullopt;
            advance();
            if (peek() != TokenKind::Dice) return ast_.add_literal(*value);
            const OptionalExprId dice = parse_dice_with_count(*value);
            if (!dice) reset(start);
            return dice;
        }
        default: return std::nullopt;
    }
}

// The modifiers are inline in parse_dice_modifiers: their optional results
// then stay in registers instead of going through memory.

// bonus := 'b' NUM
[[gnu::always_inline]] inline Parser::OptionalNumber Parser::parse_bonus_mode() {
    if (peek() != TokenKind::Bonus) return std::nullopt;
    return number_after_current();
}

// keep := 'k' NUM | 'kl' NUM
[[gnu::always_inline]] inline std::optional<KeepMode> Parser::parse_keep_mode() {
    if (peek() != TokenKind::Keep && peek() != TokenKind::KeepLow) return std::nullopt;
    const KeepMode::Dir dir = peek() == TokenKind::Keep ? KeepMode::Dir::High : KeepMode::Dir::Low;
    const OptionalNumber n = number_after_current();
    if (!n) return std::nullopt;
    return KeepMode{.dir = dir, .n = n->integer_view()};
}

// comparison := ('>' | '>=' | '<' | '<=' | '!=') NUM
[[gnu::always_inline]] inline std::optional<ComparisonOp> Parser::parse_comparison() {
    ComparisonOp::Kind kind{};
    switch (peek()) {
        case TokenKind::Gt: kind = ComparisonOp::Kind::Greater; break;
        case TokenKind::Ge: kind = ComparisonOp::Kind::GreaterEqual; break;
        case TokenKind::Lt: kind = ComparisonOp::Kind::Less; break;
        case TokenKind::Le: kind = ComparisonOp::Kind::LessEqual; break;
        case TokenKind::Ne: kind = ComparisonOp::Kind::NotEqual; break;
        default: return std::nullopt;
    }
    const OptionalNumber threshold = number_after_current();
    if (!threshold) return std::nullopt;
    return ComparisonOp{.kind = kind, .threshold = *threshold};
}

// dice-term without a count: 'd' NUM [bonus] [keep] [comparison]
OptionalExprId Parser::parse_dice_no_count() { return parse_dice_with_count(Number::make_int(1)); }

// dice-term := 'd' NUM [bonus] [keep] [comparison], each modifier at most once and in this order
OptionalExprId Parser::parse_dice_with_count(Number count) {
    if (peek() != TokenKind::Dice) return std::nullopt;
    const OptionalNumber faces = number_after_current();
    if (!faces) return std::nullopt;
    // Most terms have no modifier; those that may are read out of line, so
    // this common path keeps a small frame.
    if (starts_modifier(peek())) return parse_dice_modifiers(count, *faces);
    return ast_.add_dice(count, *faces, std::nullopt, std::nullopt, std::nullopt);
}

// [bonus] [keep] [comparison] after a dice term's faces; none of them is
// consumed when its number is missing.
OptionalExprId Parser::parse_dice_modifiers(Number count, Number faces) {
    // The parts go to the arena by reference: gathering them into a DiceExpr
    // first would copy them whole right after writing them piece by piece.
    const OptionalNumber bonus = parse_bonus_mode();
    const std::optional<KeepMode> keep = parse_keep_mode();
    const std::optional<ComparisonOp> comparison = parse_comparison();
    return ast_.add_dice(count, faces, keep, bonus.to_optional(), comparison);
}

}  // namespace pipwerk
