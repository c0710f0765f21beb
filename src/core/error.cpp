#include "pipwerk/error.hpp"

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace pipwerk {
namespace {

void append_int(std::string& out, std::int64_t v) {
    char buf[24];  // 19 digits and a sign
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    static_cast<void>(ec);  // cannot fail: the buffer holds every 64-bit value
    out.append(buf, end);
}

// "<what> exceeds maximum (<value>), max is <max>"
std::string exceeds_max(std::string_view what, std::int64_t value, std::int64_t max) {
    std::string out;
    out.reserve(what.size() + 64);
    out.append(what);
    out.append(" exceeds maximum (");
    append_int(out, value);
    out.append("), max is ");
    append_int(out, max);
    return out;
}

std::string_view parse_text(ParseMessage message) noexcept {
    switch (message) {
        case ParseMessage::ExpectedConstExpression: return "expected const expression";
        case ParseMessage::ExpectedPipwerkOperand: return "expected at least one pipwerk operand";
        case ParseMessage::ExpectedPipwerkExpression: return "expected pipwerk expression";
        case ParseMessage::UnexpectedPipwerkLevel: return "unexpected pipwerk level";
        case ParseMessage::UnexpectedPipwerkInRand: return "unexpected pipwerk in rand expression";
        case ParseMessage::ExpectedRandExpression: return "expected rand expression";
        case ParseMessage::ExpectedSet: return "expected set";
    }
    return "";
}

}  // namespace

PipwerkError PipwerkError::dice_count_exceeds_max(std::int64_t value, std::int64_t max) noexcept {
    return {ErrorKind::DiceCountExceedsMax, value, max, ParseMessage{}};
}

PipwerkError PipwerkError::dice_face_exceeds_max(std::int64_t value, std::int64_t max) noexcept {
    return {ErrorKind::DiceFaceExceedsMax, value, max, ParseMessage{}};
}

PipwerkError PipwerkError::repeat_count_exceeds_max(std::int64_t value, std::int64_t max) noexcept {
    return {ErrorKind::RepeatCountExceedsMax, value, max, ParseMessage{}};
}

PipwerkError PipwerkError::non_positive() noexcept { return {ErrorKind::NonPositive, 0, 0, ParseMessage{}}; }

PipwerkError PipwerkError::division_by_zero() noexcept {
    return {ErrorKind::DivisionByZero, 0, 0, ParseMessage{}};
}

PipwerkError PipwerkError::parse(ParseMessage message) noexcept { return {ErrorKind::Parse, 0, 0, message}; }

std::string PipwerkError::message() const {
    switch (kind_) {
        case ErrorKind::DiceCountExceedsMax: return exceeds_max("dice count", value_, max_);
        case ErrorKind::DiceFaceExceedsMax: return exceeds_max("dice face", value_, max_);
        case ErrorKind::RepeatCountExceedsMax: return exceeds_max("repeat count", value_, max_);
        case ErrorKind::NonPositive: return "dice count, face, or repeat must be a positive integer";
        case ErrorKind::DivisionByZero: return "division by zero";
        case ErrorKind::Parse: {
            std::string out = "parse error: ";
            out.append(parse_text(parse_message_));
            return out;
        }
    }
    return {};
}

}  // namespace pipwerk
