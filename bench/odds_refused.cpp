// Lists the dice terms within the roll limits that exact odds refuse under
// the default budget: bonus terms of many faces keeping most of a large
// pool, whose passes would take more than the budget's second on one core.
// For each count of dice, keep and direction it prints the thresholds
// refused, as ranges ("49d1000 k48: b621-985").
//
//   odds_refused [FACES [COUNT...]]   (default 1000 faces, counts 1 .. 49)
//
// A term is refused when what its passes surely take, worked out from its
// numbers alone, is more than the budget; a term within 2% of it is decided
// by asking for its odds. Plain dice (no bonus, or one no face reaches) and
// success counts are never refused within the limits; neither is a pool of
// 50 dice or more, which gets no bonus dice.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "odds/dice_term_odds.hpp"
#include "pipwerk/odds.hpp"

namespace {

bool refused(int count, int faces, int threshold, int keep, bool lowest) {
    const pipwerk::DiceExpr dice{
        .count = pipwerk::Number::make_int(count),
        .faces = pipwerk::Number::make_int(faces),
        .keep = pipwerk::KeepMode{lowest ? pipwerk::KeepMode::Dir::Low : pipwerk::KeepMode::Dir::High, keep},
        .bonus = pipwerk::Number::make_int(threshold),
        .comparison = {}};
    const std::uint64_t budget = pipwerk::OddsOptions{}.work_budget;
    const auto steps = pipwerk::detail::dice_term_steps(dice, count, faces);
    if (!steps) return true;
    const std::uint64_t checked = pipwerk::detail::kTermSetUpSteps + steps->checked;
    if (checked > budget) return true;
    if (checked < budget - budget / 50) return false;
    const std::string text = std::to_string(count) + "d" + std::to_string(faces) + "b" + std::to_string(threshold) +
                             (lowest ? "kl" : "k") + std::to_string(keep);
    return !pipwerk::odds(text).has_value();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        int n = 0;
        if (std::from_chars(arg.data(), arg.data() + arg.size(), n).ec == std::errc() && n > 0) numbers.push_back(n);
    }
    const int faces = numbers.empty() ? 1000 : numbers.front();
    std::vector<int> counts(numbers.size() > 1 ? numbers.begin() + 1 : numbers.end(), numbers.end());
    if (counts.empty()) {
        for (int c = 1; c < 50; ++c) counts.push_back(c);
    }
    int shapes = 0;
    for (const int count : counts) {
        for (const bool lowest : {false, true}) {
            for (int keep = 1; keep <= 50; ++keep) {
                std::string bands;
                int first = 0;
                for (int t = 1; t <= faces + 1; ++t) {
                    const bool out = t <= faces && refused(count, faces, t, keep, lowest);
                    if (out && first == 0) first = t;
                    if (out || first == 0) continue;
                    bands += bands.empty() ? " b" : ", b";
                    bands += std::to_string(first);
                    if (t - 1 > first) {
                        bands += '-';
                        bands += std::to_string(t - 1);
                    }
                    shapes += t - first;
                    first = 0;
                }
                if (!bands.empty()) std::printf("%dd%d %s%d:%s\n", count, faces, lowest ? "kl" : "k", keep, bands.c_str());
                std::fflush(stdout);
            }
        }
    }
    std::printf("%d faces: %d terms refused\n", faces, shapes);
    return 0;
}
