// roll: parse, seed, evaluate and render one expression. The whole roll is
// laid out in one RollRecord (roll_record.hpp): the detail and the summary
// are written back to back into one text with the joiner between them, and
// the values beside it, so the common path allocates nothing for a short
// roll and every binding copies the roll out from one view (RollView).
// evaluate_record is the one path from a parsed expression to that record;
// trace takes it too, with an observer that records each node.
#include "pipwerk/pipwerk.hpp"
#include "roll_record.hpp"

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "eval/detail_layout.hpp"
#include "eval.hpp"
#include "parser/parser.hpp"
#include "rng.hpp"
#include "eval/observer.hpp"
#include "trace/trace_recorder.hpp"

namespace pipwerk {

template <class Observer>
[[gnu::always_inline]] inline Result<void> evaluate_record(const ParseOutcome& parsed, Rng& rng, bool show_detail,
                                                           RollRecord& out, detail::ObserverRef<Observer> observer) {
    // The detail comes first in the text. A long roll's texts are a small
    // multiple of its input: room for that is taken once, so the text is not
    // regrown by copying (unused room is never touched).
    if (const std::size_t n = parsed.consumed.size(); n > 4096) out.text.reserve(4 * n + 64);
    SmallVector<Number, 8> numbers;
    const Result<bool> is_set = show_detail
                                    ? evaluate_into(parsed.ast, *parsed.expression, rng, out.text, numbers, observer)
                                    : evaluate_values(parsed.ast, *parsed.expression, rng, numbers, observer);
    if (!is_set) return std::unexpected(is_set.error());

    if (show_detail) {
        out.detail_size = out.text.size();
        out.full_has_detail = detail::full_shows_detail(*is_set, out.detail_size == 0);
        if (out.full_has_detail) out.text += RollRecord::kJoiner;
    }
    append_summary(out.text, numbers.span(), *is_set);

    out.is_set = *is_set;
    // Int to the nearest double (ties to even), a Real as is, a Percent as its fraction.
    out.values.reserve(numbers.size());
    for (const Number& n : numbers) out.values.push_back(n.to_double());
    return {};
}

template Result<void> evaluate_record(const ParseOutcome&, Rng&, bool, RollRecord&, detail::ObserverRef<detail::TraceRecorder>);

Result<void> roll_into(std::string_view expression, const RollOptions& options, RollRecord& out) {
    const ParseOutcome parsed = Parser::parse(expression);
    out.tail = parsed.tail;
    // Nothing to evaluate: every text but the tail stays empty.
    if (!parsed.expression) return {};
    out.consumed = parsed.consumed;

    Xoroshiro128StarStar rng = options.seed ? Xoroshiro128StarStar::from_seed(*options.seed)
                                            : Xoroshiro128StarStar::from_clock();
    const detail::ObserverRef<detail::NoObserver> none;
    return evaluate_record(parsed, rng, options.show_detail, out, none);
}

// RollBuffer keeps a RollRecord in its own storage, so the public header
// needs none of the record's types and a roll on the stack stays off the heap.
RollBuffer::RollBuffer() noexcept { new (storage_) RollRecord; }

RollBuffer::~RollBuffer() { detail::RollBufferAccess::record(*this).~RollRecord(); }

Result<RollView> RollBuffer::roll(std::string_view expression, const RollOptions& options) {
    RollRecord& record = detail::RollBufferAccess::record(*this);
    // Room past kKeptBytes is given back here: a buffer that lives long (a
    // binding's) holds a long roll's memory only until its next roll.
    constexpr std::size_t kKeptBytes = std::size_t{1} << 16;
    if (record.text.capacity() + record.values.capacity() * sizeof(double) > kKeptBytes) [[unlikely]] {
        record.~RollRecord();
        new (&record) RollRecord;
    } else {
        record.clear();
    }
    if (Result<void> done = roll_into(expression, options, record); !done) return std::unexpected(done.error());
    return record.view();
}

RollOutput to_output(const RollView& view) {
    RollOutput out;
    out.consumed = view.consumed;
    out.tail = view.tail;
    out.summary = view.summary();
    out.detail = view.detail();
    out.full = view.full();
    out.is_set = view.is_set;
    out.values.assign(view.values.begin(), view.values.end());
    return out;
}

Result<RollOutput> roll(std::string_view expression, const RollOptions& options) {
    RollRecord record;
    if (Result<void> done = roll_into(expression, options, record); !done) {
        return std::unexpected(std::move(done.error()));
    }
    return to_output(record);
}

ParseOutput parse(std::string_view expression) {
    const ParseOutcome outcome = Parser::parse(expression);
    return {.success = outcome.success(), .consumed = outcome.consumed, .tail = outcome.tail};
}

std::uint64_t unseeded_base_seed() noexcept { return Xoroshiro128StarStar::clock_seed(); }

}  // namespace pipwerk
