#include "number.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <limits>

#include "shortest.hpp"
#include "pipwerk/text.hpp"

namespace pipwerk {
namespace {

constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

constexpr char lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view text, std::string_view word) noexcept {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != word[i]) return false;
    }
    return true;
}

// An optional sign and one or more ASCII digits that fit in 64 bits.
std::optional<std::int64_t> read_integer(std::string_view text) noexcept {
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    for (const char c : digits) {
        if (!is_digit(c)) return std::nullopt;
    }
    // from_chars takes a '-' but not a '+'; reading the '-' with the digits
    // keeps the most negative value in range.
    const std::string_view signed_text = text.front() == '+' ? digits : text;
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(signed_text.data(), signed_text.data() + signed_text.size(), value);
    if (ec != std::errc() || ptr != signed_text.data() + signed_text.size()) return std::nullopt;
    return value;
}

// The unsigned part of a decimal real: digits with at most one point and at
// least one digit, then an optional exponent. Returns whether the magnitude is
// at least one (used to tell overflow from underflow); nullopt if malformed.
std::optional<bool> check_decimal(std::string_view text) noexcept {
    std::size_t i = 0;
    const std::size_t n = text.size();
    bool seen_point = false;
    std::size_t digit_count = 0;
    // Decimal exponent of the leading nonzero digit, relative to the point.
    std::int64_t lead = 0;
    bool seen_nonzero = false;
    std::int64_t integer_digits = 0;
    std::int64_t fraction_zeros = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (is_digit(c)) {
            ++digit_count;
            if (!seen_nonzero) {
                if (c != '0') {
                    seen_nonzero = true;
                    lead = seen_point ? -fraction_zeros - 1 : 0;
                } else if (seen_point) {
                    ++fraction_zeros;
                }
            }
            if (seen_nonzero && !seen_point) ++integer_digits;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
    }
    if (digit_count == 0) return std::nullopt;
    if (seen_nonzero && integer_digits > 0) lead = integer_digits - 1;

    std::int64_t exponent = 0;
    if (i < n) {
        if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
        ++i;
        bool negative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negative = text[i] == '-';
            ++i;
        }
        if (i == n) return std::nullopt;
        constexpr std::int64_t kCap = std::int64_t{1} << 40;  // far beyond any double
        for (; i < n; ++i) {
            if (!is_digit(text[i])) return std::nullopt;
            if (exponent < kCap) exponent = exponent * 10 + (text[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    return seen_nonzero && lead + exponent >= 0;
}

// Decimal real syntax: an optional sign, then a decimal number or one of the
// words inf, infinity, nan in any case. Correctly rounded; out-of-range
// magnitudes go to infinity or zero.
std::optional<double> read_real(std::string_view text) noexcept {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    double value = 0.0;
    if (equals_ignoring_case(text, "inf") || equals_ignoring_case(text, "infinity")) {
        value = std::numeric_limits<double>::infinity();
    } else if (equals_ignoring_case(text, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
    } else {
        const auto at_least_one = check_decimal(text);
        if (!at_least_one) return std::nullopt;
#if defined(__cpp_lib_to_chars)
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc::result_out_of_range) {
            // from_chars leaves the value untouched here; the syntax check knows the side.
            value = *at_least_one ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (ec != std::errc() || ptr != text.data() + text.size()) {
            return std::nullopt;
        }
#else
        // libc++ 19 (the WebAssembly build) has no from_chars for double. The C
        // library's strtod reads the decimal syntax checked above, correctly
        // rounded in the C locale, and gives infinity or the rounded zero or
        // subnormal out of range, as the branch above does.
        const std::string terminated(text);
        char* end = nullptr;
        value = std::strtod(terminated.c_str(), &end);
        if (end != terminated.c_str() + terminated.size()) return std::nullopt;
#endif
    }
    return negative ? -value : value;
}

char* write_text(char* out, std::string_view text) noexcept {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* write_int(char* out, std::int64_t v) noexcept {
    return std::to_chars(out, out + Number::kMaxIntLength, v).ptr;
}

// The Real form of Display: small whole values as integers, the specials by
// name, anything else as its shortest digits in positional notation.
char* write_real(char* out, double x) noexcept {
    if (std::isnan(x)) return write_text(out, "NaN");
    if (std::isinf(x)) return write_text(out, x < 0 ? "-inf" : "inf");
    // Whole below 1e15: the cast is exact there, so it gives x back just when x is whole.
    if (std::fabs(x) < 1e15) {
        if (const auto whole = static_cast<std::int64_t>(x); static_cast<double>(whole) == x) return write_int(out, whole);
    }
    // A short decimal: its whole part, the point and exactly its decimals
    // (the last of them is not 0), straight from its units.
    if (ShortDecimal sd{}; short_decimal(std::fabs(x), sd)) {
        static constexpr std::uint64_t kScales[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
        if (std::signbit(x)) *out++ = '-';
        static_assert(std::size(kScales) == ShortDecimal::kMaxDecimals + 1);
        const std::uint64_t scale = kScales[sd.decimals];
        out = std::to_chars(out, out + Number::kMaxIntLength, sd.units / scale).ptr;
        if (sd.decimals == 0) return out;
        *out++ = '.';
        std::uint64_t fraction = sd.units % scale;
        for (int i = sd.decimals; i-- > 0; fraction /= 10) out[i] = static_cast<char>('0' + fraction % 10);
        return out + sd.decimals;
    }
    const ShortestDigits d = shortest_digits(x);
    if (d.negative) *out++ = '-';
    const std::string_view digits(d.digits, static_cast<std::size_t>(d.count));
    if (d.point <= 0) {
        out = write_text(out, "0.");
        out = std::fill_n(out, -d.point, '0');
        return write_text(out, digits);
    }
    if (d.point >= d.count) {
        out = write_text(out, digits);
        return std::fill_n(out, d.point - d.count, '0');
    }
    const auto whole = static_cast<std::size_t>(d.point);
    out = write_text(out, digits.substr(0, whole));
    *out++ = '.';
    return write_text(out, digits.substr(whole));
}

}  // namespace

std::optional<Number> Number::parse_text(std::string_view text) noexcept {
    const std::string_view trimmed = trim_whitespace(text);
    if (trimmed.empty()) return std::nullopt;
    if (trimmed.back() == '%') {
        const auto value = read_real(trimmed.substr(0, trimmed.size() - 1));
        if (!value) return std::nullopt;
        return make_percent(*value / 100.0);
    }
    if (const auto i = read_integer(trimmed)) return make_int(*i);
    if (const auto r = read_real(trimmed)) return make_real(*r);
    return std::nullopt;
}

std::int64_t Number::real_integer_view(double x) noexcept {
    // 2^63 is exact as a double; compare before casting so no cast overflows.
    constexpr double kTwo63 = 9223372036854775808.0;
    if (std::isnan(x)) return 0;
    if (x >= kTwo63) return std::numeric_limits<std::int64_t>::max();
    if (x <= -kTwo63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(x);
}

char* Number::write_display(char* out) const noexcept {
    return is_int() ? write_int(out, payload_int()) : write_real(out, payload_real());
}

char* Number::write_display_string(char* out) const noexcept {
    switch (kind()) {
        case Kind::Int: return write_int(out, payload_int());
        case Kind::Real: return write_real(out, payload_real());
        case Kind::Percent: break;
    }
    out = write_real(out, payload_real() * 100.0);
    *out++ = '%';
    return out;
}

void Number::append_display(std::string& out) const {
    char buffer[kMaxTextLength];
    out.append(buffer, write_display(buffer));
}

std::string Number::display() const {
    std::string out;
    append_display(out);
    return out;
}

void Number::append_display_string(std::string& out) const {
    char buffer[kMaxTextLength];
    out.append(buffer, write_display_string(buffer));
}

std::string Number::to_display_string() const {
    std::string out;
    append_display_string(out);
    return out;
}

}  // namespace pipwerk
