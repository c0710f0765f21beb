// roll and parse for JavaScript.
#include <string>

#include "exchange.hpp"
#include "pipwerk/pipwerk.hpp"

using namespace pipwerk;
using namespace pipwerk::wasm;

namespace {

// The last roll: its texts stay in place until the next one, which reuses the room.
RollBuffer last_roll;

void set_consumed_and_tail(std::string_view consumed, std::string_view tail) noexcept {
    set_span(kConsumedPtr, kConsumedLen, consumed);
    set_span(kTailPtr, kTailLen, tail);
}

}  // namespace

// The roll of the first `length` bytes of the input, seeded with `seed` (the
// package draws a seed for an unseeded call). kOk: the exchange holds the
// record's parts; kEngineError: the text is the message.
PIPWERK_EXPORT("pw_roll") std::int32_t pw_roll(std::uint32_t length, std::uint32_t seed_low, std::uint32_t seed_high,
                                               std::int32_t show_detail) {
    const RollOptions options{.seed = seed_of(seed_low, seed_high), .show_detail = show_detail != 0};
    const Result<RollView> roll = last_roll.roll(input(length), options);
    if (!roll) return fail(kEngineError, roll.error().message());
    Exchange& out = exchange();
    set_consumed_and_tail(roll->consumed, roll->tail);
    set_text(roll->text);
    out.words[kDetailLen] = static_cast<std::uint32_t>(roll->detail_size);
    out.words[kSummaryStart] = static_cast<std::uint32_t>(roll->summary_start);
    out.words[kFullStart] = static_cast<std::uint32_t>(roll->full_start);
    out.words[kFlags] = roll->is_set ? kIsSet : 0u;
    set_doubles(roll->values.data(), roll->values.size());
    return kOk;
}

// How much of the input parses: consumed and tail, and kParsed when it did.
PIPWERK_EXPORT("pw_parse") std::int32_t pw_parse(std::uint32_t length) {
    const ParseOutput outcome = parse(input(length));
    set_consumed_and_tail(outcome.consumed, outcome.tail);
    exchange().words[kFlags] = outcome.success ? kParsed : 0u;
    return kOk;
}
