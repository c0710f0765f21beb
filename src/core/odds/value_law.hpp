#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dense_law.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "work_budget.hpp"

namespace pipwerk::detail {

// The distribution of one number, keyed by the exact Number (its kind and
// its 64 bits): an Int and a Real of equal value differ in later arithmetic.
// Whole numbers in a compact range are held densely (dice sums), anything
// else as a list of distinct numbers with their weights.
struct ValueLaw {
    bool dense = true;
    DenseLaw ints;                                // when dense: Int values ints.lo ...
    std::vector<std::pair<Number, double>> list;  // otherwise
    // The seed of the table of outcomes whose order `list` is in, if any: a
    // table seeded alike would pile the list up in one run of slots.
    std::optional<std::uint64_t> order;

    [[nodiscard]] static ValueLaw constant(Number value);
    [[nodiscard]] static ValueLaw of_ints(DenseLaw ints);
    [[nodiscard]] std::size_t size() const noexcept { return dense ? ints.size() : list.size(); }

    // Calls f(number, weight) for every value of nonzero weight.
    template <class F>
    void for_each(F&& f) const {
        if (!dense) {
            for (const auto& [n, w] : list) f(n, w);
            return;
        }
        for (std::size_t i = 0; i < ints.size(); ++i) {
            if (ints.p[i] != 0.0) f(Number::make_int(ints.lo + static_cast<std::int64_t>(i)), ints.p[i]);
        }
    }
};

// The law of `left op right` for independent operands, as apply_binop
// computes each pair. Pairs that fail (a zero divisor) are left out and their
// weight returned in `failed`; with or_zero they give Int 0 instead, as
// inside a set. The result's weights add up to the weight that did not fail.
[[nodiscard]] Budgeted<ValueLaw> combine(BinaryOp op, const ValueLaw& left, const ValueLaw& right, bool or_zero,
                                         double& failed, WorkBudget& budget);

// What combine() charges for `left op right`, known before any of it is
// done: a convolution of dense whole numbers takes a multiply-add per pair,
// kConvolvedPairsPerStep to a step; any other pair goes through the roller's
// own arithmetic and a table of outcomes, kStepsPerPair while the table may
// stay in the processor's cache (at most kCachedPairs pairs) and
// kStepsPerFarPair past that, where nearly every pair is a cache miss. Each
// distinct outcome it creates costs kStepsPerNewOutcome more, charged when
// it is known.
inline constexpr std::uint64_t kConvolvedPairsPerStep = 2;
inline constexpr std::uint64_t kCachedPairs = std::uint64_t{1} << 16;
inline constexpr std::uint64_t kStepsPerPair = 32;
inline constexpr std::uint64_t kStepsPerFarPair = 64;
inline constexpr std::uint64_t kStepsPerNewOutcome = 32;
[[nodiscard]] std::uint64_t combine_steps(BinaryOp op, const ValueLaw& left, const ValueLaw& right) noexcept;

// What combine() costs depends on its operands' sizes and on whether they
// are dense whole numbers, and of what range: known of a law before it is
// built, for a forecast. A law's own shape, and combine_steps for shapes.
struct LawShape {
    std::uint64_t size = 0;
    bool dense = false;
    std::int64_t lo = 0, hi = 0;  // when dense: its first and last values
};
[[nodiscard]] LawShape shape_of(const ValueLaw& law) noexcept;
[[nodiscard]] std::uint64_t combine_steps(BinaryOp op, const LawShape& left, const LawShape& right) noexcept;
// The shape of `left op right` when combine() convolves them.
[[nodiscard]] std::optional<LawShape> convolved(BinaryOp op, const LawShape& left, const LawShape& right) noexcept;

// "a product of 1000 by 1000 outcomes": what a refusal of combine() names.
[[nodiscard]] std::string product_of(std::size_t a, std::size_t b);

// The law of the negated number.
[[nodiscard]] Budgeted<ValueLaw> negated(const ValueLaw& law, WorkBudget& budget);

// Every weight divided by `total`.
void scale(ValueLaw& law, double factor);

}  // namespace pipwerk::detail
