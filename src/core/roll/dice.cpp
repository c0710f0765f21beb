#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"
#include "roll.hpp"

// Every roll is drawn into a RollResult the caller provides: the public
// functions into a fresh one they return, the evaluator into one pool it
// reuses for all the terms of an expression (clearing the inline lists costs
// more than drawing a few dice). Every die in the pool is written as it is
// drawn, so a reused pool needs only its size and total reset.

namespace pipwerk {
namespace {

// The pool size as a bound for loops over the inline lists.
std::size_t pool_size(const RollResult& result) noexcept { return std::min(result.size, kMaxPool); }

void start_pool(RollResult& result) noexcept {
    result.size = 0;
    result.total = 0;
}

void append_die(RollResult& result, std::int32_t value) noexcept {
    result.rolls[result.size] = value;
    result.kept[result.size] = true;
    result.earned_bonus[result.size] = false;
    ++result.size;
}

std::int64_t sum_kept(const RollResult& result) noexcept {
    std::int64_t total = 0;
    for (std::size_t i = 0; i < pool_size(result); ++i) {
        if (result.kept[i]) total += result.rolls[i];
    }
    return total;
}

// kN keeps the n highest, klN the n lowest. Negating the smallest int64 would
// overflow; its magnitude exceeds any pool either way, so saturate.
std::int64_t signed_keep(const KeepMode& keep) noexcept {
    if (keep.dir == KeepMode::Dir::High) return keep.n;
    return keep.n == std::numeric_limits<std::int64_t>::min() ? std::numeric_limits<std::int64_t>::max() : -keep.n;
}

// The limits of a plain term, checked in this order before anything is drawn.
std::optional<PipwerkError> plain_limit_error(std::int32_t count, std::int32_t faces) noexcept {
    if (count < 1 || faces < 2) return PipwerkError::non_positive();
    if (count > kMaxDiceCount) return PipwerkError::dice_count_exceeds_max(count, kMaxDiceCount);
    if (faces > kMaxDiceFaces) return PipwerkError::dice_face_exceeds_max(faces, kMaxDiceFaces);
    return std::nullopt;
}

// count plain dice into a started pool; the limits are already checked.
// One call of the generator for the whole term.
void draw_plain(RollResult& result, Rng& rng, std::int32_t count, std::int32_t faces) noexcept {
    const auto n = static_cast<std::size_t>(count);
    result.size = n;
    // A lone die, the usual term of a set: one draw, without the batch's set-up.
    if (n == 1) {
        result.rolls[0] = rng.rand_range(1, faces);
        result.kept[0] = true;
        result.earned_bonus[0] = false;
        result.total = result.rolls[0];
        return;
    }
    rng.draw_dice(result.rolls.data(), count, faces);
    // The whole lists at their fixed size are a few wide stores; only the
    // dice drawn would be a call to memset.
    result.kept.fill(true);
    result.earned_bonus.fill(false);
    std::int64_t total = 0;
    for (std::size_t i = 0; i < n; ++i) total += result.rolls[i];
    result.total = total;
}

// A term with a bonus threshold into a started pool, before any keep.
void draw_with_bonus(RollResult& result, Rng& rng, std::int32_t count, std::int32_t faces,
                     std::int64_t threshold) noexcept {
    const std::size_t initial = std::min(static_cast<std::size_t>(count), kMaxPool);
    rng.draw_dice(result.rolls.data(), static_cast<std::int32_t>(initial), faces);
    std::fill_n(result.kept.begin(), initial, true);
    std::fill_n(result.earned_bonus.begin(), initial, false);
    result.size = initial;
    // Bonus dice join the pool before the walk reaches them, so they can earn
    // bonuses of their own; once the pool is full nothing more is examined.
    for (std::size_t j = 0; j < result.size && result.size < kMaxPool; ++j) {
        if (result.rolls[j] >= threshold) {
            result.earned_bonus[j] = true;
            append_die(result, rng.rand_range(1, faces));
        }
    }
    result.total = sum_kept(result);
}

// A fresh pool of plain dice, built in the returned object: one return, so
// the few hundred bytes are not copied.
Result<RollResult> rolled_plain(Rng& rng, std::int32_t count, std::int32_t faces) {
    Result<RollResult> rolled(std::in_place);
    draw_plain(*rolled, rng, count, faces);
    return rolled;
}

}  // namespace

Result<RollResult> roll_base(Rng& rng, std::int32_t count, std::int32_t faces) {
    if (const std::optional<PipwerkError> error = plain_limit_error(count, faces)) return std::unexpected(*error);
    return rolled_plain(rng, count, faces);
}

Result<RollResult> roll_rdk(Rng& rng, std::int32_t count, std::int32_t faces, std::int64_t s) {
    auto result = roll_base(rng, count, faces);
    if (result) apply_keep_to_result(*result, s);
    return result;
}

void apply_keep_to_result(RollResult& result, std::int64_t s) noexcept {
    const std::size_t size = pool_size(result);
    // |s| in unsigned arithmetic, so the smallest int64 has a magnitude too.
    const std::uint64_t magnitude = s < 0 ? 0 - static_cast<std::uint64_t>(s) : static_cast<std::uint64_t>(s);
    if (s == 0 || magnitude >= size) return;

    // Dice are kept by their place in the stable order: better values first,
    // equal values in roll order. `better(a, b)`: value a comes before value b.
    const bool highest = s > 0;
    const auto better = [highest](std::int32_t a, std::int32_t b) { return highest ? a > b : a < b; };
    const auto& rolls = result.rolls;
    if (magnitude == 1 || magnitude + 1 == size) {
        // The common "keep one" (advantage) and "drop one" (4d6k3): only the
        // first or the last die of the order matters, found in one pass.
        const bool keep_one = magnitude == 1;
        std::size_t pick = 0;
        std::int64_t sum = rolls[0];
        for (std::size_t i = 1; i < size; ++i) {
            if (keep_one ? better(rolls[i], rolls[pick]) : !better(rolls[i], rolls[pick])) pick = i;
            sum += rolls[i];
        }
        for (std::size_t i = 0; i < size; ++i) result.kept[i] = (i == pick) == keep_one;
        result.total = keep_one ? rolls[pick] : sum - rolls[pick];
        return;
    }
    // A die is kept when fewer than |s| dice come before it. At most 50 dice,
    // so counting beats sorting and allocates nothing.
    for (std::size_t i = 0; i < size; ++i) {
        std::size_t ahead = 0;
        for (std::size_t j = 0; j < size; ++j) {
            ahead += better(rolls[j], rolls[i]) || (rolls[j] == rolls[i] && j < i);
        }
        result.kept[i] = ahead < magnitude;
    }
    result.total = sum_kept(result);
}

Result<void> roll_with_modifiers_into(RollResult& pool, Rng& rng, std::int32_t count, std::int32_t faces,
                                      const std::optional<KeepMode>& keep, const std::optional<Number>& bonus) {
    start_pool(pool);
    if (bonus) {
        const std::int64_t threshold = bonus->integer_view();
        if (count < 1 || faces < 2) return std::unexpected(PipwerkError::non_positive());
        draw_with_bonus(pool, rng, count, faces, threshold);
        if (keep && keep->n != 0) apply_keep_to_result(pool, signed_keep(*keep));
        return {};
    }
    if (const std::optional<PipwerkError> error = plain_limit_error(count, faces)) return std::unexpected(*error);
    draw_plain(pool, rng, count, faces);
    if (keep) apply_keep_to_result(pool, signed_keep(*keep));
    return {};
}

Result<RollResult> roll_with_modifiers(Rng& rng, std::int32_t count, std::int32_t faces,
                                       std::optional<KeepMode> keep, std::optional<Number> bonus) {
    Result<RollResult> rolled(std::in_place);
    if (Result<void> done = roll_with_modifiers_into(*rolled, rng, count, faces, keep, bonus); !done) {
        rolled = std::unexpected(done.error());
    }
    return rolled;
}

}  // namespace pipwerk
