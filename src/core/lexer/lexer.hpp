#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "lexer/token.hpp"

namespace pipwerk {

// Turns a scanned prefix into tokens, skipping spaces and stopping at the
// first character it does not know; the list always ends with one End token.
//
// A token depends only on the text from its own position on, so the parser
// reads tokens one at a time with token_at (from the previous token's end)
// and never stores the list: backing up is lexing again from the start of
// an earlier token.
class Lexer {
public:
    explicit Lexer(std::string_view text) noexcept : text_(text) {}

    // The token at or after byte `from` (spaces skipped); End where the text
    // ends or holds a character that starts no token.
    [[nodiscard]] Token token_at(std::size_t from) const noexcept {
        std::int64_t number = 0;
        return token_at(from, number);
    }
    // The same, and for a Num token its value when it is plain digits, at
    // most 18 of them (-1 for any other number): read while passing them.
    [[nodiscard]] Token token_at(std::size_t from, std::int64_t& number) const noexcept;

    [[nodiscard]] std::vector<Token> tokenize() &&;

private:
    // One past a number literal that starts at `from`: digits with at most one
    // point, and a '%' taken only right after them. `value` as in token_at.
    [[nodiscard]] std::size_t number_end(std::size_t from, std::int64_t& value) const noexcept;

    std::string_view text_;
};

inline std::size_t Lexer::number_end(std::size_t from, std::int64_t& value) const noexcept {
    const std::size_t n = text_.size();
    std::size_t q = from;
    // The leading digits are valued on the way; unsigned, as a run too long
    // to be plain may wrap.
    std::uint64_t digits = 0;
    for (; q < n && text_[q] >= '0' && text_[q] <= '9'; ++q) {
        digits = digits * 10 + static_cast<unsigned>(text_[q] - '0');
    }
    if (q == n || (text_[q] != '.' && text_[q] != '%')) {
        value = q > from && q - from <= 18 ? static_cast<std::int64_t>(digits) : -1;
        return q;
    }
    // A point or a percent sign follows: not plain.
    value = -1;
    if (text_[q] == '.') {
        ++q;
        while (q < n && text_[q] >= '0' && text_[q] <= '9') ++q;
    }
    if (q < n && text_[q] == '%') ++q;
    return q;
}

inline Token Lexer::token_at(std::size_t from, std::int64_t& number) const noexcept {
    const std::size_t n = text_.size();
    std::size_t p = from;
    while (p < n && text_[p] == ' ') ++p;
    const auto token = [p](TokenKind kind, std::size_t length) { return Token{p, p + length, kind}; };
    if (p >= n) return token(TokenKind::End, 0);
    // The byte after the current one, read only by the tokens that look at
    // it; NUL past the end never matches '=' or 'l'.
    const auto next = [&] { return p + 1 < n ? text_[p + 1] : '\0'; };
    const auto next_is_equals = [&] { return next() == '='; };
    switch (text_[p]) {
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': case '.':
            return Token{p, number_end(p, number), TokenKind::Num};
        case 'd': case 'D': return token(TokenKind::Dice, 1);
        case 'k': case 'K':
            return (next() == 'l' || next() == 'L') ? token(TokenKind::KeepLow, 2) : token(TokenKind::Keep, 1);
        case 'b': case 'B': return token(TokenKind::Bonus, 1);
        case '>': return next_is_equals() ? token(TokenKind::Ge, 2) : token(TokenKind::Gt, 1);
        case '<': return next_is_equals() ? token(TokenKind::Le, 2) : token(TokenKind::Lt, 1);
        case '!': return next_is_equals() ? token(TokenKind::Ne, 2) : token(TokenKind::End, 0);
        case '+': return token(TokenKind::Plus, 1);
        case '-': return token(TokenKind::Minus, 1);
        case '*': return token(TokenKind::Star, 1);
        case '/': return token(TokenKind::Slash, 1);
        case '(': return token(TokenKind::LParen, 1);
        case ')': return token(TokenKind::RParen, 1);
        case '{': return token(TokenKind::LBrace, 1);
        case '}': return token(TokenKind::RBrace, 1);
        case ',': return token(TokenKind::Comma, 1);
        case '#': return token(TokenKind::Hash, 1);
        default: return token(TokenKind::End, 0);
    }
}

}  // namespace pipwerk
