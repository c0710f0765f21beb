#pragma once

#include <string_view>

#include "parser/parser.hpp"
#include "pipwerk/odds.hpp"
#include "work_budget.hpp"

namespace pipwerk::detail {

// odds(), charging its work to a budget the caller may share with more work.
// What the walk will surely spend is forecast first (spend_forecast.hpp).
[[nodiscard]] OddsResult<Odds> odds_within(std::string_view expression, WorkBudget& budget);

// The same for an expression already parsed, with no forecast: the caller
// has made it, for all the walks the budget is to pay for.
[[nodiscard]] OddsResult<Odds> odds_of_parsed(const ParseOutcome& parsed, WorkBudget& budget);

}  // namespace pipwerk::detail
