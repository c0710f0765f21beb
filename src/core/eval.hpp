#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"
#include "eval/observer.hpp"
#include "small_vector.hpp"
#include "text_buffer.hpp"

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
    void append_detail(std::string& out) const;
    void append_summary(std::string& out) const;
    void append_full(std::string& out) const;
    void append_detail(TextBuffer& out) const;
    [[nodiscard]] std::string detail() const;
    [[nodiscard]] std::string summary() const;
    [[nodiscard]] std::string full() const;
    [[nodiscard]] std::vector<Number> values() const;

private:
    std::variant<ScalarValue, Set> value_;
};

// Arithmetic of two numbers: Int op Int stays Int (wrapping; exact division
// only), anything with a real is Real; a zero divisor is an error.
[[nodiscard]] Result<Number> apply_binop(BinaryOp op, Number left, Number right) noexcept;
[[nodiscard]] Number negate(Number value) noexcept;
// The value of one element of a set operation: apply_binop, except that a
// zero divisor makes the element Int 0 (its detail still shows the division).
[[nodiscard]] Number apply_binop_or_zero(BinaryOp op, Number left, Number right) noexcept;
// "left s right", dropping the side (and its space) whose text is empty.
[[nodiscard]] std::string format_binop_detail(BinaryOp op, std::string_view left, std::string_view right);

// Element-wise operations over sets (broadcasting a lone element); a zero
// divisor makes that element Int 0 instead of failing.
[[nodiscard]] Result<EvalValue> binary_set_set(BinaryOp op, EvalValue left, EvalValue right);
[[nodiscard]] Result<EvalValue> binary_set_scalar(BinaryOp op, EvalValue set, Number scalar,
                                                  std::string scalar_detail, bool set_on_left);

// Evaluation by level: const (no dice), rand (dice), pipwerk (sets and repeats).
[[nodiscard]] Result<EvalValue> evaluate(const Ast& ast, ExprId root, Rng& rng);
// evaluate for the roll pipeline, which keeps only texts and numbers: the
// result's detail text (a scalar's, or a whole set's as EvalValue::detail
// renders it) is appended to `detail` and its numbers (one for a scalar, one
// per element for a set) to `numbers`, which starts empty. Gives whether the
// result is a set.
[[nodiscard]] Result<bool> evaluate_into(const Ast& ast, ExprId root, Rng& rng, TextBuffer& detail,
                                         SmallVector<Number, 8>& numbers);
// The same numbers, from the same draws, without writing any text at all.
[[nodiscard]] Result<bool> evaluate_values(const Ast& ast, ExprId root, Rng& rng, SmallVector<Number, 8>& numbers);
// Both, reporting every node's value to an observer (eval/observer.hpp), for trace.
template <class Observer>
[[nodiscard]] Result<bool> evaluate_into(const Ast& ast, ExprId root, Rng& rng, TextBuffer& detail,
                                         SmallVector<Number, 8>& numbers, detail::ObserverRef<Observer> observer);
template <class Observer>
[[nodiscard]] Result<bool> evaluate_values(const Ast& ast, ExprId root, Rng& rng, SmallVector<Number, 8>& numbers,
                                           detail::ObserverRef<Observer> observer);
// The summary text of a result given by its numbers, as EvalValue::summary
// renders the value: the one number of a scalar, a set's in braces.
void append_summary(TextBuffer& out, std::span<const Number> numbers, bool is_set);
[[nodiscard]] Result<Number> eval_const(const Ast& ast, ExprId node);
[[nodiscard]] Result<ScalarValue> eval_rand(const Ast& ast, ExprId node, Rng& rng);
[[nodiscard]] Result<ScalarValue> eval_rand_or_const(const Ast& ast, ExprId node, Rng& rng);
[[nodiscard]] Result<EvalValue> eval_pipwerk(const Ast& ast, ExprId node, Rng& rng);

}  // namespace pipwerk
