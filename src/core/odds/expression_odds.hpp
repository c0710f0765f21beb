#pragma once

#include <string_view>

#include "pipwerk/odds.hpp"
#include "work_budget.hpp"

namespace pipwerk::detail {

// odds(), charging its work to a budget the caller may share with more work.
[[nodiscard]] OddsResult<Odds> odds_within(std::string_view expression, WorkBudget& budget);

}  // namespace pipwerk::detail
