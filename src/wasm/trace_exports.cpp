// trace for JavaScript: the roll and its tree in the core's JSON form.
#include <string>

#include "exchange.hpp"
#include "pipwerk/trace.hpp"

using namespace pipwerk;
using namespace pipwerk::wasm;

namespace {

std::string json;

}  // namespace

// kOk: the text is the trace as JSON (append_trace_json); kEngineError: the
// text is the roll's message.
PIPWERK_EXPORT("pw_trace")
std::int32_t pw_trace(std::uint32_t length, std::uint32_t seed_low, std::uint32_t seed_high, std::int32_t show_detail) {
    const RollOptions options{.seed = seed_of(seed_low, seed_high), .show_detail = show_detail != 0};
    json.clear();
    const Result<TraceOutput> traced = trace(input(length), options);
    if (!traced) return fail(kEngineError, traced.error().message());
    append_trace_json(json, *traced);
    set_text(json);
    return kOk;
}
