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

// Arithmetic of two numbers: Int op Int stays Int (wrapping; exact division
// only), anything with a real is Real; a zero divisor is an error.
[[nodiscard]] Result<Number> apply_binop(BinaryOp op, Number left, Number right) noexcept;
[[nodiscard]] Number negate(Number value) noexcept;
// The value of one element of a set operation: apply_binop, except that a
// zero divisor makes the element Int 0 (its detail still shows the division).
[[nodiscard]] Number apply_binop_or_zero(BinaryOp op, Number left, Number right) noexcept;
// "left s right", dropping the side (and its space) whose text is empty.
[[nodiscard]] std::string format_binop_detail(BinaryOp op, std::string_view left, std::string_view right);

// Evaluation for the roll pipeline, which keeps only texts and numbers: the
// result's detail text (a scalar's, or a whole set's in braces) is appended
// to `detail` and its numbers (one for a scalar, one per element for a set) to `numbers`, which starts empty. Gives whether the
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
// The summary text of a result given by its numbers: the one number of a
// scalar, a set's in braces.
void append_summary(TextBuffer& out, std::span<const Number> numbers, bool is_set);
[[nodiscard]] Result<Number> eval_const(const Ast& ast, ExprId node);

}  // namespace pipwerk
