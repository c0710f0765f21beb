#pragma once

// Strict UTF-8 decoding for the fuzz targets' own checks, written apart from
// the engine and the module so that a fault there cannot hide itself.

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace fuzz {

// The code point at the start of `s` and its length in bytes, or nothing for
// a malformed, overlong, surrogate or out-of-range sequence.
inline std::optional<std::pair<char32_t, std::size_t>> decode_one(std::string_view s) {
    if (s.empty()) return std::nullopt;
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) return std::pair<char32_t, std::size_t>{b0, 1};
    std::size_t len = 0;
    char32_t c = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        c = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        c = b0 & 0x07;
    } else {
        return std::nullopt;
    }
    if (s.size() < len) return std::nullopt;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return std::pair<char32_t, std::size_t>{c, len};
}

}  // namespace fuzz
