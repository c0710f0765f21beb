#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "pipwerk/eval.hpp"

namespace pipwerk {
namespace {


// e = e op b, in place: the left text grows where it is.
void combine_on_left(ScalarValue& e, BinaryOp op, Number b, std::string_view b_detail) {
    e.value = apply_binop_or_zero(op, e.value, b);
    append_binop_detail(e.detail, op, b_detail);
}

// e = a op e, in place.
void combine_on_right(ScalarValue& e, BinaryOp op, Number a, std::string_view a_detail) {
    e.value = apply_binop_or_zero(op, a, e.value);
    std::string detail;
    detail.reserve(a_detail.size() + 3 + e.detail.size());
    detail += a_detail;
    append_binop_detail(detail, op, e.detail);
    e.detail = std::move(detail);
}

PipwerkError expected_set() noexcept { return PipwerkError::parse(ParseMessage::ExpectedSet); }

}  // namespace

Number apply_binop_or_zero(BinaryOp op, Number left, Number right) noexcept {
    const Result<Number> value = apply_binop(op, left, right);
    return value ? *value : Number::make_int(0);
}

void apply_set_set(BinaryOp op, EvalValue::Set& left, EvalValue::Set& right) {
    // A lone element on one side meets every element of the other; the result
    // is built in place in the longer list.
    if (left.size() == 1 && right.size() >= 2) {
        const ScalarValue& lone = left.front();
        for (ScalarValue& e : right) combine_on_right(e, op, lone.value, lone.detail);
        left = std::move(right);
        return;
    }
    if (right.size() == 1 && left.size() >= 2) {
        const ScalarValue& lone = right.front();
        for (ScalarValue& e : left) combine_on_left(e, op, lone.value, lone.detail);
        return;
    }
    // Otherwise pair by position; the longer list's extra elements are dropped.
    const std::size_t n = std::min(left.size(), right.size());
    left.erase(left.begin() + static_cast<std::ptrdiff_t>(n), left.end());
    for (std::size_t i = 0; i < n; ++i) combine_on_left(left[i], op, right[i].value, right[i].detail);
}

void apply_set_scalar(BinaryOp op, EvalValue::Set& set, Number scalar, std::string_view scalar_detail,
                      bool set_on_left) {
    for (ScalarValue& e : set) {
        if (set_on_left) {
            combine_on_left(e, op, scalar, scalar_detail);
        } else {
            combine_on_right(e, op, scalar, scalar_detail);
        }
    }
}

Result<EvalValue> binary_set_set(BinaryOp op, EvalValue left, EvalValue right) {
    EvalValue::Set* l = left.set();
    EvalValue::Set* r = right.set();
    if (l == nullptr || r == nullptr) return std::unexpected(expected_set());
    apply_set_set(op, *l, *r);
    return EvalValue(std::move(*l));
}

Result<EvalValue> binary_set_scalar(BinaryOp op, EvalValue set, Number scalar, std::string scalar_detail,
                                    bool set_on_left) {
    EvalValue::Set* s = set.set();
    if (s == nullptr) return std::unexpected(expected_set());
    apply_set_scalar(op, *s, scalar, scalar_detail, set_on_left);
    return EvalValue(std::move(*s));
}

}  // namespace pipwerk
