#pragma once

// Rolls of plain dice, with a signed keep count, for tests that look at one
// step of the roller; the evaluator rolls every term through
// roll_with_modifiers_into.

#include <cstdint>

#include "roll.hpp"

namespace pipwerk {

// count plain dice of the given faces; checks the limits first and draws nothing on failure.
[[nodiscard]] inline Result<RollResult> roll_base(Rng& rng, std::int32_t count, std::int32_t faces) {
    Result<RollResult> rolled(std::in_place);
    const DiceTerm term{.count = count, .faces = faces};
    if (Result<void> done = roll_with_modifiers_into(*rolled, rng, term); !done) rolled = std::unexpected(done.error());
    return rolled;
}

// roll_base, then keep: s > 0 keeps the s highest, s < 0 the |s| lowest, 0 all.
[[nodiscard]] inline Result<RollResult> roll_rdk(Rng& rng, std::int32_t count, std::int32_t faces, std::int64_t s) {
    Result<RollResult> rolled = roll_base(rng, count, faces);
    if (rolled) apply_keep_to_result(*rolled, s);
    return rolled;
}

}  // namespace pipwerk
