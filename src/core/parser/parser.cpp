#include "pipwerk/parser/parser.hpp"

#include <utility>

#include "pipwerk/lexer/lexer.hpp"
#include "pipwerk/lexer/scanner.hpp"
#include "pipwerk/whitespace.hpp"

namespace pipwerk {

Parser::Parser(std::string_view prefix, std::vector<Token> tokens) noexcept
    : prefix_(prefix), tokens_(std::move(tokens)) {}

ParseOutcome Parser::parse(std::string_view input) {
    const ScanResult scanned = scan(input);
    Parser parser(scanned.prefix, Lexer(scanned.prefix).tokenize());
    const std::optional<ExprId> root = parser.parse_additive();

    const std::size_t end = parser.tokens_[parser.pos_].start;
    // The tail skips whitespace only up to the cut: the rest is kept as it is.
    const std::string_view unparsed = trim_leading_whitespace(scanned.prefix.substr(end));
    const std::size_t tail_start = scanned.prefix.size() - unparsed.size();
    return ParseOutcome{
        .ast = std::move(parser.ast_),
        .expression = root,
        .consumed = trim_trailing_whitespace(input.substr(0, end)),
        .tail = input.substr(tail_start),
    };
}

TokenKind Parser::peek() const noexcept { return tokens_[pos_].kind; }

void Parser::advance() noexcept {
    if (pos_ + 1 < tokens_.size()) ++pos_;
}

std::optional<Number> Parser::number_here() const noexcept {
    if (peek() != TokenKind::Num) return std::nullopt;
    return Number::parse(tokens_[pos_].text(prefix_));
}

bool Parser::enter_nesting() noexcept {
    if (depth_ >= kMaxNesting) return false;
    ++depth_;
    return true;
}

// additive := multiplicative ( ('+' | '-') multiplicative )*
std::optional<ExprId> Parser::parse_additive() {
    std::optional<ExprId> left = parse_multiplicative();
    if (!left) return std::nullopt;
    while (peek() == TokenKind::Plus || peek() == TokenKind::Minus) {
        const std::size_t operator_pos = pos_;
        const BinaryOp op = peek() == TokenKind::Plus ? BinaryOp::Add : BinaryOp::Sub;
        advance();
        const std::optional<ExprId> right = parse_multiplicative();
        if (!right) {
            pos_ = operator_pos;  // the operator and what follows stay for the tail
            break;
        }
        left = ast_.add_binary(op, *left, *right);
    }
    return left;
}

// multiplicative := unary ( ('*' | '/') unary )*
std::optional<ExprId> Parser::parse_multiplicative() {
    std::optional<ExprId> left = parse_unary();
    if (!left) return std::nullopt;
    while (peek() == TokenKind::Star || peek() == TokenKind::Slash) {
        const std::size_t operator_pos = pos_;
        const BinaryOp op = peek() == TokenKind::Star ? BinaryOp::Mul : BinaryOp::Div;
        advance();
        const std::optional<ExprId> right = parse_unary();
        if (!right) {
            pos_ = operator_pos;
            break;
        }
        left = ast_.add_binary(op, *left, *right);
    }
    return left;
}

// unary := '-' unary | paren | set | dice-term | NUM dice-term | NUM '#' repeat-body | NUM
std::optional<ExprId> Parser::parse_unary() {
    switch (peek()) {
        case TokenKind::Minus: {
            if (!enter_nesting()) return std::nullopt;
            const std::size_t start = pos_;
            advance();
            const std::optional<ExprId> operand = parse_unary();
            leave_nesting();
            if (!operand) {
                pos_ = start;
                return std::nullopt;
            }
            return ast_.add_neg(*operand);
        }
        case TokenKind::LParen: return parse_paren();
        case TokenKind::LBrace: return parse_set();
        case TokenKind::Dice: return parse_dice_no_count();
        case TokenKind::Num: return parse_number_start();
        default: return std::nullopt;
    }
}

// paren := '(' additive ')'
std::optional<ExprId> Parser::parse_paren() {
    if (peek() != TokenKind::LParen || !enter_nesting()) return std::nullopt;
    const std::size_t start = pos_;
    advance();
    const std::optional<ExprId> inner = parse_additive();
    leave_nesting();
    if (!inner || peek() != TokenKind::RParen) {
        pos_ = start;
        return std::nullopt;
    }
    advance();
    return ast_.add_paren(*inner);
}

// set := '{' additive ( ',' additive )* [ ',' ] '}'
std::optional<ExprId> Parser::parse_set() {
    if (peek() != TokenKind::LBrace || !enter_nesting()) return std::nullopt;
    const std::size_t start = pos_;
    // Items of enclosing sets sit below ours on the shared scratch stack.
    const std::size_t mark = set_items_.size();
    advance();
    std::optional<ExprId> item = parse_additive();
    while (item) {
        set_items_.push_back(*item);
        if (peek() != TokenKind::Comma) break;
        advance();
        item = parse_additive();
    }
    leave_nesting();
    std::optional<ExprId> result;
    if (set_items_.size() > mark && peek() == TokenKind::RBrace) {
        advance();
        result = ast_.add_set(std::span<const ExprId>(set_items_).subspan(mark));
    } else {
        pos_ = start;
    }
    set_items_.resize(mark);
    return result;
}

// A unary that starts with a number: NUM dice-term | NUM '#' repeat-body | NUM
std::optional<ExprId> Parser::parse_number_start() {
    const std::size_t start = pos_;
    const std::optional<Number> value = number_here();
    if (!value) return std::nullopt;
    advance();
    switch (peek()) {
        case TokenKind::Dice: {
            // No fallback to the bare number: "2d" is not "2".
            const std::optional<ExprId> dice = parse_dice_with_count(*value);
            if (!dice) pos_ = start;
            return dice;
        }
        case TokenKind::Hash: {
            const std::size_t hash_pos = pos_;
            advance();
            if (const std::optional<ExprId> body = parse_repeat_body()) return ast_.add_repeat(*value, *body);
            pos_ = hash_pos;  // "3#x" is the literal 3
            return ast_.add_literal(*value);
        }
        default: return ast_.add_literal(*value);
    }
}

// repeat-body := paren | dice-term | NUM dice-term | NUM
std::optional<ExprId> Parser::parse_repeat_body() {
    switch (peek()) {
        case TokenKind::LParen: return parse_paren();
        case TokenKind::Dice: return parse_dice_no_count();
        case TokenKind::Num: {
            const std::size_t start = pos_;
            const std::optional<Number> value = number_here();
            if (!value) return std::nullopt;
            advance();
            if (peek() != TokenKind::Dice) return ast_.add_literal(*value);
            const std::optional<ExprId> dice = parse_dice_with_count(*value);
            if (!dice) pos_ = start;
            return dice;
        }
        default: return std::nullopt;
    }
}

// dice-term without a count: 'd' NUM [bonus] [keep] [comparison]
std::optional<ExprId> Parser::parse_dice_no_count() { return parse_dice_with_count(Number::make_int(1)); }

// dice-term := 'd' NUM [bonus] [keep] [comparison], each modifier at most once and in this order
std::optional<ExprId> Parser::parse_dice_with_count(Number count) {
    if (peek() != TokenKind::Dice) return std::nullopt;
    const std::size_t start = pos_;
    advance();
    const std::optional<Number> faces = number_here();
    if (!faces) {
        pos_ = start;
        return std::nullopt;
    }
    advance();
    DiceExpr dice{.count = count, .faces = *faces, .keep = std::nullopt, .bonus = std::nullopt, .comparison = std::nullopt};
    dice.bonus = parse_bonus_mode();
    dice.keep = parse_keep_mode();
    dice.comparison = parse_comparison();
    return ast_.add_dice(dice);
}

// bonus := 'b' NUM
std::optional<Number> Parser::parse_bonus_mode() {
    if (peek() != TokenKind::Bonus) return std::nullopt;
    const std::size_t start = pos_;
    advance();
    const std::optional<Number> threshold = number_here();
    if (!threshold) {
        pos_ = start;
        return std::nullopt;
    }
    advance();
    return threshold;
}

// keep := 'k' NUM | 'kl' NUM
std::optional<KeepMode> Parser::parse_keep_mode() {
    if (peek() != TokenKind::Keep && peek() != TokenKind::KeepLow) return std::nullopt;
    const std::size_t start = pos_;
    const KeepMode::Dir dir = peek() == TokenKind::Keep ? KeepMode::Dir::High : KeepMode::Dir::Low;
    advance();
    const std::optional<Number> n = number_here();
    if (!n) {
        pos_ = start;
        return std::nullopt;
    }
    advance();
    return KeepMode{.dir = dir, .n = n->integer_view()};
}

// comparison := ('>' | '>=' | '<' | '<=' | '!=') NUM
std::optional<ComparisonOp> Parser::parse_comparison() {
    ComparisonOp::Kind kind{};
    switch (peek()) {
        case TokenKind::Gt: kind = ComparisonOp::Kind::Greater; break;
        case TokenKind::Ge: kind = ComparisonOp::Kind::GreaterEqual; break;
        case TokenKind::Lt: kind = ComparisonOp::Kind::Less; break;
        case TokenKind::Le: kind = ComparisonOp::Kind::LessEqual; break;
        case TokenKind::Ne: kind = ComparisonOp::Kind::NotEqual; break;
        default: return std::nullopt;
    }
    const std::size_t start = pos_;
    advance();
    const std::optional<Number> threshold = number_here();
    if (!threshold) {
        pos_ = start;
        return std::nullopt;
    }
    advance();
    return ComparisonOp{.kind = kind, .threshold = *threshold};
}

}  // namespace pipwerk
