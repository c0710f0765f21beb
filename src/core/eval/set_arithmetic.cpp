#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "pipwerk/eval.hpp"

namespace pipwerk {
namespace {

// One element of a set operation. A zero divisor does not fail here: the
// element becomes Int 0, and its detail still shows the division.
ScalarValue combine(BinaryOp op, Number a, std::string a_detail, Number b, std::string_view b_detail) {
    auto value = apply_binop(op, a, b);
    return ScalarValue{value ? *value : Number::make_int(0),
                       format_binop_detail(op, std::move(a_detail), b_detail)};
}

PipwerkError expected_set() noexcept { return PipwerkError::parse(ParseMessage::ExpectedSet); }

}  // namespace

Result<EvalValue> binary_set_set(BinaryOp op, EvalValue left, EvalValue right) {
    EvalValue::Set* l = left.set();
    EvalValue::Set* r = right.set();
    if (l == nullptr || r == nullptr) return std::unexpected(expected_set());

    // A lone element on one side meets every element of the other; the result
    // is built in place in the longer list.
    if (l->size() == 1 && r->size() >= 2) {
        const ScalarValue& lone = l->front();
        for (ScalarValue& e : *r) e = combine(op, lone.value, lone.detail, e.value, e.detail);
        return EvalValue(std::move(*r));
    }
    if (r->size() == 1 && l->size() >= 2) {
        const ScalarValue& lone = r->front();
        for (ScalarValue& e : *l) e = combine(op, e.value, std::move(e.detail), lone.value, lone.detail);
        return EvalValue(std::move(*l));
    }
    // Otherwise pair by position; the longer list's extra elements are dropped.
    const std::size_t n = std::min(l->size(), r->size());
    l->erase(l->begin() + static_cast<std::ptrdiff_t>(n), l->end());
    for (std::size_t i = 0; i < n; ++i) {
        ScalarValue& e = (*l)[i];
        e = combine(op, e.value, std::move(e.detail), (*r)[i].value, (*r)[i].detail);
    }
    return EvalValue(std::move(*l));
}

Result<EvalValue> binary_set_scalar(BinaryOp op, EvalValue set, Number scalar, std::string scalar_detail,
                                    bool set_on_left) {
    EvalValue::Set* s = set.set();
    if (s == nullptr) return std::unexpected(expected_set());
    for (ScalarValue& e : *s) {
        e = set_on_left ? combine(op, e.value, std::move(e.detail), scalar, scalar_detail)
                        : combine(op, scalar, scalar_detail, e.value, e.detail);
    }
    return EvalValue(std::move(*s));
}

}  // namespace pipwerk
