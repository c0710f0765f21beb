#include "pipwerk/pipwerk.hpp"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pipwerk/eval.hpp"
#include "pipwerk/parser/parser.hpp"
#include "pipwerk/rng.hpp"

namespace pipwerk {
namespace {

// detail " = " summary, or the summary alone when there is no detail: the
// full text of the value, composed from the two texts already rendered.
std::string join_full(const EvalValue& value, const std::string& detail, const std::string& summary) {
    if (!value.is_set() && detail.empty()) return summary;
    std::string full;
    full.reserve(detail.size() + 3 + summary.size());
    full += detail;
    full += " = ";
    full += summary;
    return full;
}

void append_doubles(std::vector<double>& out, const EvalValue& value) {
    // Int to the nearest double (ties to even), a Real as is, a Percent as its fraction.
    if (const ScalarValue* s = value.scalar()) {
        out.push_back(s->value.to_double());
        return;
    }
    out.reserve(value.set()->size());
    for (const ScalarValue& e : *value.set()) out.push_back(e.value.to_double());
}

}  // namespace

Result<RollOutput> roll(std::string_view expression, const RollOptions& options) {
    ParseOutcome parsed = Parser::parse(expression);
    RollOutput out;
    if (!parsed.expression) {
        out.tail = parsed.tail;
        return out;
    }

    Xoroshiro128StarStar rng = options.seed ? Xoroshiro128StarStar::from_seed(*options.seed)
                                            : Xoroshiro128StarStar::from_clock();
    Result<EvalValue> value = evaluate(parsed.ast, *parsed.expression, rng);
    if (!value) return std::unexpected(std::move(value.error()));

    out.summary = value->summary();
    if (options.show_detail) {
        // A scalar's detail is already the finished text: take it rather than copy it.
        if (ScalarValue* s = value->scalar()) {
            out.detail = std::move(s->detail);
        } else {
            out.detail = value->detail();
        }
        out.full = join_full(*value, out.detail, out.summary);
    } else {
        out.full = out.summary;
    }
    out.is_set = value->is_set();
    append_doubles(out.values, *value);
    out.consumed = parsed.consumed;
    out.tail = parsed.tail;
    return out;
}

}  // namespace pipwerk
