#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
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


private:
    // What a byte starts, in one load (spaces are skipped before it). Below
    // kFirstSpecial the class is the kind of a one-byte token, or End
    // (length 0) for a byte that starts none; from it on, the token needs
    // more bytes than this one to tell.
    enum Class : std::uint8_t {
        kFirstSpecial = 32,
        kDigit = kFirstSpecial,  // '0'-'9'
        kPoint,                  // '.': a number without leading digits
        kPercent,                // '%': ends a number; starts no token
        kKeep,     // 'k' or 'K', and "kl" with the next byte
        kGreater,  // '>', and ">=" with the next byte
        kLess,     // '<', and "<="
        kBang,     // '!': only "!=" is a token
    };
    static constexpr std::array<std::uint8_t, 256> kClasses = [] {
        std::array<std::uint8_t, 256> classes{};  // End everywhere else
        const auto kind = [](TokenKind k) { return static_cast<std::uint8_t>(k); };
        const std::pair<std::string_view, std::uint8_t> kBytes[] = {
            {"0123456789", kDigit},
            {".", kPoint},
            {"%", kPercent},
            {"kK", kKeep},
            {">", kGreater},
            {"<", kLess},
            {"!", kBang},
            {"dD", kind(TokenKind::Dice)},
            {"bB", kind(TokenKind::Bonus)},
            {"+", kind(TokenKind::Plus)},
            {"-", kind(TokenKind::Minus)},
            {"*", kind(TokenKind::Star)},
            {"/", kind(TokenKind::Slash)},
            {"(", kind(TokenKind::LParen)},
            {")", kind(TokenKind::RParen)},
            {"{", kind(TokenKind::LBrace)},
            {"}", kind(TokenKind::RBrace)},
            {",", kind(TokenKind::Comma)},
            {"#", kind(TokenKind::Hash)},
        };
        for (const auto& [bytes, cls] : kBytes) {
            for (const char c : bytes) classes[static_cast<unsigned char>(c)] = cls;
        }
        return classes;
    }();
    static_assert(static_cast<std::uint8_t>(TokenKind::Hash) < kFirstSpecial, "every kind is below the special classes");

    // One past a number literal that starts at `from`: digits with at most one
    // point, and a '%' taken only right after them.
    [[nodiscard]] std::size_t number_end(std::size_t from) const noexcept;
    // The token of a byte whose class is kPercent, kKeep, kGreater, kLess or kBang.
    [[nodiscard]] Token two_byte_token(std::size_t p, std::uint8_t cls) const noexcept;

    std::string_view text_;
};

inline std::size_t Lexer::number_end(std::size_t from) const noexcept {
    const char* const text = text_.data();
    const std::size_t n = text_.size();
    const auto digits_end = [&](std::size_t q) {
        while (q < n && text[q] >= '0' && text[q] <= '9') ++q;
        return q;
    };
    std::size_t q = digits_end(from);
    if (q < n && text[q] == '.') q = digits_end(q + 1);
    if (q < n && text[q] == '%') ++q;
    return q;
}

inline Token Lexer::two_byte_token(std::size_t p, std::uint8_t cls) const noexcept {
    // NUL past the end never matches 'l' or '='.
    const char next = p + 1 < text_.size() ? text_[p + 1] : '\0';
    const auto token = [p](TokenKind kind, std::size_t length) { return Token{p, p + length, kind}; };
    switch (cls) {
        case kKeep: return (next == 'l' || next == 'L') ? token(TokenKind::KeepLow, 2) : token(TokenKind::Keep, 1);
        case kGreater: return next == '=' ? token(TokenKind::Ge, 2) : token(TokenKind::Gt, 1);
        case kLess: return next == '=' ? token(TokenKind::Le, 2) : token(TokenKind::Lt, 1);
        case kBang: return next == '=' ? token(TokenKind::Ne, 2) : token(TokenKind::End, 0);
        default: return token(TokenKind::End, 0);  // kPercent
    }
}

inline Token Lexer::token_at(std::size_t from, std::int64_t& number) const noexcept {
    const char* const text = text_.data();
    const std::size_t n = text_.size();
    std::size_t p = from;
    // One bounds check per byte, spaces or not.
    for (;; ++p) {
        if (p >= n) return Token{p, p, TokenKind::End};
        if (text[p] != ' ') break;
    }
    const std::uint8_t cls = kClasses[static_cast<unsigned char>(text[p])];
    // Most tokens are one byte: the class is the kind (End: length 0).
    if (cls < kFirstSpecial) return Token{p, p + (cls != 0), static_cast<TokenKind>(cls)};
    if (cls == kDigit) {
        // Plain digits are valued on the way; a number with a point or a
        // percent sign is read again from its start by number_end.
        std::uint64_t digits = static_cast<unsigned char>(text[p]) - unsigned{'0'};
        std::size_t q = p + 1;
        // The class of the byte after the digits; still kDigit at the end.
        std::uint8_t after = kDigit;
        while (q < n && (after = kClasses[static_cast<unsigned char>(text[q])]) == kDigit) {
            digits = digits * 10 + (static_cast<unsigned char>(text[q]) - unsigned{'0'});
            ++q;
        }
        // Neither a point nor a percent sign follows: one test, as their
        // classes are adjacent.
        static_assert(kPercent == kPoint + 1);
        if (static_cast<unsigned>(after - kPoint) > 1) {
            number = static_cast<std::int64_t>(digits);
            if (q - p > 18) [[unlikely]] number = -1;
            return Token{p, q, TokenKind::Num};
        }
    }
    if (cls == kDigit || cls == kPoint) {
        number = -1;
        return Token{p, number_end(p), TokenKind::Num};
    }
    return two_byte_token(p, cls);
}

}  // namespace pipwerk
