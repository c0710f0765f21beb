// The odds mode of the roller: the same input loop, echo and line pairing as
// rolling, with the exact odds of each expression as the answer.
#include <string>

#include "odds_format.hpp"
#include "roller.hpp"
#include "safe_echo.hpp"

namespace pipwerk::cli {
namespace {

// At most this many outcomes are listed for one expression (about 50 MB of
// JSON); past it the output is refused rather than written.
constexpr std::size_t kMaxListedOutcomes = 1'000'000;

}  // namespace

void Roller::odds_once(std::string_view expression) {
    const OddsResult<Odds> result = odds(expression);
    if (!result) {
        fail(expression, result.error().message);
        return;
    }
    if (too_many_outcomes(expression, *result)) return;
    line_.clear();
    if (options_.json) {
        append_odds_json(line_, expression, *result);
    } else {
        append_picture(*result, expression);
    }
    emit_line();
    note_unparsed(result->consumed, result->tail);
}

void Roller::append_picture(const Odds& odds, std::string_view fallback_label) {
    // Pictures of a filter's inputs are parted by a blank line; at the prompt, by the prompt.
    if (answered_ && audience_ == Audience::Filter) line_ += '\n';
    answered_ = true;
    std::string label;
    append_safe_echo(label, odds.parsed ? std::string_view(odds.consumed) : fallback_label);
    line_ += render_odds(odds, label,
                         OddsTextOptions{.width = width_, .ascii = options_.ascii, .every_outcome = options_.every_outcome});
}

bool Roller::too_many_outcomes(std::string_view expression, const Odds& odds) {
    const std::size_t listed = options_.json || options_.every_outcome ? listed_outcomes(odds, options_.json) : 0;
    if (listed <= kMaxListedOutcomes) return false;
    fail(expression, "too many outcomes to print: " + std::to_string(listed) + " (at most " +
                         std::to_string(kMaxListedOutcomes) + ")" +
                         (options_.json ? "" : "; without --all they are grouped"));
    return true;
}

}  // namespace pipwerk::cli
