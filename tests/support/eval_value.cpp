#include "eval_value.hpp"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eval/detail_layout.hpp"
#include "eval/evaluate_scalar.hpp"
#include "eval/flat_set.hpp"
#include "eval/rand_walk.hpp"
#include "eval/set_walk.hpp"
#include "eval/tree_walk.hpp"

namespace pipwerk {
namespace {

using namespace detail;

void append_number(std::string& out, const Number& value) {
    char buffer[Number::kMaxTextLength];
    out += std::string_view(buffer, static_cast<std::size_t>(value.write_display(buffer) - buffer));
}

// The value of a set, each element's text laid out on its own.
EvalValue to_value(const SetTexts& texts, const FlatSet& set) {
    EvalValue::Set elements;
    elements.reserve(set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
        std::string detail;
        append_element(detail, texts, set, i);
        elements.push_back(ScalarValue{set.numbers[i], std::move(detail)});
    }
    return EvalValue(std::move(elements));
}

// A value's set as the evaluator holds it, its texts added to `texts`.
FlatSet to_flat(SetTexts& texts, const EvalValue::Set& elements) {
    FlatSet set;
    set.first_span = texts.span_count();
    const std::size_t begin = texts.chars.size();
    for (const ScalarValue& e : elements) {
        set.numbers.push_back(e.value);
        const std::size_t start = texts.chars.size();
        texts.chars += std::string_view(e.detail);
        texts.close_span(start);
    }
    set.own_size = texts.chars.size() - begin;
    return set;
}

std::unexpected<PipwerkError> expected_set() noexcept { return fail(ParseMessage::ExpectedSet); }

Result<ScalarValue> walked(const Ast& ast, ExprId node, Rng& rng, bool or_const) {
    Result<ScalarValue> scalar(std::in_place, Number::make_int(0), std::string());
    Result<Number> value = walk_rand(ast, node, rng, scalar->detail, or_const, ObserverRef<NoObserver>{});
    if (!value) return std::unexpected(value.error());
    scalar->value = *value;
    return scalar;
}

}  // namespace

std::string EvalValue::detail() const {
    if (const ScalarValue* s = scalar()) return s->detail;
    std::string out;
    append_braced(out, set()->size(), [&](std::string& to, std::size_t i) { to += std::string_view((*set())[i].detail); });
    return out;
}

std::string EvalValue::summary() const {
    std::string out;
    if (const ScalarValue* s = scalar()) {
        append_number(out, s->value);
        return out;
    }
    append_braced(out, set()->size(), [&](std::string& to, std::size_t i) { append_number(to, (*set())[i].value); });
    return out;
}

void EvalValue::append_full(std::string& out) const {
    if (const ScalarValue* s = scalar(); !full_shows_detail(s == nullptr, s != nullptr && s->detail.empty())) {
        out += summary();
        return;
    }
    out += detail();
    out += kJoiner;
    out += summary();
}

std::string EvalValue::full() const {
    std::string out;
    append_full(out);
    return out;
}

std::vector<Number> EvalValue::values() const {
    if (const ScalarValue* s = scalar()) return {s->value};
    std::vector<Number> out;
    out.reserve(set()->size());
    for (const ScalarValue& e : *set()) out.push_back(e.value);
    return out;
}

Result<ScalarValue> eval_rand(const Ast& ast, ExprId node, Rng& rng) { return walked(ast, node, rng, false); }

Result<ScalarValue> eval_rand_or_const(const Ast& ast, ExprId node, Rng& rng) { return walked(ast, node, rng, true); }

Result<EvalValue> eval_pipwerk(const Ast& ast, ExprId node, Rng& rng) {
    SetTexts texts;
    FlatSet set;
    if (Result<void> done = walk_set(ast, node, rng, &texts, set, ObserverRef<NoObserver>{}); !done) return std::unexpected(done.error());
    return to_value(texts, set);
}

Result<EvalValue> evaluate(const Ast& ast, ExprId root, Rng& rng) {
    if (level_of(ast, root) == 2) return eval_pipwerk(ast, root, rng);
    std::string detail;
    const Result<Number> value = evaluate_scalar(ast, root, rng, detail, ObserverRef<NoObserver>{});
    if (!value) return std::unexpected(value.error());
    return EvalValue(ScalarValue{*value, std::move(detail)});
}

Result<EvalValue> binary_set_set(BinaryOp op, EvalValue left, EvalValue right) {
    if (!left.is_set() || !right.is_set()) return expected_set();
    SetTexts texts;
    FlatSet l = to_flat(texts, *left.set());
    FlatSet r = to_flat(texts, *right.set());
    apply_set(l, op, r, &texts);
    return to_value(texts, l);
}

Result<EvalValue> binary_set_scalar(BinaryOp op, EvalValue set, Number scalar, std::string scalar_detail,
                                    bool set_on_left) {
    if (!set.is_set()) return expected_set();
    SetTexts texts;
    FlatSet s = to_flat(texts, *set.set());
    const std::size_t start = texts.chars.size();
    texts.chars += std::string_view(scalar_detail);
    const std::size_t span = texts.close_span(start);
    apply_scalar(s, op, scalar, &texts, span, set_on_left);
    return to_value(texts, s);
}

}  // namespace pipwerk
