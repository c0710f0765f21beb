#pragma once

#include <string>
#include <string_view>

#include "pipwerk/odds.hpp"

namespace pipwerk::detail {

// How compare() words what it cannot answer, for a caller that shows it its
// own way; the defaults are compare()'s.
struct CompareTerms {
    // A side whose every roll fails is an error with the roll's message, as
    // odds() has it, rather than failure 1.
    bool certain_failure_is_error = false;
    // Appends the user's text that a refusal quotes; null: the text as it is.
    void (*quote)(std::string& out, std::string_view text) = nullptr;
};

[[nodiscard]] OddsResult<Comparison> compare_on_terms(std::string_view a, std::string_view b,
                                                      const OddsOptions& options, const CompareTerms& terms);

}  // namespace pipwerk::detail
