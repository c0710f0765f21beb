#include "pipwerk/text.hpp"

#include "json_fields.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace pipwerk {
namespace {

constexpr std::string_view kReplacement = "\\ufffd";
constexpr std::string_view kHexDigits = "0123456789abcdef";

[[nodiscard]] constexpr bool is_continuation(unsigned char byte) noexcept { return (byte & 0xC0U) == 0x80U; }

// Length of the well-formed UTF-8 sequence starting at text[pos] (a byte of
// 0x80 or above), or 0 with `bad` set to the length of the maximal ill-formed
// prefix to replace by one U+FFFD (the decoder convention Python also uses).
struct SequenceCheck {
    std::size_t length;  // 0 when ill-formed
    std::size_t bad;     // bytes to skip when ill-formed (at least 1)
    std::uint32_t code_point;
};

[[nodiscard]] SequenceCheck check_sequence(std::string_view text, std::size_t pos) noexcept {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t need = 0;
    std::uint32_t cp = 0;
    // Bounds of the second byte; they exclude overlong forms, surrogates and
    // code points above U+10FFFF.
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0FU;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07U;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        return {0, 1, 0};
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (pos + k >= text.size()) return {0, k, 0};
        const auto byte = static_cast<unsigned char>(text[pos + k]);
        const bool ok = k == 1 ? (byte >= lo && byte <= hi) : is_continuation(byte);
        if (!ok) return {0, k, 0};
        cp = (cp << 6U) | (byte & 0x3FU);
    }
    return {need + 1, 0, cp};
}

void append_unicode_escape(std::string& out, std::uint32_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> static_cast<unsigned>(shift)) & 0xFU];
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            switch (byte) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (is_control_character(byte)) {
                        append_unicode_escape(out, byte);
                    } else {
                        out += static_cast<char>(byte);
                    }
            }
            ++pos;
            continue;
        }
        const SequenceCheck seq = check_sequence(text, pos);
        if (seq.length == 0) {
            out += kReplacement;
            pos += seq.bad;
        } else if (is_control_character(seq.code_point) || seq.code_point == 0x2028 || seq.code_point == 0x2029) {
            append_unicode_escape(out, seq.code_point);
            pos += seq.length;
        } else {
            out.append(text.substr(pos, seq.length));
            pos += seq.length;
        }
    }
    out += '"';
}

void append_json_number(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // Shortest round-trip digits; 24 bytes hold any double's shortest form.
    std::array<char, 32> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (ec != std::errc{}) {
        out += "null";
        return;
    }
    const std::string_view digits(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    out += digits;
    if (digits.find_first_of(".e") == std::string_view::npos) out += ".0";
}

void append_roll_json_fields(std::string& out, const RollOutput& roll) {
    visit_roll(roll, detail::JsonFields(out));
}

}  // namespace pipwerk
