#pragma once

#include <cstddef>
#include <string_view>

namespace pipwerk {

// The input cut into a prefix that may parse and a rest that cannot: the cut
// falls on a line feed, a comma outside braces, an unmatched closing bracket,
// or the earliest bracket that is never closed.
struct ScanResult {
    std::string_view prefix;  // input before the cut
    std::string_view rest;    // input from the cut on (starts with the stopping character)
    std::size_t cut;          // == prefix.size()
};

[[nodiscard]] ScanResult scan(std::string_view input);

}  // namespace pipwerk
