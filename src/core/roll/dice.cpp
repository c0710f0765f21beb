#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "pipwerk/error.hpp"
#include "pipwerk/number.hpp"
#include "pipwerk/parser/ast.hpp"
#include "pipwerk/rng.hpp"
#include "pipwerk/roll.hpp"

namespace pipwerk {
namespace {

// The pool size as a bound for loops over the inline lists.
std::size_t pool_size(const RollResult& result) noexcept { return std::min(result.size, kMaxPool); }

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

Result<RollResult> roll_with_bonus(Rng& rng, std::int32_t count, std::int32_t faces,
                                   const std::optional<KeepMode>& keep, const Number& bonus) {
    const std::int64_t threshold = bonus.integer_view();
    if (count < 1 || faces < 2) return std::unexpected(PipwerkError::non_positive());

    RollResult result;
    while (result.size < static_cast<std::size_t>(count) && result.size < kMaxPool) {
        append_die(result, rng.rand_range(1, faces));
    }
    // Bonus dice join the pool before the walk reaches them, so they can earn
    // bonuses of their own; once the pool is full nothing more is examined.
    for (std::size_t j = 0; j < result.size && result.size < kMaxPool; ++j) {
        if (result.rolls[j] >= threshold) {
            result.earned_bonus[j] = true;
            append_die(result, rng.rand_range(1, faces));
        }
    }
    result.total = sum_kept(result);
    if (keep && keep->n != 0) apply_keep_to_result(result, signed_keep(*keep));
    return result;
}

}  // namespace

Result<RollResult> roll_base(Rng& rng, std::int32_t count, std::int32_t faces) {
    if (count < 1 || faces < 2) return std::unexpected(PipwerkError::non_positive());
    if (count > kMaxDiceCount) return std::unexpected(PipwerkError::dice_count_exceeds_max(count, kMaxDiceCount));
    if (faces > kMaxDiceFaces) return std::unexpected(PipwerkError::dice_face_exceeds_max(faces, kMaxDiceFaces));

    RollResult result;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t value = rng.rand_range(1, faces);
        append_die(result, value);
        result.total += value;
    }
    return result;
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

    // Stable insertion sort of the positions: at most 50 of them, and no
    // allocation. A strict comparison keeps equal values in roll order.
    const bool highest = s > 0;
    const auto before = [&](std::uint8_t a, std::uint8_t b) {
        return highest ? result.rolls[a] > result.rolls[b] : result.rolls[a] < result.rolls[b];
    };
    std::array<std::uint8_t, kMaxPool> order{};
    for (std::size_t i = 0; i < size; ++i) {
        const auto pos = static_cast<std::uint8_t>(i);
        std::size_t j = i;
        for (; j > 0 && before(pos, order[j - 1]); --j) order[j] = order[j - 1];
        order[j] = pos;
    }

    std::fill_n(result.kept.begin(), size, false);
    for (std::size_t i = 0; i < magnitude; ++i) result.kept[order[i]] = true;
    result.total = sum_kept(result);
}

Result<RollResult> roll_with_modifiers(Rng& rng, std::int32_t count, std::int32_t faces,
                                       std::optional<KeepMode> keep, std::optional<Number> bonus) {
    if (bonus) return roll_with_bonus(rng, count, faces, keep, *bonus);
    if (keep) return roll_rdk(rng, count, faces, signed_keep(*keep));
    return roll_base(rng, count, faces);
}

}  // namespace pipwerk
