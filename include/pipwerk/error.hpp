#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace pipwerk {

enum class ErrorKind : std::uint8_t {
    DiceCountExceedsMax,
    DiceFaceExceedsMax,
    RepeatCountExceedsMax,
    NonPositive,
    DivisionByZero,
    Parse,
};

// The closed list of texts a Parse error can carry.
enum class ParseMessage : std::uint8_t {
    ExpectedConstExpression,      // "expected const expression"
    ExpectedPipwerkOperand,       // "expected at least one pipwerk operand"
    ExpectedPipwerkExpression,    // "expected pipwerk expression"
    UnexpectedPipwerkLevel,       // "unexpected pipwerk level"
    UnexpectedPipwerkInRand,      // "unexpected pipwerk in rand expression"
    ExpectedRandExpression,       // "expected rand expression"
    ExpectedSet,                  // "expected set"
};

// The engine's one error: a kind and its payload, rendered on demand.
class PipwerkError {
public:
    [[nodiscard]] static PipwerkError dice_count_exceeds_max(std::int64_t value, std::int64_t max) noexcept;
    [[nodiscard]] static PipwerkError dice_face_exceeds_max(std::int64_t value, std::int64_t max) noexcept;
    [[nodiscard]] static PipwerkError repeat_count_exceeds_max(std::int64_t value, std::int64_t max) noexcept;
    [[nodiscard]] static PipwerkError non_positive() noexcept;
    [[nodiscard]] static PipwerkError division_by_zero() noexcept;
    [[nodiscard]] static PipwerkError parse(ParseMessage message) noexcept;

    [[nodiscard]] ErrorKind kind() const noexcept { return kind_; }
    [[nodiscard]] std::int64_t value() const noexcept { return value_; }
    [[nodiscard]] std::int64_t max() const noexcept { return max_; }
    [[nodiscard]] ParseMessage parse_message() const noexcept { return parse_message_; }

    // The message text, e.g. "dice count exceeds maximum (60), max is 50".
    [[nodiscard]] std::string message() const;

    friend bool operator==(const PipwerkError&, const PipwerkError&) = default;

private:
    PipwerkError(ErrorKind kind, std::int64_t value, std::int64_t max, ParseMessage parse_message) noexcept
        : kind_(kind), parse_message_(parse_message), value_(value), max_(max) {}

    ErrorKind kind_;
    ParseMessage parse_message_;
    std::int64_t value_;
    std::int64_t max_;
};

using Error = PipwerkError;

// Every fallible engine operation returns its value or the error.
template <class T>
using Result = std::expected<T, PipwerkError>;

}  // namespace pipwerk
