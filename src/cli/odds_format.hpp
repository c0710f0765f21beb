#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "pipwerk/odds.hpp"

namespace pipwerk::cli {

// The columns an odds picture may use: the terminal's width, else $COLUMNS,
// else 80.
[[nodiscard]] std::size_t terminal_width(std::FILE* out);

// One line, in the compact form of the roll objects:
// {"expression":...,"consumed":...,"tail":...,"is_set":false,
//  "distribution":[[value,probability],...],"mean":...,"stdev":...,"variance":...,
//  "min":...,"max":...,"median":...,"mode":...,"errors":{"message":probability,...}}
// A set has "elements":[{"distribution":...,"mean":...},...] instead of the
// distribution and statistics. NaN and the infinities are null.
void append_odds_json(std::string& out, std::string_view expression, const Odds& odds);

// {"expression":A,"vs":B,"consumed":...,"tail":...,"greater":P(A > B),"equal":...,"less":...,
//  "failure":P(either fails),"unordered":P(a NaN, so no order)}; consumed and tail are A's.
void append_comparison_json(std::string& out, std::string_view a, std::string_view b, std::string_view consumed,
                            std::string_view tail, const Comparison& comparison);

// The rows the picture or the JSON line of these odds lists: every outcome
// of every element in JSON; in the picture with every_outcome, those of the
// blocks drawn (picture_blocks: a run of identical elements is drawn once).
[[nodiscard]] std::size_t listed_outcomes(const Odds& odds, bool json);

}  // namespace pipwerk::cli
