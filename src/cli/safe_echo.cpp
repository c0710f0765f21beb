#include "safe_echo.hpp"

#include <charconv>
#include <cstdint>

#include "pipwerk/text.hpp"

namespace pipwerk::cli {
namespace {

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

struct Decoded {
    char32_t code_point;  // kNotUtf8 for a byte that starts no well-formed sequence
    std::size_t size;     // bytes read: 1 for such a byte
};

// One character of strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
[[nodiscard]] Decoded decode(std::string_view text, std::size_t at) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t b0 = byte(0);
    if (b0 < 0x80) return {b0, 1};
    std::size_t size = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        size = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        size = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        size = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {
        return {kNotUtf8, 1};
    }
    if (text.size() - at < size) return {kNotUtf8, 1};
    for (std::size_t i = 1; i < size; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {kNotUtf8, 1};
        cp = (cp << 6) | (byte(i) & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {kNotUtf8, 1};
    return {cp, size};
}

void append_hex(std::string& out, std::string_view marker, std::uint32_t value, int digits) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    out += marker;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

}  // namespace

void append_safe_echo(std::string& out, std::string_view text, std::size_t limit) {
    std::size_t at = 0;
    for (std::size_t shown = 0; at < text.size() && shown < limit; ++shown) {
        const Decoded d = decode(text, at);
        if (d.code_point == kNotUtf8) {
            append_hex(out, "\\x", static_cast<std::uint8_t>(text[at]), 2);
        } else if (d.code_point == '\\') {
            out += "\\\\";
        } else if (d.code_point < 0x80 && is_control_character(d.code_point)) {
            append_hex(out, "\\x", d.code_point, 2);
        } else if (is_control_character(d.code_point)) {
            append_hex(out, "\\u", d.code_point, 4);
        } else {
            out.append(text, at, d.size);
        }
        at += d.size;
    }
    if (at == text.size()) return;
    std::size_t rest = 0;
    for (; at < text.size(); ++rest) at += decode(text, at).size;
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, rest);
    out += "... (";
    out.append(digits, end);
    out += rest == 1 ? " more character)" : " more characters)";
}

}  // namespace pipwerk::cli
