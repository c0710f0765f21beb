#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "pipwerk/odds.hpp"

namespace pipwerk::detail {

// The elementary steps one odds() call may still take. Every costly step is
// charged before it runs (and before its memory is taken), so a refusal
// comes early and nothing large is ever allocated for work that is refused.
// With `parallel`, a large pass may run in two parts on two threads; it is
// then charged its longer part, the time the calling thread waits.
class WorkBudget {
public:
    explicit WorkBudget(std::uint64_t steps, bool parallel = true) noexcept : left_(steps), parallel_(parallel) {}

    // Takes `steps` from the budget, or refuses naming `what` is too large.
    [[nodiscard]] std::expected<void, OddsError> charge(std::uint64_t steps, const std::string& what) {
        if (steps > left_) return std::unexpected(too_large(what));
        left_ -= steps;
        return {};
    }

    [[nodiscard]] std::uint64_t left() const noexcept { return left_; }
    [[nodiscard]] bool parallel() const noexcept { return parallel_; }

    [[nodiscard]] static OddsError too_large(const std::string& what) {
        return OddsError{OddsError::Kind::TooLarge, "too large for exact odds: " + what};
    }

private:
    std::uint64_t left_;
    bool parallel_;
};

template <class T>
using Budgeted = std::expected<T, OddsError>;

// Outcome lists longer than this are refused whatever the budget: a list
// costs memory as well as time.
inline constexpr std::uint64_t kMaxOutcomes = std::uint64_t{1} << 21;

}  // namespace pipwerk::detail
