#pragma once

#include <span>
#include <vector>

#include "parser/ast.hpp"
#include "work_budget.hpp"

namespace pipwerk::detail {

// What walks of parsed expressions will surely spend, worked out from their
// trees alone before any of them runs, so that a call whose sizes already
// decide a refusal is refused at once rather than after the work before it
// (49d1000b500k48 - 49d1000b500k48 builds the term, then cannot afford the
// difference). It follows each walk in its order, charging a copy of the
// budget as the walk would: the dice terms it builds (each distinct term
// once), the set elements it makes, the constants it holds, and the
// operations whose operands' sizes the terms' numbers give. It stops where
// the walk might end early (a term or a constant that may fail, a divisor
// that may be all zeros), and counts no more than the walk spends, so it
// refuses only what the walk would refuse, naming what the walk would name
// where the sizes it reads are the laws' own.
class SpendForecast {
public:
    explicit SpendForecast(const WorkBudget& budget) : budget_(budget) {}

    // Adds the walk of `root` in `ast` (each walk looks up its own terms).
    [[nodiscard]] Budgeted<void> add(const Ast& ast, ExprId root);

private:
    WorkBudget budget_;
};

// The left spine of a chain of scalar operations as the evaluator walks it,
// from the top: the first operation done is the last.
[[nodiscard]] std::vector<const BinaryExpr*> rand_spine(const Ast& ast, const BinaryExpr& top);

// A long chain of sums and differences of dice terms and constants
// ("1d6 + 1d6 + ..."): every law's size is known before any is computed, so
// a chain whose convolutions pass what is left is refused before its first
// step, naming the whole of it. Charges nothing.
[[nodiscard]] Budgeted<void> check_sum_chain(const Ast& ast, std::span<const BinaryExpr* const> spine,
                                             const WorkBudget& budget);

}  // namespace pipwerk::detail
