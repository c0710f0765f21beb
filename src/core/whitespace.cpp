#include "pipwerk/text.hpp"

namespace pipwerk {
namespace {

// Byte length of the whitespace character that starts at text[0], or 0.
// Multi-byte forms are matched whole, so a cut never splits a character.
std::size_t leading_space_length(std::string_view t) noexcept {
    if (t.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(t[0]);
    if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) return 1;
    if (t.size() >= 2 && b0 == 0xC2) {
        const auto b1 = static_cast<unsigned char>(t[1]);
        return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    }
    if (t.size() >= 3 && (b0 == 0xE1 || b0 == 0xE2 || b0 == 0xE3)) {
        const auto b1 = static_cast<unsigned char>(t[1]);
        const auto b2 = static_cast<unsigned char>(t[2]);
        switch (b0) {
            case 0xE1:  // U+1680
                return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
            case 0xE2:
                if (b1 == 0x80) {
                    // U+2000..U+200A, U+2028, U+2029, U+202F
                    if ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) return 3;
                    return 0;
                }
                return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;  // U+205F
            default:  // U+3000
                return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
        }
    }
    return 0;
}

// Byte length of the whitespace character that ends the text, or 0. A match
// must be a whole character: its first byte is a lead byte of that length.
std::size_t trailing_space_length(std::string_view t) noexcept {
    for (std::size_t len = 1; len <= 3 && len <= t.size(); ++len) {
        if (leading_space_length(t.substr(t.size() - len)) == len) return len;
    }
    return 0;
}

// A printable ASCII byte other than the space is no whitespace and no part of one.
constexpr bool is_plain(char c) noexcept {
    const auto b = static_cast<unsigned char>(c);
    return b > 0x20 && b < 0x80;
}

}  // namespace

std::string_view trim_leading_whitespace(std::string_view text) noexcept {
    if (text.empty() || is_plain(text.front())) return text;
    while (const std::size_t n = leading_space_length(text)) text.remove_prefix(n);
    return text;
}

std::string_view trim_trailing_whitespace(std::string_view text) noexcept {
    if (text.empty() || is_plain(text.back())) return text;
    while (const std::size_t n = trailing_space_length(text)) text.remove_suffix(n);
    return text;
}

std::string_view trim_whitespace(std::string_view text) noexcept {
    return trim_trailing_whitespace(trim_leading_whitespace(text));
}

}  // namespace pipwerk
