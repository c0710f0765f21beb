// trace: the roll of roll, from the same seed and through the same path
// (evaluate_record), with a recorder as its observer. Before the roll the
// sites of the tree (what each node was written as, and where) are laid out
// once per node id; the recorder then appends one 16-byte record per node
// evaluated, in evaluation order, so the tree comes out flat (docs/trace.md).
// kind_name is here too: the one spelling of the kinds for every form.
#include "pipwerk/trace.hpp"

#include <utility>

#include "parser/parser.hpp"
#include "rng.hpp"
#include "roll_record.hpp"
#include "trace/node_spans.hpp"
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

Result<RollView> trace_into(std::string_view expression, const RollOptions& options, RollBuffer& roll,
                            TraceOutput& out) {
    RollRecord& record = detail::RollBufferAccess::record(roll);
    record.clear();
    // An unseeded roll draws from the clock's word, which seeds exactly as
    // from_clock does; kept, it replays the roll.
    out.seed = options.seed ? *options.seed : Xoroshiro128StarStar::clock_seed();

    const ParseOutcome parsed = Parser::parse(expression);
    record.tail = parsed.tail;
    for (const std::string_view hint : hints_for(parsed.tail)) out.hints.emplace_back(hint);
    if (!parsed.expression) return record.view();
    record.consumed = parsed.consumed;
    Xoroshiro128StarStar rng = Xoroshiro128StarStar::from_seed(out.seed);
    const detail::TraceSize size = detail::locate_nodes(parsed.ast, *parsed.expression, parsed.consumed, out.sites);
    detail::TraceRecorder recorder(parsed.ast, size, out);
    if (Result<void> done = evaluate_record(parsed, rng, options.show_detail, record,
                                            detail::ObserverRef<detail::TraceRecorder>(recorder));
        !done) {
        return std::unexpected(done.error());
    }
    return record.view();
}

Result<TraceOutput> trace(std::string_view expression, const RollOptions& options) {
    Result<TraceOutput> result(std::in_place);
    RollBuffer roll;
    const Result<RollView> view = trace_into(expression, options, roll, *result);
    if (!view) return std::unexpected(view.error());
    result->output = to_output(*view);
    return result;
}

}  // namespace pipwerk
