// roll and parse for JavaScript.
#include <string>

#include "exchange.hpp"
#include "parser/parser.hpp"
#include "roll_record.hpp"

using namespace pipwerk;
using namespace pipwerk::wasm;

namespace {

// The last roll: its texts stay in place until the next one, which reuses it.
RollRecord last_roll;

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
    RollRecord& record = last_roll;
    record.clear();
    if (const Result<void> done = roll_into(input(length), options, record); !done) {
        return fail(kEngineError, done.error().message());
    }
    Exchange& out = exchange();
    set_consumed_and_tail(record.consumed, record.tail);
    set_text(record.text.view());
    out.words[kDetailLen] = static_cast<std::uint32_t>(record.detail_size);
    out.words[kSummaryStart] = static_cast<std::uint32_t>(record.summary_start());
    out.words[kFlags] = (record.is_set ? kIsSet : 0u) | (record.full_has_detail ? kFullHasDetail : 0u);
    set_doubles(record.values.data(), record.values.size());
    return kOk;
}

// How much of the input parses: consumed and tail, and kParsed when it did.
PIPWERK_EXPORT("pw_parse") std::int32_t pw_parse(std::uint32_t length) {
    const ParseOutcome outcome = Parser::parse(input(length));
    set_consumed_and_tail(outcome.consumed, outcome.tail);
    exchange().words[kFlags] = outcome.success() ? kParsed : 0u;
    return kOk;
}
