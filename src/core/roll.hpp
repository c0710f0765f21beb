#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "limits.hpp"
#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"

namespace pipwerk {


// One rolled dice term. The pool never exceeds kMaxPool dice, so the three
// per-die lists live inline and a roll allocates nothing. Position i of each
// list describes the same die; bonus dice follow the initial ones.
struct RollResult {
    std::array<std::int32_t, kMaxPool> rolls{};
    std::array<bool, kMaxPool> kept{};          // counts toward total and successes
    std::array<bool, kMaxPool> earned_bonus{};  // met the bonus threshold
    std::size_t size = 0;                       // dice in the pool
    std::int64_t total = 0;                     // sum of the kept dice

    // Room for any detail text: a full pool of 32-bit values, each marked
    // twice, with room for a separator after every die (the texts are written
    // a whole piece at a time).
    static constexpr std::size_t kMaxDetailLength = 2 + kMaxPool * (11 + 2 + 3);

    // "[1* + 4 + 6 + 4]": every die, "*" when dropped, "!" when it earned a bonus.
    void append_detail(std::string& out) const;
    // The same into a caller's buffer of detail_length_bound() bytes (at most
    // kMaxDetailLength); returns the end.
    char* write_detail(char* out) const noexcept;
    // Room enough for either detail text of this pool.
    [[nodiscard]] std::size_t detail_length_bound() const noexcept;
    // The same without a pass over the pool, for one whose dice all lie in [1, faces].
    [[nodiscard]] static constexpr std::size_t detail_length_bound(std::size_t size, std::int32_t faces) noexcept {
        const std::size_t widest = faces < 10 ? 1 : faces < 100 ? 2 : faces < 10000 ? 4 : 11;
        const std::size_t n = size < kMaxPool ? size : kMaxPool;
        return 2 + n * (widest + 5);
    }
    [[nodiscard]] std::string detail() const;
    // "<4 + 6 + 4>": kept dice only, "*" when failing the comparison, "!" for a bonus.
    void append_detail_comparison(std::string& out, const ComparisonOp& comparison) const;
    char* write_detail_comparison(char* out, const ComparisonOp& comparison) const noexcept;
    // The same with the threshold's integer view u already taken.
    char* write_detail_comparison(char* out, ComparisonOp::Kind kind, std::int64_t u) const noexcept;
    [[nodiscard]] std::string detail_comparison(const ComparisonOp& comparison) const;
};

// A dice term as the roller reads it: count and faces already narrowed, the
// keep as a signed count and each threshold as its integer view. Read from the
// tree once per term, so rolling it again reads no optionals or numbers.
struct DiceTerm {
    std::int32_t count = 1;
    std::int32_t faces = 0;
    std::int64_t keep = 0;       // s > 0 keeps the s highest, s < 0 the |s| lowest, 0 every die
    std::int64_t bonus = 0;      // the bonus threshold, when has_bonus
    std::int64_t threshold = 0;  // the comparison's threshold, when has_comparison
    bool has_bonus = false;
    bool has_comparison = false;
    ComparisonOp::Kind comparison = ComparisonOp::Kind::Greater;
};

// kN keeps the n highest, klN the n lowest. Negating the smallest int64 would
// overflow; its magnitude exceeds any pool either way, so saturate.
[[nodiscard]] constexpr std::int64_t signed_keep(const KeepMode& keep) noexcept {
    if (keep.dir == KeepMode::Dir::High) return keep.n;
    return keep.n == std::numeric_limits<std::int64_t>::min() ? std::numeric_limits<std::int64_t>::max() : -keep.n;
}

// Inline, so a caller that has just unpacked the parts from the tree keeps
// them in registers.
[[nodiscard]] inline DiceTerm dice_term(std::int32_t count, std::int32_t faces, const std::optional<KeepMode>& keep,
                                        const std::optional<Number>& bonus,
                                        const std::optional<ComparisonOp>& comparison) noexcept {
    DiceTerm term{.count = count, .faces = faces};
    if (keep) term.keep = signed_keep(*keep);
    if (bonus) {
        term.has_bonus = true;
        term.bonus = bonus->integer_view();
    }
    if (comparison) {
        term.has_comparison = true;
        term.comparison = comparison->kind;
        term.threshold = comparison->threshold.integer_view();
    }
    return term;
}

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
// The same for a term read once; every roll of a dice term goes through here.
[[nodiscard]] Result<void> roll_with_modifiers_into(RollResult& pool, Rng& rng, const DiceTerm& term);

// The value of a rolled term: the total, or with a comparison the number of
// kept dice that pass it.
[[nodiscard]] inline std::int64_t term_value(const RollResult& pool, const DiceTerm& term) noexcept {
    if (!term.has_comparison) return pool.total;
    std::int64_t successes = 0;
    for (std::size_t i = 0; i < pool.size && i < kMaxPool; ++i) {
        successes += pool.kept[i] && ComparisonOp::passes(term.comparison, pool.rolls[i], term.threshold);
    }
    return successes;
}

}  // namespace pipwerk
