// libFuzzer target: the two text forms of the Python reprs, on raw bytes.
//
//  - Quoted form: any byte string (also malformed UTF-8) gives well-formed
//    UTF-8 between double quotes, using only the allowed escapes; a
//    well-formed input decodes back to itself.
//  - Float form: every 8-byte chunk, read as a double, is written exactly as
//    derived here from the shortest scientific digits of std::to_chars, and
//    reads back as the same double.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "float_text.hpp"
#include "quoted_text.hpp"
#include "strict_utf8.hpp"
#include "unicode_table.hpp"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

using fuzz::decode_one;

bool well_formed(std::string_view s) {
    while (!s.empty()) {
        const auto cp = decode_one(s);
        if (!cp) return false;
        s.remove_prefix(cp->second);
    }
    return true;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Reads a quoted text back; traps on any spelling the form does not allow.
std::string unquote(std::string_view q) {
    check(q.size() >= 2 && q.front() == '"' && q.back() == '"');
    q = q.substr(1, q.size() - 2);
    std::string out;
    while (!q.empty()) {
        const auto cp = decode_one(q);
        check(cp.has_value());
        const char32_t c = cp->first;
        if (c != '\\') {
            check(c != '"' && c != '\t' && c != '\r' && c != '\n' && c != 0);
            check(!pipwerk::python::needs_unicode_escape(c));
            out.append(q.substr(0, cp->second));
            q.remove_prefix(cp->second);
            continue;
        }
        check(q.size() >= 2);
        const char code = q[1];
        const char* simple = nullptr;
        switch (code) {
            case '"': simple = "\""; break;
            case '\\': simple = "\\"; break;
            case 't': simple = "\t"; break;
            case 'r': simple = "\r"; break;
            case 'n': simple = "\n"; break;
            case '0': out += '\0'; q.remove_prefix(2); continue;
            default: break;
        }
        if (simple != nullptr) {
            out += simple;
            q.remove_prefix(2);
            continue;
        }
        check(code == 'u' && q.size() >= 4 && q[2] == '{');
        const std::size_t close = q.find('}');
        check(close != std::string_view::npos && close > 3);
        const std::string_view hex = q.substr(3, close - 3);
        check(hex.size() == 1 || hex.front() != '0');
        for (const char h : hex) check((h >= '0' && h <= '9') || (h >= 'a' && h <= 'f'));
        std::uint32_t value = 0;
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
        check(ec == std::errc{} && end == hex.data() + hex.size() && value <= 0x10FFFF);
        const auto c32 = static_cast<char32_t>(value);
        check(c32 != 0 && c32 != '\t' && c32 != '\r' && c32 != '\n');
        check(pipwerk::python::needs_unicode_escape(c32));
        append_utf8(out, c32);
        q.remove_prefix(close + 1);
    }
    return out;
}

void check_quoted(std::string_view input) {
    std::string quoted = "prefix:";
    pipwerk::python::append_quoted(quoted, input);
    check(quoted.starts_with("prefix:"));  // appends, never replaces
    const std::string_view q = std::string_view(quoted).substr(7);
    check(well_formed(q));
    const std::string back = unquote(q);
    if (well_formed(input)) check(back == input);
}

// The list form of one double, derived from the shortest scientific digits.
std::string expected_float(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    const std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));  // "-1.2345e+20"
    const bool negative = sci.front() == '-';
    const std::string_view body = sci.substr(negative ? 1 : 0);
    const std::size_t e = body.find('e');
    std::string digits;
    for (const char c : body.substr(0, e)) {
        if (c != '.') digits += c;
    }
    const int exponent = std::stoi(std::string(body.substr(e + 1)));
    std::string out = negative ? "-" : "";
    const double magnitude = std::fabs(x);
    if (magnitude >= 1e16 || (magnitude > 0 && magnitude < 1e-4)) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) out += "." + digits.substr(1);
        return out + "e" + std::to_string(exponent);
    }
    if (magnitude == 0) return out + "0.0";
    // Plain decimal with at least one digit after the point.
    if (exponent < 0) return out + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    const auto int_digits = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= int_digits) return out + digits + std::string(int_digits - digits.size(), '0') + ".0";
    return out + digits.substr(0, int_digits) + "." + digits.substr(int_digits);
}

void check_float(double x) {
    std::string text = "[";
    pipwerk::python::append_float(text, x);
    check(text.substr(1) == expected_float(x));
    if (!std::isnan(x)) {
        double back = 0;
        const char* first = text.data() + 1;
        const auto [end, ec] = std::from_chars(first, text.data() + text.size(), back);
        check(ec == std::errc{} && end == text.data() + text.size() && back == x &&
              std::signbit(back) == std::signbit(x));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check_quoted(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        double x = 0;
        std::memcpy(&x, data + i, 8);
        check_float(x);
    }
    // The list form joins the values with ", ".
    if (size >= 16) {
        double pair[2];
        std::memcpy(pair, data, 16);
        std::string list;
        pipwerk::python::append_float_list(list, pair);
        check(list == "[" + expected_float(pair[0]) + ", " + expected_float(pair[1]) + "]");
    }
    return 0;
}
