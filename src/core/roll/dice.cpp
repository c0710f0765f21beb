#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
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

// The limits of a plain term, checked in this order before anything is drawn.
// Out of line: the roll itself stays a leaf without the error's set-up.
[[gnu::cold, gnu::noinline]] PipwerkError plain_limit_error(std::int32_t count, std::int32_t faces) noexcept {
    if (count < 1 || faces < 2) return PipwerkError::non_positive();
    if (count > kMaxDiceCount) return PipwerkError::dice_count_exceeds_max(count, kMaxDiceCount);
    return PipwerkError::dice_face_exceeds_max(faces, kMaxDiceFaces);
}

bool within_plain_limits(std::int32_t count, std::int32_t faces) noexcept {
    return count >= 1 && count <= kMaxDiceCount && faces >= 2 && faces <= kMaxDiceFaces;
}

// count plain dice into the pool; the limits are already checked. One call
// of the generator for the whole term. Every die is kept and none earned a bonus.
inline void draw_plain(RollResult& result, Rng& rng, std::int32_t count, std::int32_t faces) noexcept {
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
    result.total = rng.draw_dice(result.rolls.data(), count, faces);
    // The whole lists at their fixed size are a few wide stores; only the
    // dice drawn would be a call to memset.
    result.kept.fill(true);
    result.earned_bonus.fill(false);
}

// A term with a bonus threshold into the pool, before any keep. Out of line:
// the plain roll stays small.
[[gnu::noinline]] void draw_with_bonus(RollResult& result, Rng& rng, std::int32_t count, std::int32_t faces,
                                       std::int64_t threshold) noexcept {
    const std::size_t initial = std::min(static_cast<std::size_t>(count), kMaxPool);
    std::int64_t total = rng.draw_dice(result.rolls.data(), static_cast<std::int32_t>(initial), faces);
    // Every die, the bonus dice to come included, starts kept and without a bonus.
    result.kept.fill(true);
    result.earned_bonus.fill(false);
    // Bonus dice join the pool before the walk reaches them, so they can earn
    // bonuses of their own; once the pool is full nothing more is examined.
    std::size_t size = initial;
    for (std::size_t j = 0; j < size && size < kMaxPool; ++j) {
        if (result.rolls[j] >= threshold) {
            result.earned_bonus[j] = true;
            const std::int32_t die = rng.rand_range(1, faces);
            result.rolls[size++] = die;
            total += die;
        }
    }
    result.size = size;
    result.total = total;
}

// |s| in unsigned arithmetic, so the smallest int64 has a magnitude too.
std::uint64_t magnitude_of(std::int64_t s) noexcept {
    return s < 0 ? 0 - static_cast<std::uint64_t>(s) : static_cast<std::uint64_t>(s);
}

void keep_by_rank(RollResult& result, std::size_t size, std::uint64_t magnitude, bool highest) noexcept;

// Keeps |s| dice (0 < |s| < size) of a pool whose dice are all kept, and
// sets its total. Dice are kept by their place in the stable order: better
// values first, equal values in roll order.
inline void keep_from_all(RollResult& result, std::size_t size, std::uint64_t magnitude, bool highest) noexcept {
    // `better(a, b)`: value a comes before value b.
    const auto better = [highest](std::int32_t a, std::int32_t b) { return highest ? a > b : a < b; };
    const auto& rolls = result.rolls;
    if (magnitude + 1 == size) {
        // "Drop one" (4d6k3): the last die of the order goes, found in one
        // pass; among equal values the latest drawn is the last.
        std::size_t pick = 0;
        std::int64_t sum = rolls[0];
        for (std::size_t i = 1; i < size; ++i) {
            if (!better(rolls[i], rolls[pick])) pick = i;
            sum += rolls[i];
        }
        result.kept[pick] = false;
        result.total = sum - rolls[pick];
        return;
    }
    if (magnitude == 1) {
        // "Keep one" (advantage): the first die of the order stays.
        std::size_t pick = 0;
        for (std::size_t i = 1; i < size; ++i) {
            if (better(rolls[i], rolls[pick])) pick = i;
        }
        std::fill_n(result.kept.begin(), size, false);
        result.kept[pick] = true;
        result.total = rolls[pick];
        return;
    }
    keep_by_rank(result, size, magnitude, highest);
}

// Any other keep. A small pool is put in the order itself: each die becomes
// one integer key, its value (inverted for the lowest) above its place
// (inverted, so the earliest is the largest), and the keys are sorted by
// insertion, which for a dozen dice costs less than counting, for every
// die, the dice that come before it. In a larger one, where that would be
// quadratic, the |s|-th best value t is found by selection on a copy: the
// dice better than t come before it in the order, whatever their places, and
// of the dice equal to t the earliest drawn fill the rest of the |s|.
// Out of line: the usual keeps are the two above.
constexpr std::size_t kCountedPool = 12;

[[gnu::noinline]] void keep_by_rank(RollResult& result, std::size_t size, std::uint64_t magnitude,
                                    bool highest) noexcept {
    const auto better = [highest](std::int32_t a, std::int32_t b) { return highest ? a > b : a < b; };
    const auto& rolls = result.rolls;
    const auto m = static_cast<std::size_t>(magnitude);
    std::int64_t total = 0;
    if (size <= kCountedPool) {
        std::array<std::uint64_t, kCountedPool> keys{};
        for (std::size_t i = 0; i < size; ++i) {
            // The sign bit flipped: int32 order as unsigned order.
            const std::uint32_t value = static_cast<std::uint32_t>(rolls[i]) ^ 0x80000000U;
            const std::uint64_t key =
                (std::uint64_t{highest ? value : ~value} << 32) | ~static_cast<std::uint32_t>(i);
            std::size_t j = i;
            for (; j > 0 && keys[j - 1] < key; --j) keys[j] = keys[j - 1];
            keys[j] = key;
            result.kept[i] = false;
        }
        for (std::size_t j = 0; j < m; ++j) {
            const std::size_t i = ~static_cast<std::uint32_t>(keys[j]);
            result.kept[i] = true;
            total += rolls[i];
        }
        result.total = total;
        return;
    }
    std::array<std::int32_t, kMaxPool> order{};
    std::copy_n(rolls.begin(), size, order.begin());
    std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(m - 1),
                     order.begin() + static_cast<std::ptrdiff_t>(size), better);
    const std::int32_t t = order[m - 1];
    std::size_t ties = m;  // places left for dice equal to t
    for (std::size_t i = 0; i < size; ++i) ties -= better(rolls[i], t);
    for (std::size_t i = 0; i < size; ++i) {
        const bool tie = rolls[i] == t && ties > 0;
        ties -= tie;
        result.kept[i] = better(rolls[i], t) || tie;
        total += result.kept[i] ? rolls[i] : 0;
    }
    result.total = total;
}

}  // namespace

void apply_keep_to_result(RollResult& result, std::int64_t s) noexcept {
    const std::size_t size = pool_size(result);
    const std::uint64_t magnitude = magnitude_of(s);
    if (s == 0 || magnitude >= size) return;
    std::fill_n(result.kept.begin(), size, true);
    keep_from_all(result, size, magnitude, s > 0);
}

Result<void> roll_with_modifiers_into(RollResult& pool, Rng& rng, const DiceTerm& term) {
    if (!term.has_bonus && within_plain_limits(term.count, term.faces)) [[likely]] {
        draw_plain(pool, rng, term.count, term.faces);
    } else if (!term.has_bonus) {
        return std::unexpected(plain_limit_error(term.count, term.faces));
    } else if (term.count < 1 || term.faces < 2) {
        return std::unexpected(PipwerkError::non_positive());
    } else {
        draw_with_bonus(pool, rng, term.count, term.faces, term.bonus);
    }
    // A keep of 0 keeps every die, with or without a bonus; so does one of
    // the whole pool or more.
    const std::size_t size = pool_size(pool);
    if (const std::uint64_t magnitude = magnitude_of(term.keep); term.keep != 0 && magnitude < size) {
        keep_from_all(pool, size, magnitude, term.keep > 0);
    }
    return {};
}

Result<void> roll_with_modifiers_into(RollResult& pool, Rng& rng, std::int32_t count, std::int32_t faces,
                                      const std::optional<KeepMode>& keep, const std::optional<Number>& bonus) {
    return roll_with_modifiers_into(pool, rng, dice_term(count, faces, keep, bonus, std::nullopt));
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
