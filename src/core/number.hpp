#pragma once

#include <bit>
#include <cstddef>
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

    [[nodiscard]] constexpr Kind kind() const noexcept { return static_cast<Kind>(kind_); }
    [[nodiscard]] constexpr bool is_int() const noexcept { return kind() == Kind::Int; }
    // The payload of an Int; only meaningful when is_int().
    [[nodiscard]] constexpr std::int64_t int_value() const noexcept { return is_int() ? payload_int() : 0; }
    // The stored double of a Real or Percent (a Percent's fraction); an Int converted.
    [[nodiscard]] constexpr double to_double() const noexcept {
        return is_int() ? static_cast<double>(payload_int()) : payload_real();
    }

    // The whole number used for counts and thresholds: an Int unchanged, a
    // double truncated toward zero, saturating at the 64-bit range, NaN as 0.
    [[nodiscard]] std::int64_t integer_view() const noexcept {
        return is_int() ? payload_int() : real_integer_view(payload_real());
    }

    // The longest text either printed form can take: a tiny real written out
    // in full ("-0.000...", 343 characters) or a percentage of one.
    static constexpr std::size_t kMaxTextLength = 352;

    // The longest text of an Int in either form: "-9223372036854775808".
    static constexpr std::size_t kMaxIntLength = 20;

    // Display into a caller's buffer of kMaxTextLength bytes (kMaxIntLength
    // for an Int); returns the end.
    char* write_display(char* out) const noexcept;
    // The echo form likewise.
    char* write_display_string(char* out) const noexcept;

    // Display: the plain printed form ("3", "2.5", "0.5" for 50%, "inf", "NaN").
    void append_display(std::string& out) const;
    [[nodiscard]] std::string display() const;

    // The echo form used in detail texts; differs from Display only for
    // percentages, which print their written value and "%" ("50%").
    void append_display_string(std::string& out) const;
    [[nodiscard]] std::string to_display_string() const;

    friend constexpr bool operator==(const Number& a, const Number& b) noexcept {
        if (a.kind() != b.kind()) return false;
        return a.is_int() ? a.payload_int() == b.payload_int() : a.payload_real() == b.payload_real();
    }

private:
    // integer_view of a double.
    [[nodiscard]] static std::int64_t real_integer_view(double x) noexcept;
    // Number::parse for every text but plain short digits.
    [[nodiscard]] static std::optional<Number> parse_text(std::string_view text) noexcept;

    constexpr explicit Number(std::int64_t v) noexcept
        : kind_(static_cast<std::uint64_t>(Kind::Int)), payload_(static_cast<std::uint64_t>(v)) {}
    constexpr Number(Kind kind, double v) noexcept
        : kind_(static_cast<std::uint64_t>(kind)), payload_(std::bit_cast<std::uint64_t>(v)) {}

    [[nodiscard]] constexpr std::int64_t payload_int() const noexcept { return static_cast<std::int64_t>(payload_); }
    [[nodiscard]] constexpr double payload_real() const noexcept { return std::bit_cast<double>(payload_); }

    // The kind takes a whole word: a Number is then written as two full words
    // and read back the same way. A word-wide read of a freshly written byte
    // cannot be forwarded from the store buffer and stalls for many cycles.
    std::uint64_t kind_;
    std::uint64_t payload_;  // an Int's value or a double's bits
};

inline std::optional<Number> Number::parse(std::string_view text) noexcept {
    // The usual literal is a few plain digits: 18 of them cannot overflow, and
    // the general reading gives the same Int for them.
    if (!text.empty() && text.size() <= 18) {
        std::int64_t value = 0;
        std::size_t i = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
        if (i == text.size()) return make_int(value);
    }
    return parse_text(text);
}

}  // namespace pipwerk
