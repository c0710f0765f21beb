#pragma once

#include <cstdint>
#include <string>

#include "dense_law.hpp"
#include "parser/ast.hpp"
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
// alone (no law is built), for a forecast of the walk: after the set-up it
// refuses when `checked` steps are more than are left, and in all it spends
// at least `spent`. A term it refuses from its numbers is refused alike.
struct TermSteps {
    std::uint64_t checked;
    std::uint64_t spent;
};
[[nodiscard]] Budgeted<TermSteps> dice_term_steps(const DiceExpr& dice, std::int32_t count, std::int32_t faces);

// "a dice term of 50 dice of 1000 faces keeping the highest 25": what a
// refusal of dice_term_law's steps names.
[[nodiscard]] std::string describe_dice_term(const DiceExpr& dice, std::int32_t count, std::int32_t faces);

// "a dice term of 3997 outcomes": what holding a term's law is charged as.
[[nodiscard]] std::string dice_term_of(std::uint64_t size);

}  // namespace pipwerk::detail
