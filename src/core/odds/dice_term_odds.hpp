#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "dense_law.hpp"
#include "value_law.hpp"
#include "parser/ast.hpp"
#include "pipwerk/error.hpp"
#include "work_budget.hpp"

namespace pipwerk::detail {

// The distribution of a dice term's value (its sum, or its success count)
// for a term whose limits have been checked: count >= 1, faces >= 2, and
// without a bonus at most 50 dice of at most 1000 faces. The weights add up
// to one. Count and faces are the narrowed 32-bit values the roller gets.
//
// A bonus pool keeping some of its dice sums its bottom group's keeps beside
// each top group size either apart or folded into one pass (see
// kept_score); by default whichever takes fewer steps, or one way always, so
// that each can be checked against the other.
enum class BottomSum : std::uint8_t { Cheaper, Apart, Folded };
//
// Whatever is known from the term's numbers is checked before any law is
// built: a keep or a bonus pool of more than 1000 faces is refused, and so
// are dice all kept whose sums cost more steps than are left, or whose law
// would be more than the budget can hold (named as dice_term_of names it).
[[nodiscard]] Budgeted<DenseLaw> dice_term_law(const DiceExpr& dice, std::int32_t count, std::int32_t faces,
                                               WorkBudget& budget, BottomSum how = BottomSum::Cheaper);

// What dice_term_law does with a budget, worked out from the term's numbers
// alone (no law is built), for a forecast of the walk: after kTermSetUpSteps
// it refuses when `checked` steps are more than are left, and in all it
// spends at least `spent`. A term it refuses from its numbers is refused alike.
inline constexpr std::uint64_t kTermSetUpSteps = 64;
struct TermSteps {
    std::uint64_t checked;
    std::uint64_t spent;
};
[[nodiscard]] Budgeted<TermSteps> dice_term_steps(const DiceExpr& dice, std::int32_t count, std::int32_t faces);

// "a dice term of 50 dice of 1000 faces keeping the highest 25": what a
// refusal of dice_term_law's steps names.
[[nodiscard]] std::string describe_dice_term(const DiceExpr& dice, std::int32_t count, std::int32_t faces);

// The error every roll of the term ends with, if any: the roller's own checks
// of count, faces and modifiers. Only a term without one has a law.
[[nodiscard]] std::optional<PipwerkError> dice_term_failure(const DiceExpr& dice, std::int32_t count, std::int32_t faces);

// A dice term as its numbers: count, faces, and each modifier's parts. Equal
// keys roll alike, so a walk builds such a law once.
using TermKey = std::array<std::int64_t, 10>;
[[nodiscard]] TermKey term_key(const DiceExpr& dice, std::int32_t count, std::int32_t faces) noexcept;

// At least the values of the term's law, from its numbers: a sum's law runs
// from its least sum to its greatest, every one of them; a count of
// successes is taken as one value.
[[nodiscard]] LawShape dice_term_shape(const DiceExpr& dice, std::int32_t count, std::int32_t faces);

// "a dice term of 3997 outcomes": what holding a term's law is charged as.
[[nodiscard]] std::string dice_term_of(std::uint64_t size);

}  // namespace pipwerk::detail
