// libFuzzer target: arbitrary bytes through the parser and the whole roll.
//
// Every input is parsed with Parser::parse and rolled with pipwerk::roll
// (seeded from a hash of the input, with and without details, and once from
// the clock). The properties below hold for every text the engine can be
// given; a violation traps, so libFuzzer keeps the input as a crash.
//
//  - consumed is a prefix of the input and tail a suffix; what lies between
//    them is Unicode White_Space only; consumed holds only tokens and spaces
//    and never ends in whitespace.
//  - A parse without a tree consumes nothing; a parse with one consumes
//    something, and parsing the consumed text again takes all of it.
//  - roll agrees with the parser on consumed and tail; without a tree it
//    returns the empty result and never fails.
//  - full is detail " = " summary when there is a detail (always for a set),
//    the summary alone otherwise; with show_detail off detail is empty and
//    full is the summary.
//  - values has one entry per set element (counted in the summary) or one
//    for a scalar, and each summary number reads back as its entry.
//  - The same seed gives the same output, and nothing but detail and full
//    depends on show_detail; rolling the consumed text alone gives the same
//    result as rolling the whole input.
//  - A scalar has a detail exactly when the consumed text holds a dice term;
//    the result is a set exactly when it holds a repeat or a set.
//  - Errors carry one of the engine's fixed messages, with numbers in range.
//  - roll, with and without the detail, and evaluate with each element's
//    own text give exactly what the plain reference evaluator of
//    tests/reference gives for the same tree and seed.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reference_evaluator.hpp"
#include "strict_utf8.hpp"

#include "eval_value.hpp"
#include "parser/parser.hpp"
#include "pipwerk/pipwerk.hpp"
#include "rng.hpp"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// ---- Unicode White_Space, decoded independently of the engine ----

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

using fuzz::decode_one;

bool all_white_space(std::string_view s) {
    while (!s.empty()) {
        const auto cp = decode_one(s);
        if (!cp || !is_white_space(cp->first)) return false;
        s.remove_prefix(cp->second);
    }
    return true;
}

// Whether the text ends with the complete encoding of a White_Space character.
bool ends_in_white_space(std::string_view s) {
    for (std::size_t len = 1; len <= 3 && len <= s.size(); ++len) {
        const auto cp = decode_one(s.substr(s.size() - len));
        if (cp && cp->second == len && is_white_space(cp->first)) return true;
    }
    return false;
}

// ---- the split into consumed, whitespace and tail ----

void check_split(std::string_view input, std::string_view consumed, std::string_view tail) {
    // consumed is made of whole tokens and the spaces between them.
    check(consumed.find_first_not_of("0123456789.%dDkKlLbB<>=!+-*/(){},# ") == std::string_view::npos);
    check(consumed.size() + tail.size() <= input.size());
    check(input.starts_with(consumed));
    check(input.ends_with(tail));
    check(all_white_space(input.substr(consumed.size(), input.size() - consumed.size() - tail.size())));
    check(!ends_in_white_space(consumed));
}

// ---- error messages ----

// A plain decimal integer (optional "-", no leading zeros) within [lo, hi].
bool plain_integer_in(std::string_view text, std::int64_t lo, std::int64_t hi) {
    if (text.empty()) return false;
    const std::string_view digits = text.front() == '-' ? text.substr(1) : text;
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) return false;
    if (text == "-0") return false;
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc{} && end == text.data() + text.size() && v >= lo && v <= hi;
}

// "<what> exceeds maximum (<n>), max is <max>" with n in [lo, hi].
bool exceeds_message(std::string_view msg, std::string_view what, std::string_view max, std::int64_t lo,
                     std::int64_t hi) {
    const std::string head = std::string(what) + " exceeds maximum (";
    const std::string foot = "), max is " + std::string(max);
    if (!msg.starts_with(head) || !msg.ends_with(foot) || msg.size() < head.size() + foot.size()) return false;
    return plain_integer_in(msg.substr(head.size(), msg.size() - head.size() - foot.size()), lo, hi);
}

// The messages an expression can bring about. The evaluator's other parse
// error texts guard its own consistency and must never surface.
bool valid_message(std::string_view msg) {
    constexpr std::int64_t int32_max = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();
    return msg == "dice count, face, or repeat must be a positive integer" || msg == "division by zero" ||
           msg == "parse error: unexpected pipwerk level" ||
           exceeds_message(msg, "dice count", "50", 51, int32_max) ||
           exceeds_message(msg, "dice face", "1000", 1001, int32_max) ||
           exceeds_message(msg, "repeat count", "10", 11, int64_max);
}

// ---- outputs ----

bool same_double(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

bool same_number(const pipwerk::Number& a, const pipwerk::Number& b) {
    return a.kind() == b.kind() && same_double(a.to_double(), b.to_double()) && a.int_value() == b.int_value();
}

bool same_values(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same_double(a[i], b[i])) return false;
    }
    return true;
}

// The numbers of a summary: one for a scalar, the members of "{a, b, ...}" for a set.
std::vector<std::string_view> summary_numbers(std::string_view summary, bool is_set) {
    if (!is_set) return {summary};
    check(summary.size() >= 2 && summary.front() == '{' && summary.back() == '}');
    std::string_view inner = summary.substr(1, summary.size() - 2);
    std::vector<std::string_view> out;
    if (inner.empty()) return out;
    for (;;) {
        const std::size_t sep = inner.find(", ");
        out.push_back(inner.substr(0, sep));
        if (sep == std::string_view::npos) break;
        inner.remove_prefix(sep + 2);
    }
    return out;
}

// A Display text ("14", "-3.5", "100000000000000000000", "inf", "NaN") read
// back; the Display form is the shortest text that reads back exactly, with
// negative zero written "0".
void check_reads_back(std::string_view text, double value) {
    check(!text.empty());
    if (text == "NaN") return check(std::isnan(value));
    if (text == "inf" || text == "-inf") return check(std::isinf(value) && (text[0] == '-') == std::signbit(value));
    const char first = text.front() == '-' ? (text.size() > 1 ? text[1] : 'x') : text.front();
    check(first >= '0' && first <= '9');
    for (const char c : text.substr(text.front() == '-' ? 1 : 0)) check((c >= '0' && c <= '9') || c == '.');
    double parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    check(ec == std::errc{} && end == text.data() + text.size());
    check(parsed == value);
}

void check_output(const pipwerk::RollOutput& out, bool show_detail) {
    if (!show_detail) {
        check(out.detail.empty());
        check(out.full == out.summary);
    } else if (out.is_set || !out.detail.empty()) {
        check(out.full == out.detail + " = " + out.summary);
    } else {
        check(out.full == out.summary);
    }
    const std::vector<std::string_view> numbers = summary_numbers(out.summary, out.is_set);
    check(numbers.size() == out.values.size());
    if (out.is_set) {
        check(!out.values.empty());  // every set the language writes has a member
    } else {
        check(out.values.size() == 1);
    }
    for (std::size_t i = 0; i < numbers.size(); ++i) check_reads_back(numbers[i], out.values[i]);
}

bool same_result(const pipwerk::RollOutput& a, const pipwerk::RollOutput& b) {
    return a.summary == b.summary && a.detail == b.detail && a.full == b.full && a.is_set == b.is_set &&
           same_values(a.values, b.values);
}

bool contains_any(std::string_view text, std::string_view chars) {
    return text.find_first_of(chars) != std::string_view::npos;
}

using Rolled = pipwerk::Result<pipwerk::RollOutput>;

void check_roll(std::string_view input, const pipwerk::ParseOutcome& parsed, const Rolled& rolled, bool show_detail) {
    if (!parsed.success()) {
        // No tree: the empty result, carrying the parser's tail; never an error.
        check(rolled.has_value());
        check(rolled->consumed.empty() && rolled->tail == parsed.tail);
        check(rolled->summary.empty() && rolled->detail.empty() && rolled->full.empty());
        check(!rolled->is_set && rolled->values.empty());
        return;
    }
    if (!rolled) {
        check(valid_message(rolled.error().message()));
        return;
    }
    check(rolled->consumed == parsed.consumed && rolled->tail == parsed.tail);
    check_split(input, rolled->consumed, rolled->tail);
    check_output(*rolled, show_detail);
    // consumed holds exactly the tree's tokens, so the letters say what it has.
    check(rolled->is_set == contains_any(rolled->consumed, "#{"));
    if (show_detail && !rolled->is_set) check(rolled->detail.empty() == !contains_any(rolled->consumed, "dD"));
}

void check_same(const Rolled& a, const Rolled& b) {
    check(a.has_value() == b.has_value());
    if (!a) return check(a.error().message() == b.error().message());
    check(a->consumed == b->consumed && a->tail == b->tail && same_result(*a, *b));
}

// The roll against the reference evaluator and its renderings.
void check_against_reference(const pipwerk::ParseOutcome& parsed, const Rolled& rolled, const Rolled& plain,
                             std::uint64_t seed) {
    if (!parsed.success()) return;
    auto reference_rng = pipwerk::Xoroshiro128StarStar::from_seed(seed);
    const pipwerk::Result<pipwerk::reference::Value> want =
        pipwerk::reference::evaluate(parsed.ast, *parsed.expression, reference_rng);
    auto rng = pipwerk::Xoroshiro128StarStar::from_seed(seed);
    const pipwerk::Result<pipwerk::EvalValue> value = pipwerk::evaluate(parsed.ast, *parsed.expression, rng);
    check(want.has_value() == rolled.has_value() && want.has_value() == value.has_value());
    if (!want) return check(want.error() == rolled.error() && want.error() == value.error());
    check(rolled->summary == want->summary() && rolled->detail == want->detail() && rolled->full == want->full());
    check(rolled->is_set == want->is_set && value->is_set() == want->is_set);
    check(plain.has_value() && plain->summary == want->summary());
    check(rolled->values.size() == want->elements.size() && plain->values.size() == want->elements.size());
    for (std::size_t i = 0; i < want->elements.size(); ++i) {
        const double v = want->elements[i].value.to_double();
        check(same_double(rolled->values[i], v) && same_double(plain->values[i], v));
    }
    if (const pipwerk::EvalValue::Set* set = value->set()) {
        check(set->size() == want->elements.size());
        for (std::size_t i = 0; i < set->size(); ++i) {
            check((*set)[i].detail == want->elements[i].detail && same_number((*set)[i].value, want->elements[i].value));
        }
    }
}

std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ULL;
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string owned(reinterpret_cast<const char*>(data), size);
    const std::string_view input = owned;
    const std::uint64_t seed = fnv1a(data, size);

    // Parse-only path.
    const pipwerk::ParseOutcome parsed = pipwerk::Parser::parse(input);
    check_split(input, parsed.consumed, parsed.tail);
    check(parsed.success() != parsed.consumed.empty());
    if (parsed.success()) {
        // The consumed text is itself a whole expression.
        const pipwerk::ParseOutcome again = pipwerk::Parser::parse(parsed.consumed);
        check(again.success() && again.consumed == parsed.consumed && again.tail.empty());
    }

    // Seeded rolls: deterministic, and independent of show_detail but for the texts.
    const Rolled with_detail = pipwerk::roll(input, {.seed = seed, .show_detail = true});
    check_roll(input, parsed, with_detail, true);
    check_same(with_detail, pipwerk::roll(input, {.seed = seed, .show_detail = true}));

    const Rolled without_detail = pipwerk::roll(input, {.seed = seed, .show_detail = false});
    check_roll(input, parsed, without_detail, false);
    check_against_reference(parsed, with_detail, without_detail, seed);
    check(with_detail.has_value() == without_detail.has_value());
    if (with_detail) {
        check(without_detail->consumed == with_detail->consumed && without_detail->tail == with_detail->tail);
        check(without_detail->summary == with_detail->summary && without_detail->is_set == with_detail->is_set);
        check(same_values(without_detail->values, with_detail->values));
    } else {
        check(without_detail.error().message() == with_detail.error().message());
    }

    // The result depends on the tree alone: the consumed text rolls the same.
    if (parsed.success()) {
        const std::string consumed(parsed.consumed);
        const Rolled alone = pipwerk::roll(consumed, {.seed = seed, .show_detail = true});
        check(alone.has_value() == with_detail.has_value());
        if (alone) {
            check(alone->consumed == consumed && alone->tail.empty() && same_result(*alone, *with_detail));
        } else {
            check(alone.error().message() == with_detail.error().message());
        }
    }

    // Clock seeding: different dice, the same shape.
    check_roll(input, parsed, pipwerk::roll(input, {.seed = std::nullopt, .show_detail = true}), true);
    return 0;
}
