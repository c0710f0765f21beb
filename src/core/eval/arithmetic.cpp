#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "detail_layout.hpp"
#include "eval.hpp"

namespace pipwerk {
namespace {

// Signed overflow is undefined, unsigned wraps: do + - * in uint64_t and
// read the bits back (well defined since C++20).
constexpr std::int64_t wrap(std::uint64_t bits) noexcept { return static_cast<std::int64_t>(bits); }
constexpr std::uint64_t bits_of(std::int64_t v) noexcept { return static_cast<std::uint64_t>(v); }

// The value of left op right, or nothing for a zero divisor.
std::optional<Number> int_binop(BinaryOp op, std::int64_t a, std::int64_t b) noexcept {
    switch (op) {
        case BinaryOp::Add: return Number::make_int(wrap(bits_of(a) + bits_of(b)));
        case BinaryOp::Sub: return Number::make_int(wrap(bits_of(a) - bits_of(b)));
        case BinaryOp::Mul: return Number::make_int(wrap(bits_of(a) * bits_of(b)));
        case BinaryOp::Div: break;
    }
    if (b == 0) return std::nullopt;
    // The one quotient that leaves the Int range (and whose remainder is
    // undefined in C++): give the true value, 2^63, as a real.
    if (a == std::numeric_limits<std::int64_t>::min() && b == -1) {
        return Number::make_real(9223372036854775808.0);
    }
    if (a % b == 0) return Number::make_int(a / b);
    return Number::make_real(static_cast<double>(a) / static_cast<double>(b));
}

std::optional<Number> real_binop(BinaryOp op, double a, double b) noexcept {
    switch (op) {
        case BinaryOp::Add: return Number::make_real(a + b);
        case BinaryOp::Sub: return Number::make_real(a - b);
        case BinaryOp::Mul: return Number::make_real(a * b);
        case BinaryOp::Div: break;
    }
    // -0.0 compares equal to zero too; a NaN divisor is not zero.
    if (b == 0.0) return std::nullopt;
    return Number::make_real(a / b);
}

std::optional<Number> binop(BinaryOp op, Number left, Number right) noexcept {
    if (left.is_int() && right.is_int()) return int_binop(op, left.int_value(), right.int_value());
    return real_binop(op, left.to_double(), right.to_double());
}

}  // namespace

Result<Number> apply_binop(BinaryOp op, Number left, Number right) noexcept {
    if (const std::optional<Number> value = binop(op, left, right)) return *value;
    return std::unexpected(PipwerkError::division_by_zero());
}

Number negate(Number value) noexcept {
    switch (value.kind()) {
        case Number::Kind::Int: return Number::make_int(wrap(std::uint64_t{0} - bits_of(value.int_value())));
        case Number::Kind::Real: return Number::make_real(-value.to_double());
        case Number::Kind::Percent: return Number::make_percent(-value.to_double());
    }
    return value;
}

// Without the error: a set's elements are many, and most are not divided by zero.
Number apply_binop_or_zero(BinaryOp op, Number left, Number right) noexcept {
    return binop(op, left, right).value_or(Number::make_int(0));
}

std::string format_binop_detail(BinaryOp op, std::string_view left, std::string_view right) {
    std::string out;
    if (left.empty() && right.empty()) return out;
    out.reserve(left.size() + 3 + right.size());
    detail::Pieces<std::string> pieces(out);
    pieces.add(left);
    pieces.add(detail::symbol_of(op));
    pieces.add(right);
    return out;
}

}  // namespace pipwerk
