#pragma once

#include <cstddef>
#include <new>
#include <string_view>

#include "eval/detail_layout.hpp"
#include "eval/observer.hpp"
#include "pipwerk/error.hpp"
#include "pipwerk/pipwerk.hpp"
#include "parser/parser.hpp"
#include "rng.hpp"
#include "small_vector.hpp"
#include "text_buffer.hpp"

namespace pipwerk {

// A whole roll laid out flat, for a caller that copies it out in one go (the
// Python module). consumed and tail view the expression the roll was made
// from (no copy of a long input); the other texts sit back to back in one
// buffer: detail, then " = " when the full text shows the detail, then the
// summary, so full is a single slice as well. Short rolls fit inline.
struct RollRecord {
    std::string_view consumed;
    std::string_view tail;
    TextBuffer text;
    std::size_t detail_size = 0;
    bool full_has_detail = false;  // full is detail " = " summary, else the summary alone
    bool is_set = false;
    SmallVector<double, 8> values;  // Int to the nearest double, a Percent as its fraction

    static constexpr std::string_view kJoiner = detail::kJoiner;

    // The one place the text is cut into detail, summary and full.
    [[nodiscard]] RollView view() const noexcept {
        const std::size_t summary_start = detail_size + (full_has_detail ? kJoiner.size() : 0);
        return {
            .consumed = consumed,
            .tail = tail,
            .text = text.view(),
            .detail_size = detail_size,
            .summary_start = summary_start,
            .full_start = full_has_detail ? 0 : summary_start,
            .is_set = is_set,
            .values = values.span(),
        };
    }
    [[nodiscard]] std::string_view detail() const noexcept { return view().detail(); }
    [[nodiscard]] std::string_view summary() const noexcept { return view().summary(); }
    [[nodiscard]] std::string_view full() const noexcept { return view().full(); }

    // Empty again for the next roll, keeping the room its buffers took.
    void clear() noexcept {
        consumed = {};
        tail = {};
        text.truncate(0);
        detail_size = 0;
        full_has_detail = false;
        is_set = false;
        values.clear();
    }
};

// roll, laid out flat into `out` (which starts empty) instead of into separate
// strings: the Python module copies the record into its result object at once.
// On an error `out` holds partial texts and is to be dropped.
[[nodiscard]] Result<void> roll_into(std::string_view expression, const RollOptions& options, RollRecord& out);

// roll_into's evaluation of a parsed expression with its generator, each
// node's value reported to `observer` (eval/observer.hpp): the one path
// both roll and trace take.
template <class Observer>
[[nodiscard]] Result<void> evaluate_record(const ParseOutcome& parsed, Rng& rng, bool show_detail, RollRecord& out,
                                           detail::ObserverRef<Observer> observer);

// A record's texts and values as roll returns them.
[[nodiscard]] inline RollOutput to_output(const RollRecord& record) { return to_output(record.view()); }

namespace detail {

// The record a RollBuffer holds, built in its storage.
struct RollBufferAccess {
    static_assert(sizeof(RollRecord) <= sizeof(RollBuffer::storage_) && alignof(RollRecord) <= 8);
    [[nodiscard]] static RollRecord& record(RollBuffer& buffer) noexcept {
        return *std::launder(reinterpret_cast<RollRecord*>(buffer.storage_));
    }
};

}  // namespace detail

}  // namespace pipwerk
