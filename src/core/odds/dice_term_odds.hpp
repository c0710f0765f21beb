#pragma once

#include <cstdint>

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
[[nodiscard]] Budgeted<DenseLaw> dice_term_law(const DiceExpr& dice, std::int32_t count, std::int32_t faces,
                                               WorkBudget& budget, BottomSum how = BottomSum::Cheaper);

}  // namespace pipwerk::detail
