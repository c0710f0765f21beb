#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pipwerk {

// The language's numeric value: a whole number, a real, or a percentage that
// holds its written value divided by 100 ("50%" holds 0.5).
class Number {
public:
    enum class Kind : std::uint8_t { Int, Real, Percent };

    [[nodiscard]] static constexpr Number make_int(std::int64_t v) noexcept { return Number(v); }
    [[nodiscard]] static constexpr Number make_real(double v) noexcept { return Number(Kind::Real, v); }
    [[nodiscard]] static constexpr Number make_percent(double fraction) noexcept {
        return Number(Kind::Percent, fraction);
    }

    // Reads a literal ("42", " 2.5 ", "50%", "inf"); nothing for any other text.
    [[nodiscard]] static std::optional<Number> parse(std::string_view text) noexcept;

    [[nodiscard]] constexpr Kind kind() const noexcept { return kind_; }
    [[nodiscard]] constexpr bool is_int() const noexcept { return kind_ == Kind::Int; }
    // The payload of an Int; only meaningful when is_int().
    [[nodiscard]] constexpr std::int64_t int_value() const noexcept { return is_int() ? int_ : 0; }
    // The stored double of a Real or Percent (a Percent's fraction); an Int converted.
    [[nodiscard]] constexpr double to_double() const noexcept {
        return is_int() ? static_cast<double>(int_) : real_;
    }

    // The whole number used for counts and thresholds: an Int unchanged, a
    // double truncated toward zero, saturating at the 64-bit range, NaN as 0.
    [[nodiscard]] std::int64_t integer_view() const noexcept;

    // Display: the plain printed form ("3", "2.5", "0.5" for 50%, "inf", "NaN").
    void append_display(std::string& out) const;
    [[nodiscard]] std::string display() const;

    // The echo form used in detail texts; differs from Display only for
    // percentages, which print their written value and "%" ("50%").
    void append_display_string(std::string& out) const;
    [[nodiscard]] std::string to_display_string() const;

    friend constexpr bool operator==(const Number& a, const Number& b) noexcept {
        if (a.kind_ != b.kind_) return false;
        return a.is_int() ? a.int_ == b.int_ : a.real_ == b.real_;
    }

private:
    constexpr explicit Number(std::int64_t v) noexcept : kind_(Kind::Int), int_(v) {}
    constexpr Number(Kind kind, double v) noexcept : kind_(kind), real_(v) {}

    Kind kind_;
    union {
        std::int64_t int_;
        double real_;
    };
};

}  // namespace pipwerk
