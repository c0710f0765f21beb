// libFuzzer target: arbitrary bytes through pipwerk::trace.
//
// For every input, seeded from a hash of it, with and without the detail:
//  - trace gives what roll gives: the same error, or the same texts and
//    values, and the seed it was given;
//  - the tree keeps every rule of tests/cpp/trace_checks.hpp: one root whose
//    values are the roll's, each node after its children, each dice node's
//    kept dice giving its value and reproducing its piece of the detail,
//    each span inside its parent's and holding the node's own text;
//  - an unseeded trace's seed replays it;
//  - the JSON form is written whole (braces and brackets balance outside
//    strings) and no shorter than its least size, and hints_for reads any
//    tail.
// A violation traps, so libFuzzer keeps the input as a crash.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "pipwerk/pipwerk.hpp"
#include "pipwerk/trace.hpp"
#include "trace_checks.hpp"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ULL;
    return h;
}

bool same_output(const pipwerk::RollOutput& a, const pipwerk::RollOutput& b) {
    if (a.consumed != b.consumed || a.tail != b.tail || a.summary != b.summary || a.detail != b.detail ||
        a.full != b.full || a.is_set != b.is_set || a.values.size() != b.values.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        if (!trace_checks::same_number(a.values[i], b.values[i])) return false;
    }
    return true;
}

// Braces and brackets outside strings close in order.
bool balanced(std::string_view json) {
    std::string open;
    bool in_string = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            open += c;
        } else if (c == '}' || c == ']') {
            if (open.empty() || open.back() != (c == '}' ? '{' : '[')) return false;
            open.pop_back();
        }
    }
    return open.empty() && !in_string;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::uint64_t seed = fnv1a(data, size);
    for (const bool show_detail : {true, false}) {
        const pipwerk::RollOptions options{.seed = seed, .show_detail = show_detail};
        const auto rolled = pipwerk::roll(input, options);
        const auto traced = pipwerk::trace(input, options);
        check(rolled.has_value() == traced.has_value());
        if (!rolled) {
            check(rolled.error() == traced.error());
            continue;
        }
        check(traced->seed == seed);
        check(same_output(*rolled, traced->output));
        check(trace_checks::trace_fault(*traced).empty());
        std::string json;
        pipwerk::append_trace_json(json, *traced);
        check(balanced(json));
        check(pipwerk::TraceJson(*traced, pipwerk::TraceJson::Part::Whole).least_size() <= json.size());
    }
    const auto unseeded = pipwerk::trace(input, {});
    if (unseeded) {
        const auto replay = pipwerk::roll(input, {.seed = unseeded->seed});
        check(replay.has_value() && same_output(*replay, unseeded->output));
    }
    (void)pipwerk::hints_for(input);
    return 0;
}
