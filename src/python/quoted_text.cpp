#include "quoted_text.hpp"

#include <charconv>
#include <cstddef>
#include <cstdint>

#include "unicode_table.hpp"

namespace pipwerk::python {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
    char32_t code_point;
    std::size_t length;
};

[[nodiscard]] bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

// Decodes the UTF-8 sequence at pos (pos < text.size()). Texts from the
// interpreter are always well formed; anything else still decodes, one
// malformed byte at a time as U+FFFD, so no input reads past the end.
[[nodiscard]] Decoded decode(std::string_view text, std::size_t pos) noexcept {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    char32_t code_point = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        return {lead, 1};
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, code_point = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code_point = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code_point = lead & 0x07u, minimum = 0x10000;
    } else {
        return {kReplacement, 1};
    }
    if (text.size() - pos < length) return {kReplacement, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!is_continuation(byte)) return {kReplacement, 1};
        code_point = (code_point << 6) | (byte & 0x3Fu);
    }
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    if (code_point < minimum || code_point > 0x10FFFF || surrogate) return {kReplacement, 1};
    return {code_point, length};
}

void append_unicode_escape(std::string& out, char32_t code_point) {
    char digits[8];
    const auto written = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(code_point), 16);
    out += "\\u{";
    out.append(digits, written.ptr);
    out += '}';
}

// The two-character escapes; 0 when the character has none.
[[nodiscard]] char short_escape(char32_t code_point) noexcept {
    switch (code_point) {
        case U'"': return '"';
        case U'\\': return '\\';
        case U'\t': return 't';
        case U'\r': return 'r';
        case U'\n': return 'n';
        case U'\0': return '0';
        default: return 0;
    }
}

[[nodiscard]] bool is_plain_ascii(unsigned char byte) noexcept {
    return byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
}

}  // namespace

void append_quoted(std::string& out, std::string_view utf8) {
    out.reserve(out.size() + utf8.size() + 2);
    out += '"';
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        // Runs of printable ASCII, the common case, are copied whole.
        std::size_t run = pos;
        while (run < utf8.size() && is_plain_ascii(static_cast<unsigned char>(utf8[run]))) ++run;
        out.append(utf8, pos, run - pos);
        pos = run;
        if (pos == utf8.size()) break;

        const Decoded decoded = decode(utf8, pos);
        if (const char escape = short_escape(decoded.code_point); escape != 0) {
            out += '\\';
            out += escape;
        } else if (needs_unicode_escape(decoded.code_point)) {
            append_unicode_escape(out, decoded.code_point);
        } else if (decoded.code_point == kReplacement && decoded.length == 1) {
            out += "\xEF\xBF\xBD";  // a malformed byte is shown as U+FFFD
        } else {
            out.append(utf8, pos, decoded.length);
        }
        pos += decoded.length;
    }
    out += '"';
}

}  // namespace pipwerk::python
