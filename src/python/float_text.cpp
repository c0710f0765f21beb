#include "float_text.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

#include "pipwerk/text.hpp"

namespace pipwerk::python {
namespace {

// Magnitudes from kExponentAbove up, and non-zero ones below kExponentBelow,
// are written with an exponent.
constexpr double kExponentAbove = 1e16;
constexpr double kExponentBelow = 1e-4;

void append_int(std::string& out, int value) {
    char buffer[16];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, written.ptr);
}

// d.ddd e E, with the point only when there is more than one digit.
void append_exponent_form(std::string& out, const ShortestDigits& shortest) {
    out += shortest.digits[0];
    if (shortest.count > 1) {
        out += '.';
        out.append(shortest.digits + 1, static_cast<std::size_t>(shortest.count - 1));
    }
    out += 'e';
    append_int(out, shortest.point - 1);
}

// Positional notation with at least one digit after the point.
void append_plain_form(std::string& out, const ShortestDigits& shortest) {
    const std::string_view digits(shortest.digits, static_cast<std::size_t>(shortest.count));
    const int point = shortest.point;
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else if (point < shortest.count) {
        const auto whole = static_cast<std::size_t>(point);
        out += digits.substr(0, whole);
        out += '.';
        out += digits.substr(whole);
    } else {
        out += digits;
        out.append(static_cast<std::size_t>(point - shortest.count), '0');
        out += ".0";
    }
}

}  // namespace

void append_float(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::signbit(value)) out += '-';
    const double magnitude = std::fabs(value);
    if (std::isinf(magnitude)) {
        out += "inf";
    } else if (magnitude == 0.0) {
        out += "0.0";
    } else if (magnitude >= kExponentAbove || magnitude < kExponentBelow) {
        append_exponent_form(out, shortest_digits(magnitude));
    } else {
        append_plain_form(out, shortest_digits(magnitude));
    }
}

void append_float_list(std::string& out, std::span<const double> values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) out += ", ";
        append_float(out, values[i]);
    }
    out += ']';
}

}  // namespace pipwerk::python
