// trace for JavaScript: the roll and its tree in the core's JSON form.
#include <cstddef>
#include <string>
#include <string_view>

#include "exchange.hpp"
#include "pipwerk/trace.hpp"

using namespace pipwerk;
using namespace pipwerk::wasm;

namespace {

std::string json;

// The longest string JavaScript engines make (V8's, the smallest), in
// UTF-16 code units; a UTF-8 text of no more bytes fits in it.
constexpr std::size_t kMaxStringLength = (std::size_t{1} << 29) - 24;
constexpr std::size_t kKeptBytes = std::size_t{1} << 20;

}  // namespace

// kOk: the text is the trace as JSON (TraceJson); kEngineError: the text is
// the roll's message, or says that the JSON would be longer than a string.
PIPWERK_EXPORT("pw_trace")
std::int32_t pw_trace(std::uint32_t length, std::uint32_t seed_low, std::uint32_t seed_high, std::int32_t show_detail) {
    const RollOptions options{.seed = seed_of(seed_low, seed_high), .show_detail = show_detail != 0};
    // A large trace's text is not kept for the calls after it.
    if (json.capacity() > kKeptBytes) std::string().swap(json);
    json.clear();
    const Result<TraceOutput> traced = trace(input(length), options);
    if (!traced) return fail(kEngineError, traced.error().message());
    constexpr std::string_view kTooLong = "out of memory: the trace is longer than a JavaScript string can be";
    TraceJson writer(*traced, TraceJson::Part::Whole);
    if (writer.least_size() > kMaxStringLength) return fail(kEngineError, std::string(kTooLong));
    while (writer.append_next(json, kKeptBytes)) {
        if (json.size() > kMaxStringLength) {
            std::string().swap(json);
            return fail(kEngineError, std::string(kTooLong));
        }
    }
    set_text(json);
    return kOk;
}
