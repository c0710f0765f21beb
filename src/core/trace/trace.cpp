#include "pipwerk/trace.hpp"

#include <utility>

#include "parser/parser.hpp"
#include "rng.hpp"
#include "roll_record.hpp"
#include "trace/node_spans.hpp"
#include "trace/trace_into.hpp"
#include "trace/trace_recorder.hpp"

namespace pipwerk {

std::string_view kind_name(TraceKind kind) noexcept {
    switch (kind) {
        case TraceKind::Number: return "number";
        case TraceKind::Dice: return "dice";
        case TraceKind::Negation: return "negation";
        case TraceKind::Binary: return "binary";
        case TraceKind::Set: return "set";
        case TraceKind::Repetition: return "repetition";
    }
    return "";
}

Result<void> trace_into(std::string_view expression, const RollOptions& options, RollRecord& record,
                        TraceOutput& out) {
    // An unseeded roll draws from the clock's word, which seeds exactly as
    // from_clock does; kept, it replays the roll.
    out.seed = options.seed ? *options.seed : Xoroshiro128StarStar::clock_seed();

    const ParseOutcome parsed = Parser::parse(expression);
    record.tail = parsed.tail;
    for (const std::string_view hint : hints_for(parsed.tail)) out.hints.emplace_back(hint);
    if (!parsed.expression) return {};
    record.consumed = parsed.consumed;
    Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(out.seed);
    const detail::TraceSize size = detail::locate_nodes(parsed.ast, *parsed.expression, parsed.consumed, out.sites);
    detail::TraceRecorder recorder(parsed.ast, size, out);
    return evaluate_record(parsed, rng, options.show_detail, record,
                           detail::ObserverRef<detail::TraceRecorder>(recorder));
}

Result<TraceOutput> trace(std::string_view expression, const RollOptions& options) {
    Result<TraceOutput> result(std::in_place);
    RollRecord record;
    if (Result<void> done = trace_into(expression, options, record, *result); !done) {
        return std::unexpected(done.error());
    }
    result->output = to_output(record);
    return result;
}

}  // namespace pipwerk
