#pragma once

// How two sets meet in an operation: a lone element on either side meets
// every element of the other (the right side's is looked at first), otherwise
// elements pair by position and the longer set's extra elements are dropped.
// The evaluator and the odds engine both pair by this rule.

#include <algorithm>
#include <cstddef>

namespace pipwerk::detail {

enum class SetPairing {
    LoneRight,   // every left element with the right's one
    LoneLeft,    // the left's one with every right element
    ByPosition,  // element i with element i, up to the shorter set
};

[[nodiscard]] constexpr SetPairing set_pairing(std::size_t left, std::size_t right) noexcept {
    if (right == 1) return SetPairing::LoneRight;
    if (left == 1) return SetPairing::LoneLeft;
    return SetPairing::ByPosition;
}

// The number of elements of the result.
[[nodiscard]] constexpr std::size_t paired_size(std::size_t left, std::size_t right) noexcept {
    switch (set_pairing(left, right)) {
        case SetPairing::LoneRight: return left;
        case SetPairing::LoneLeft: return right;
        case SetPairing::ByPosition: break;
    }
    return std::min(left, right);
}

}  // namespace pipwerk::detail
