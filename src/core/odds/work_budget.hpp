#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "pipwerk/odds.hpp"

namespace pipwerk::detail {

// What one odds() call may still spend, in fixed units counted the same on
// every machine:
// - steps: one pair of outcomes combined, one cell of a dice table filled,
//   eight values of a dense law scaled and added, a set element made (a
//   unit is about a nanosecond and a quarter here);
// - outcomes held: every law the call keeps, by its number of values, from
//   when it is made until it is dropped, so that the memory held stays
//   bounded;
// - and, checked by the callers below, the distinct outcomes one operation
//   creates (kMaxOutcomes) and the size of what is returned
//   (kMaxReturnedOutcomes).
// Every costly step is charged before it runs (and before its memory is
// taken) wherever its size is known, so a refusal comes early and nothing
// large is allocated for work that is refused. A second thread only makes
// accepted work faster: it changes no charge.
class WorkBudget {
public:
    explicit WorkBudget(std::uint64_t steps, bool parallel = true) noexcept : left_(steps), parallel_(parallel) {}

    // Takes `steps` from the budget, or refuses naming `what` is too large.
    [[nodiscard]] std::expected<void, OddsError> charge(std::uint64_t steps, const std::string& what) {
        if (steps > left_) return std::unexpected(too_large(what));
        left_ -= steps;
        return {};
    }

    // A law of `size` values about to be made: held until the call ends, and
    // written a value a step.
    [[nodiscard]] std::expected<void, OddsError> hold(std::uint64_t size, const std::string& what);
    // Whether hold(size, what) would find room, refusing as it would; nothing is taken.
    [[nodiscard]] std::expected<void, OddsError> can_hold(std::uint64_t size, const std::string& what) const;
    // `n` more set elements about to be made (listed, repeated, or by a set
    // step): each costs its law's record, the reference to it and what it
    // returns, kStepsPerElement steps whatever its law. A refusal names all
    // the elements of the call.
    [[nodiscard]] std::expected<void, OddsError> make_elements(std::uint64_t n) {
        elements_ += n;
        return charge(n * kStepsPerElement, std::to_string(elements_) + " set elements in all");
    }
    static constexpr std::uint64_t kStepsPerElement = 1024;

    // A law of `size` values held no longer.
    void release(std::uint64_t size) noexcept { held_ -= size < held_ ? size : held_; }

    [[nodiscard]] std::uint64_t left() const noexcept { return left_; }
    [[nodiscard]] std::uint64_t held() const noexcept { return held_; }
    [[nodiscard]] bool parallel() const noexcept { return parallel_; }

    [[nodiscard]] static OddsError too_large(const std::string& what) {
        return OddsError{OddsError::Kind::TooLarge, "too large for exact odds: " + what};
    }

private:
    std::uint64_t left_;
    std::uint64_t held_ = 0;
    std::uint64_t elements_ = 0;
    bool parallel_;
};

template <class T>
using Budgeted = std::expected<T, OddsError>;

// Distinct outcomes one operation may create (a product of reals has very
// many): a table of them and its list take about 25 MiB at most.
inline constexpr std::uint64_t kMaxOutcomes = std::uint64_t{1} << 19;
// Values of all the laws one call holds at once, shared laws counted once.
inline constexpr std::uint64_t kMaxHeldOutcomes = std::uint64_t{1} << 22;
// Outcomes returned by one call, over all the elements of a set.
inline constexpr std::uint64_t kMaxReturnedOutcomes = std::uint64_t{1} << 21;

inline std::expected<void, OddsError> WorkBudget::can_hold(std::uint64_t size, const std::string& what) const {
    if (size <= kMaxHeldOutcomes - held_) return {};
    return std::unexpected(too_large(what + ", beside " + std::to_string(held_) + " outcomes already held (at most " +
                                     std::to_string(kMaxHeldOutcomes) + ")"));
}

inline std::expected<void, OddsError> WorkBudget::hold(std::uint64_t size, const std::string& what) {
    if (auto room = can_hold(size, what); !room) return room;
    if (auto ok = charge(size, what); !ok) return ok;
    held_ += size;
    return {};
}

}  // namespace pipwerk::detail
