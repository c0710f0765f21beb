#pragma once

// The evaluator's result as one value with a text per element: a form the
// tests read results in. The engine itself keeps only numbers and one text
// buffer (evaluate_into, evaluate_values); these adapters build this form
// from the same walks.

#include <string>
#include <variant>
#include <vector>

#include "eval.hpp"

namespace pipwerk {

// One number with the trace of how it came about ("[4] + 2").
struct ScalarValue {
    Number value;
    std::string detail;
};

// The value of an expression: one scalar, or an ordered set of them.
class EvalValue {
public:
    using Set = std::vector<ScalarValue>;

    EvalValue(ScalarValue scalar) : value_(std::move(scalar)) {}
    EvalValue(Set set) : value_(std::move(set)) {}

    [[nodiscard]] bool is_set() const noexcept { return std::holds_alternative<Set>(value_); }
    [[nodiscard]] const ScalarValue* scalar() const noexcept { return std::get_if<ScalarValue>(&value_); }
    [[nodiscard]] const Set* set() const noexcept { return std::get_if<Set>(&value_); }
    [[nodiscard]] ScalarValue* scalar() noexcept { return std::get_if<ScalarValue>(&value_); }
    [[nodiscard]] Set* set() noexcept { return std::get_if<Set>(&value_); }

    // Renderings: detail ("{[4], [2]}"), summary ("{4, 2}"), full (detail " = "
    // summary, or just the summary for a scalar without detail) and the numbers.
    void append_full(std::string& out) const;
    [[nodiscard]] std::string detail() const;
    [[nodiscard]] std::string summary() const;
    [[nodiscard]] std::string full() const;
    [[nodiscard]] std::vector<Number> values() const;

private:
    std::variant<ScalarValue, Set> value_;
};

// Element-wise operations over sets (broadcasting a lone element); a zero
// divisor makes that element Int 0 instead of failing.
[[nodiscard]] Result<EvalValue> binary_set_set(BinaryOp op, EvalValue left, EvalValue right);
[[nodiscard]] Result<EvalValue> binary_set_scalar(BinaryOp op, EvalValue set, Number scalar,
                                                  std::string scalar_detail, bool set_on_left);

// Evaluation by level: rand (dice), pipwerk (sets and repeats), or whichever the root is.
[[nodiscard]] Result<EvalValue> evaluate(const Ast& ast, ExprId root, Rng& rng);
[[nodiscard]] Result<ScalarValue> eval_rand(const Ast& ast, ExprId node, Rng& rng);
[[nodiscard]] Result<ScalarValue> eval_rand_or_const(const Ast& ast, ExprId node, Rng& rng);
[[nodiscard]] Result<EvalValue> eval_pipwerk(const Ast& ast, ExprId node, Rng& rng);

}  // namespace pipwerk
