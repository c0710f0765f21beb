#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pipwerk {

enum class TokenKind : std::uint8_t {
    End,
    Num,
    Dice,
    Keep,
    KeepLow,
    Bonus,
    Gt,
    Ge,
    Lt,
    Le,
    Ne,
    Plus,
    Minus,
    Star,
    Slash,
    LParen,
    RParen,
    LBrace,
    RBrace,
    Comma,
    Hash,
};

// One lexical unit: its kind and its byte span in the tokenised text. The text
// is not copied; text() views it in the source it was cut from.
struct Token {
    std::size_t start;
    std::size_t end;  // one past the last byte; equal to start for End
    TokenKind kind;

    [[nodiscard]] constexpr std::string_view text(std::string_view source) const noexcept {
        return source.substr(start, end - start);
    }
};

}  // namespace pipwerk
