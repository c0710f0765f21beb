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

OddsTextOptions Roller::text_options() const noexcept {
    return {.width = width_, .ascii = options_.ascii, .every_outcome = options_.every_outcome};
}

void Roller::odds_once(std::string_view expression) {
    if (options_.versus) {
        versus_once(expression, *options_.versus);
        return;
    }
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
        start_picture();
        append_picture(*result, expression);
    }
    emit_line();
    note_unparsed(result->consumed, result->tail);
}

void Roller::start_picture() {
    // Pictures of a filter's inputs are parted by a blank line; at the prompt, by the prompt.
    if (answered_ && audience_ == Audience::Filter) line_ += '\n';
    answered_ = true;
}

void Roller::append_picture(const Odds& odds, std::string_view fallback_label) {
    std::string label;
    append_safe_echo(label, odds.parsed ? std::string_view(odds.consumed) : fallback_label);
    line_ += render_odds(odds, label, text_options());
}

void Roller::versus_once(std::string_view a, std::string_view b) {
    // One rule for the picture and the JSON: a side whose every roll fails is
    // that roll's error, as odds of it alone are; a side that only may fail
    // gives the failure's chance. A refusal quotes the text through the echo.
    constexpr CompareTerms kTerms{
        .certain_failure_is_error = true,
        .quote = [](std::string& out, std::string_view text) { append_safe_echo(out, text); },
    };
    const OddsResult<Comparison> comparison = compare(a, b, {}, kTerms);
    if (!comparison) {
        fail(a, comparison.error().message);
        return;
    }
    line_.clear();
    const ParseOutput parsed = parse(a);
    if (options_.json) {
        append_comparison_json(line_, a, b, parsed.consumed, parsed.tail, *comparison);
    } else {
        // The two pictures, then the three figures under them.
        const OddsResult<Odds> a_odds = odds(a);
        const OddsResult<Odds> b_odds = odds(b);
        if (!a_odds || !b_odds) {
            fail(a, (a_odds ? b_odds.error() : a_odds.error()).message);
            return;
        }
        if (too_many_outcomes(a, *a_odds) || too_many_outcomes(a, *b_odds)) return;
        start_picture();
        append_picture(*a_odds, a);
        line_ += '\n';
        append_picture(*b_odds, b);
        std::string a_label;
        std::string b_label;
        append_safe_echo(a_label, a_odds->consumed);
        append_safe_echo(b_label, b_odds->consumed);
        line_ += '\n';
        line_ += render_comparison(*comparison, a_label, b_label, text_options());
    }
    emit_line();
    note_unparsed(parsed.consumed, parsed.tail);
    if (!versus_noted_) {
        // The tail of B is the same for every A, and no output line carries
        // it: reported once, in every mode.
        versus_noted_ = true;
        if (const ParseOutput b_parsed = parse(b); !b_parsed.tail.empty()) {
            ignored_ = true;
            report_ignored("ignored in --vs: ", b_parsed.tail);
        }
    }
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
