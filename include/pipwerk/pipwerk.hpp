#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipwerk/error.hpp"

namespace pipwerk {

struct RollOptions {
    std::optional<std::uint64_t> seed;  // absent: seeded from the clock
    bool show_detail = true;
};

// A whole roll, flattened for the caller.
struct RollOutput {
    std::string consumed;
    std::string tail;
    std::string summary;
    std::string detail;  // empty without show_detail
    std::string full;    // the summary alone without show_detail
    bool is_set = false;
    std::vector<double> values;
};

// Parses, seeds, evaluates and renders one expression. Text that does not
// parse is returned in the tail, never an error; only evaluation fails.
[[nodiscard]] Result<RollOutput> roll(std::string_view expression, const RollOptions& options);

}  // namespace pipwerk
