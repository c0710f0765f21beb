#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "pipwerk/error.hpp"

namespace {

using pipwerk::ErrorKind;
using pipwerk::ParseMessage;
using pipwerk::PipwerkError;

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(ErrorTest, MessagesAreExact) {
    struct Case {
        PipwerkError error;
        std::string message;
    };
    const std::vector<Case> cases = {
        {PipwerkError::dice_count_exceeds_max(60, 50), "dice count exceeds maximum (60), max is 50"},
        {PipwerkError::dice_face_exceeds_max(1001, 1000), "dice face exceeds maximum (1001), max is 1000"},
        {PipwerkError::repeat_count_exceeds_max(11, 10), "repeat count exceeds maximum (11), max is 10"},
        {PipwerkError::dice_count_exceeds_max(-7, 0), "dice count exceeds maximum (-7), max is 0"},
        {PipwerkError::dice_face_exceeds_max(kMax, kMin),
         "dice face exceeds maximum (9223372036854775807), max is -9223372036854775808"},
        {PipwerkError::non_positive(), "dice count, face, or repeat must be a positive integer"},
        {PipwerkError::division_by_zero(), "division by zero"},
        {PipwerkError::parse(ParseMessage::ExpectedConstExpression), "parse error: expected const expression"},
        {PipwerkError::parse(ParseMessage::ExpectedPipwerkOperand),
         "parse error: expected at least one pipwerk operand"},
        {PipwerkError::parse(ParseMessage::ExpectedPipwerkExpression), "parse error: expected pipwerk expression"},
        {PipwerkError::parse(ParseMessage::UnexpectedPipwerkLevel), "parse error: unexpected pipwerk level"},
        {PipwerkError::parse(ParseMessage::UnexpectedPipwerkInRand),
         "parse error: unexpected pipwerk in rand expression"},
        {PipwerkError::parse(ParseMessage::ExpectedRandExpression), "parse error: expected rand expression"},
        {PipwerkError::parse(ParseMessage::ExpectedSet), "parse error: expected set"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.message(), c.message);
}

TEST(ErrorTest, PayloadIsKeptAndCompared) {
    const auto e = PipwerkError::repeat_count_exceeds_max(11, 10);
    EXPECT_EQ(e.kind(), ErrorKind::RepeatCountExceedsMax);
    EXPECT_EQ(e.value(), 11);
    EXPECT_EQ(e.max(), 10);
    EXPECT_EQ(PipwerkError::parse(ParseMessage::ExpectedSet).parse_message(), ParseMessage::ExpectedSet);

    EXPECT_EQ(e, PipwerkError::repeat_count_exceeds_max(11, 10));
    EXPECT_NE(e, PipwerkError::repeat_count_exceeds_max(12, 10));
    EXPECT_NE(e, PipwerkError::dice_count_exceeds_max(11, 10));
    EXPECT_NE(PipwerkError::parse(ParseMessage::ExpectedSet), PipwerkError::parse(ParseMessage::ExpectedRandExpression));
}

}  // namespace
