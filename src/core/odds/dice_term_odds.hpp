#pragma once

#include <cstdint>

#include "dense_law.hpp"
#include "pipwerk/parser/ast.hpp"
#include "work_budget.hpp"

namespace pipwerk::detail {

// The distribution of a dice term's value (its sum, or its success count)
// for a term whose limits have been checked: count >= 1, faces >= 2, and
// without a bonus at most 50 dice of at most 1000 faces. The weights add up
// to one. Count and faces are the narrowed 32-bit values the roller gets.
[[nodiscard]] Budgeted<DenseLaw> dice_term_law(const DiceExpr& dice, std::int32_t count, std::int32_t faces,
                                               WorkBudget& budget);

}  // namespace pipwerk::detail
