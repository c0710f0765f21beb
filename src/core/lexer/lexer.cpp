#include "pipwerk/lexer/lexer.hpp"

namespace pipwerk {
namespace {

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// The one-character tokens; End stands for "not one of them".
constexpr TokenKind single_kind(char c) noexcept {
    switch (c) {
        case 'd': case 'D': return TokenKind::Dice;
        case 'b': case 'B': return TokenKind::Bonus;
        case '+': return TokenKind::Plus;
        case '-': return TokenKind::Minus;
        case '*': return TokenKind::Star;
        case '/': return TokenKind::Slash;
        case '(': return TokenKind::LParen;
        case ')': return TokenKind::RParen;
        case '{': return TokenKind::LBrace;
        case '}': return TokenKind::RBrace;
        case ',': return TokenKind::Comma;
        case '#': return TokenKind::Hash;
        default: return TokenKind::End;
    }
}

}  // namespace

std::vector<Token> Lexer::tokenize() && {
    std::vector<Token> tokens;
    const std::size_t n = text_.size();
    // The byte after the current one, lowered; NUL past the end never matches '=' or 'l'.
    const auto next_lower = [&]() -> char {
        if (pos_ + 1 >= n) return '\0';
        const char c = text_[pos_ + 1];
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    const auto emit = [&](TokenKind kind, std::size_t length) {
        tokens.push_back(Token{pos_, pos_ + length, kind});
        pos_ += length;
    };

    while (pos_ < n) {
        const char c = text_[pos_];
        if (c == ' ') {
            ++pos_;
        } else if (is_digit(c) || c == '.') {
            // Digits with at most one point, and a '%' taken only right after them.
            std::size_t q = pos_;
            bool seen_point = false;
            while (q < n) {
                const char d = text_[q];
                if (is_digit(d)) {
                    ++q;
                } else if (d == '.' && !seen_point) {
                    seen_point = true;
                    ++q;
                } else {
                    if (d == '%') ++q;
                    break;
                }
            }
            emit(TokenKind::Num, q - pos_);
        } else if (c == '!') {
            if (next_lower() != '=') break;
            emit(TokenKind::Ne, 2);
        } else if (c == '>') {
            next_lower() == '=' ? emit(TokenKind::Ge, 2) : emit(TokenKind::Gt, 1);
        } else if (c == '<') {
            next_lower() == '=' ? emit(TokenKind::Le, 2) : emit(TokenKind::Lt, 1);
        } else if (c == 'k' || c == 'K') {
            next_lower() == 'l' ? emit(TokenKind::KeepLow, 2) : emit(TokenKind::Keep, 1);
        } else if (const TokenKind kind = single_kind(c); kind != TokenKind::End) {
            emit(kind, 1);
        } else {
            break;
        }
    }
    tokens.push_back(Token{pos_, pos_, TokenKind::End});
    return tokens;
}

}  // namespace pipwerk
