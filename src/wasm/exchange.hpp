#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The C ABI between the engine and the JavaScript package (js/). Every call
// takes its UTF-8 input from one buffer (pw_input) and leaves what it gives
// back in one record at a fixed address (pw_exchange), which the package reads
// through typed-array views: numbers and addresses in, no strings or objects
// cross the boundary. Texts are (address, byte length) pairs into memory the
// binding keeps until the next call of the same kind.

#define PIPWERK_EXPORT(name) extern "C" [[clang::export_name(name)]]

namespace pipwerk::wasm {

// The constants below are the ABI: js/scripts/build.mjs writes them into
// js/src/exchange.js from this file, so each enum is a plain list of names,
// each given or one more than the one before.

// Positions in Exchange::words.
enum Word : std::uint32_t {
    kConsumedPtr,
    kConsumedLen,
    kTailPtr,
    kTailLen,
    kTextPtr,      // a roll's text (RollView::text) or an error's message
    kTextLen,
    kDetailLen,    // a roll's slices of its text: RollView's offsets
    kSummaryStart,
    kFullStart,
    kFlags,        // kParsed | kIsSet
    kValuesPtr,    // doubles: a roll's values, a sample's rows, an element's (value, probability) pairs
    kValuesLen,    // in doubles
    kElements,     // odds: distributions, one per element
    kErrors,       // odds: error rows
    kWordCount
};

enum Flag : std::uint32_t { kParsed = 1, kIsSet = 2 };

// What a call returns: 0 done, else what failed (the message is the text).
enum Status : std::int32_t { kOk = 0, kEngineError = 1, kOddsTooLarge = 2 };

// Room for 16 words, then 8 doubles from byte 64.
enum Layout : std::uint32_t { kWordRoom = 16, kNumberCount = 8, kNumbersAt = 64 };

// The texts pw_message gives: what the package's Odds say when asked for
// what they do not hold, the same words as Python's.
enum Message : std::uint32_t { kSetOdds, kNothingParsed, kNoOutcome };

struct Exchange {
    std::uint32_t words[kWordRoom];
    double numbers[kNumberCount];
};
static_assert(kWordCount <= kWordRoom && offsetof(Exchange, numbers) == kNumbersAt);

Exchange& exchange() noexcept;

// The expression of the current call: the first `length` bytes of pw_input's buffer.
std::string_view input(std::uint32_t length) noexcept;

void set_text(std::string_view text) noexcept;
// A failed call: keeps `message` as the text (until the next failure) and
// returns `status`, which the package turns into the matching error.
std::int32_t fail(Status status, std::string message) noexcept;
void set_span(Word pointer, Word length, std::string_view text) noexcept;
void set_doubles(const double* data, std::size_t count) noexcept;

// Seeds cross as two 32-bit halves: JavaScript numbers, no BigInt on the hot path.
constexpr std::uint64_t seed_of(std::uint32_t low, std::uint32_t high) noexcept {
    return (std::uint64_t{high} << 32) | low;
}

template <class Pointer>
std::uint32_t address(Pointer* p) noexcept {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace pipwerk::wasm
