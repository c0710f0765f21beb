#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"

namespace pipwerk {

inline constexpr std::int32_t kMaxDiceCount = 50;
inline constexpr std::int32_t kMaxDiceFaces = 1000;
inline constexpr std::size_t kMaxPool = 50;  // cap of a pool rolled with a bonus threshold

// One rolled dice term. The pool never exceeds kMaxPool dice, so the three
// per-die lists live inline and a roll allocates nothing. Position i of each
// list describes the same die; bonus dice follow the initial ones.
struct RollResult {
    std::array<std::int32_t, kMaxPool> rolls{};
    std::array<bool, kMaxPool> kept{};          // counts toward total and successes
    std::array<bool, kMaxPool> earned_bonus{};  // met the bonus threshold
    std::size_t size = 0;                       // dice in the pool
    std::int64_t total = 0;                     // sum of the kept dice

    // The longest detail text: a full pool of 32-bit values, each marked twice.
    static constexpr std::size_t kMaxDetailLength = 2 + kMaxPool * 13 + (kMaxPool - 1) * 3;

    // "[1* + 4 + 6 + 4]": every die, "*" when dropped, "!" when it earned a bonus.
    void append_detail(std::string& out) const;
    // The same into a caller's buffer of detail_length_bound() bytes (at most
    // kMaxDetailLength); returns the end.
    char* write_detail(char* out) const noexcept;
    // Room enough for either detail text of this pool.
    [[nodiscard]] std::size_t detail_length_bound() const noexcept;
    [[nodiscard]] std::string detail() const;
    // "<4 + 6 + 4>": kept dice only, "*" when failing the comparison, "!" for a bonus.
    void append_detail_comparison(std::string& out, const ComparisonOp& comparison) const;
    char* write_detail_comparison(char* out, const ComparisonOp& comparison) const noexcept;
    [[nodiscard]] std::string detail_comparison(const ComparisonOp& comparison) const;
};

// count plain dice of the given faces; checks the limits first and draws nothing on failure.
[[nodiscard]] Result<RollResult> roll_base(Rng& rng, std::int32_t count, std::int32_t faces);
// roll_base, then keep: s > 0 keeps the s highest, s < 0 the |s| lowest, 0 all.
[[nodiscard]] Result<RollResult> roll_rdk(Rng& rng, std::int32_t count, std::int32_t faces, std::int64_t s);
// Keeps the |s| highest (s > 0) or lowest (s < 0) dice, ties in roll order.
void apply_keep_to_result(RollResult& result, std::int64_t s) noexcept;
// One dice term with its keep and bonus modifiers, as the evaluator rolls it.
[[nodiscard]] Result<RollResult> roll_with_modifiers(Rng& rng, std::int32_t count, std::int32_t faces,
                                                     std::optional<KeepMode> keep,
                                                     std::optional<Number> bonus);
// The same into a pool the caller reuses across terms: clearing the inline
// lists for every term costs more than drawing a few dice. Only the pool's
// first `size` dice (and its total) describe the roll afterwards.
[[nodiscard]] Result<void> roll_with_modifiers_into(RollResult& pool, Rng& rng, std::int32_t count,
                                                    std::int32_t faces, const std::optional<KeepMode>& keep,
                                                    const std::optional<Number>& bonus);

}  // namespace pipwerk
