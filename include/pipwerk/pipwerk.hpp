#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "pipwerk/error.hpp"

namespace pipwerk {

struct RollOptions {
    std::optional<std::uint64_t> seed;  // absent: seeded from the clock
    bool show_detail = true;
};

// A whole roll, flattened for the caller.
struct RollOutput {
    std::string consumed;
    std::string tail;
    std::string summary;
    std::string detail;  // empty without show_detail
    std::string full;    // the summary alone without show_detail
    bool is_set = false;
    std::vector<double> values;
};

// Parses, seeds, evaluates and renders one expression. Text that does not
// parse is returned in the tail, never an error; only evaluation fails.
[[nodiscard]] Result<RollOutput> roll(std::string_view expression, const RollOptions& options);

// How much of an expression parses, read as roll reads it. consumed and
// tail view the expression.
struct ParseOutput {
    bool success = false;  // something parsed
    std::string_view consumed;
    std::string_view tail;
};
[[nodiscard]] ParseOutput parse(std::string_view expression);

// The seed of an unseeded roll: a reading of the clock (and the process id),
// taken now. A roll seeded with it draws as an unseeded roll would, and the
// seed replays it.
[[nodiscard]] std::uint64_t unseeded_base_seed() noexcept;

// A roll as views: the texts of RollOutput are slices of one text, the
// detail, then " = " when the full text shows the detail, then the summary.
// A caller that copies a roll out copies that text once and keeps the three
// slices as offsets.
struct RollView {
    std::string_view consumed;  // views the expression rolled
    std::string_view tail;
    std::string_view text;
    std::size_t detail_size = 0;    // detail: text[0, detail_size)
    std::size_t summary_start = 0;  // summary: text[summary_start, end)
    std::size_t full_start = 0;     // full: text[full_start, end), 0 or summary_start
    bool is_set = false;
    std::span<const double> values;

    [[nodiscard]] std::string_view detail() const noexcept { return text.substr(0, detail_size); }
    [[nodiscard]] std::string_view summary() const noexcept { return text.substr(summary_start); }
    [[nodiscard]] std::string_view full() const noexcept { return text.substr(full_start); }
};

// The texts and values of a view as roll returns them.
[[nodiscard]] RollOutput to_output(const RollView& view);

// The fields of a roll (a RollOutput or a RollView) as every form of it has
// them, in order: field(name, value) for "consumed", "tail", "summary",
// "detail" and "full" (std::string_view), "is_set" (bool) and "values"
// (std::span<const double>). Each writer of a form walks this one list.
template <class Roll, class Field>
void visit_roll(const Roll& roll, Field&& field) {
    constexpr bool kView = std::is_same_v<Roll, RollView>;
    static_assert(kView || std::is_same_v<Roll, RollOutput>);
    field("consumed", std::string_view(roll.consumed));
    field("tail", std::string_view(roll.tail));
    if constexpr (kView) {
        field("summary", roll.summary());
        field("detail", roll.detail());
        field("full", roll.full());
    } else {
        field("summary", std::string_view(roll.summary));
        field("detail", std::string_view(roll.detail));
        field("full", std::string_view(roll.full));
    }
    field("is_set", roll.is_set);
    field("values", std::span<const double>(roll.values));
}

namespace detail {
struct RollBufferAccess;
}  // namespace detail

// Room for one roll at a time, kept from one roll to the next: the texts
// and values of a short roll fit inside the buffer, so rolling into it
// allocates nothing. For callers that roll often or copy a roll out at once.
// Room past 64 KiB that a long roll took is given back at the next roll.
class RollBuffer {
public:
    RollBuffer() noexcept;
    ~RollBuffer();
    RollBuffer(const RollBuffer&) = delete;
    RollBuffer& operator=(const RollBuffer&) = delete;

    // roll, laid out in this buffer. The view's texts and values live until
    // the next roll into the buffer or its end; consumed and tail view the
    // expression.
    [[nodiscard]] Result<RollView> roll(std::string_view expression, const RollOptions& options);

private:
    friend struct detail::RollBufferAccess;
    alignas(8) unsigned char storage_[448];
};

}  // namespace pipwerk
