#include "set_walk.hpp"

#include <cstdint>
#include <variant>

#include "detail_layout.hpp"
#include "eval.hpp"
#include "rand_walk.hpp"
#include "text_sink.hpp"
#include "tree_walk.hpp"
#include "trace/trace_recorder.hpp"

// A chain of set arithmetic ("{1} + 1 - d6 ...") is a left-leaning tree as
// deep as it is long, so it is walked along its left spine in a loop:
// collect the spine, evaluate the leftmost set, then apply each right
// operand upward. Only right operands that are sets, and sets under a sign
// inside the spine, recurse; the parser bounds their nesting.

namespace pipwerk::detail {
namespace {

template <class Observer>
class SetWalk {
public:
    SetWalk(const Ast& ast, Rng& rng, SetTexts* texts, ObserverRef<Observer> observer) noexcept
        : ast_(ast), rng_(rng), texts_(texts), observer_(observer) {}

    // Brackets leave no trace at this level; signs negate every element.
    Result<void> set(ExprId node, FlatSet& out) {
        const Unwrapped u = unwrap(ast_, node);
        Result<void> done = chain(u.inner, out);
        if (done && u.negated) {
            for (Number& e : out.numbers) e = negate(e);
        }
        if constexpr (Observer::active) {
            if (done) observer_->signs(node);
        }
        return done;
    }

private:
    // eval_rand_or_const, its text written to `text`.
    template <class Text>
    Result<Number> value(ExprId node, Text& text) {
        // A constant shows its value: no rand walk to set up for it.
        if (level_of(ast_, node) == 0) {
            Result<Number> value = const_value(ast_, node, observer_);
            if constexpr (writes_text<Text>) {
                if (value) append_echo(text, *value);
            }
            return value;
        }
        return walk_rand(ast_, node, rng_, text, true, observer_);
    }

    // eval_rand_or_const, its text as a new span (none without texts).
    Result<Number> scalar(ExprId node, std::size_t& span) {
        if (texts_ == nullptr) {
            NoText none;
            return value(node, none);
        }
        const std::size_t begin = texts_->chars.size();
        Result<Number> result = value(node, texts_->chars);
        span = texts_->close_span(begin);
        return result;
    }

    // The elements of a set: n scalars, their texts one span
    // each. Room for every number and span is taken once up front (a scalar
    // adds no span of its own), so each element is stored without a check.
    template <class ItemOf>
    Result<void> elements(std::size_t n, ItemOf item_of, FlatSet& out) {
        Number* const numbers = out.numbers.extend(n);
        if (texts_ == nullptr) {
            NoText none;
            for (std::size_t i = 0; i < n; ++i) {
                const Result<Number> result = value(item_of(i), none);
                if (!result) return fail_at(out, i, result.error());
                numbers[i] = *result;
            }
            return {};
        }
        out.first_span = texts_->span_count();
        SetTexts::Span* const spans = texts_->open_spans(n);
        TextBuffer& chars = texts_->chars;
        const std::size_t first = chars.size();
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t begin = chars.size();
            const Result<Number> result = value(item_of(i), chars);
            if (!result) return fail_at(out, i, result.error());
            numbers[i] = *result;
            spans[i] = SetTexts::Span{begin, chars.size()};
        }
        out.own_size = chars.size() - first;
        return {};
    }

    // A failed element: the set keeps only the elements before it.
    static Result<void> fail_at(FlatSet& out, std::size_t i, const PipwerkError& error) {
        out.numbers.truncate(i);
        return std::unexpected(error);
    }

    // Kept out of line, so their locals stay off the frames of nested set arithmetic.
    [[gnu::noinline]] Result<void> repeat(ReportedId<Observer> id, const RepeatExpr& repeat, FlatSet& out) {
        const std::int64_t n = ast_.count(repeat).integer_view();
        if (n < 1) return std::unexpected(PipwerkError::non_positive());
        if (n > kMaxRepeat) return std::unexpected(PipwerkError::repeat_count_exceeds_max(n, kMaxRepeat));
        if constexpr (Observer::active) {
            Result<void> done = repeated(repeat.body, static_cast<std::size_t>(n), out);
            if (done) observer_->elements(id, out.numbers.span());
            return done;
        } else {
            return repeated(repeat.body, static_cast<std::size_t>(n), out);
        }
    }

    // A repeat's n elements, rolled in one rand walk; room for their numbers
    // and spans is taken first, as for a set's.
    Result<void> repeated(ExprId body, std::size_t n, FlatSet& out) {
        Number* const numbers = out.numbers.extend(n);
        std::size_t done = 0;
        Result<void> walked;
        if (texts_ == nullptr) {
            walked = walk_rand_repeat(ast_, body, n, rng_, numbers, done, observer_);
        } else {
            out.first_span = texts_->span_count();
            SetTexts::Span* const spans = texts_->open_spans(n);
            const std::size_t first = texts_->chars.size();
            walked = walk_rand_repeat(ast_, body, n, rng_, *texts_, numbers, spans, done, observer_);
            out.own_size = texts_->chars.size() - first;
        }
        return walked ? walked : fail_at(out, done, walked.error());
    }

    [[gnu::noinline]] Result<void> items(ReportedId<Observer> id, const SetExpr& set, FlatSet& out) {
        const auto items = ast_.items(set);
        const auto item_of = [&](std::size_t i) { return items[i]; };
        if constexpr (Observer::active) {
            Result<void> done = elements(items.size(), item_of, out);
            if (done) observer_->elements(id, out.numbers.span());
            return done;
        } else {
            return elements(items.size(), item_of, out);
        }
    }

    // A node that does not continue a chain of sets on the left; brackets are stripped.
    Result<void> single(ExprId node, FlatSet& out) {
        const Expr::Node& n = ast_[node].node();
        if (const auto* b = std::get_if<BinaryExpr>(&n)) {
            // A scalar on the left meets the set on the right.
            if (level_of(ast_, b->right) != 2) return fail(ParseMessage::ExpectedPipwerkOperand);
            std::size_t span = 0;
            const Result<Number> left = scalar(b->left, span);
            if (!left) return std::unexpected(left.error());
            if (Result<void> right = set(b->right, out); !right) return right;
            apply_scalar(out, b->op, *left, texts_, span, false);
            if constexpr (Observer::active) observer_->elements(node, out.numbers.span());
            return {};
        }
        if (std::holds_alternative<NegExpr>(n)) return set(node, out);
        if (const auto* r = std::get_if<RepeatExpr>(&n)) return repeat(node, *r, out);
        if (const auto* s = std::get_if<SetExpr>(&n)) return items(node, *s, out);
        return fail(ParseMessage::ExpectedPipwerkExpression);
    }

    // Right operands that are sets have frames of their own.
    [[gnu::noinline]] Result<void> apply_right_set(const BinaryExpr& b, FlatSet& out) {
        FlatSet right;
        if (Result<void> done = set(b.right, right); !done) return done;
        apply_set(out, b.op, right, texts_);
        return {};
    }

    // Spine node i of a chain from `top` is done: its set is `out`.
    void report_step(ExprId top, const Spine& spine, std::size_t i, const FlatSet& out) {
        observer_->elements(spine_id(ast_, top, spine, i, true), out.numbers.span());
    }

    Result<void> chain(ExprId node, FlatSet& out) {
        // A set on the left continues the chain, through any brackets around it.
        [[maybe_unused]] const ExprId top = node;
        Spine spine;
        for (const BinaryExpr* b = node_as<BinaryExpr>(ast_, node); b != nullptr && level_of(ast_, b->left) == 2;
             b = node_as<BinaryExpr>(ast_, node)) {
            spine.push_back(b);
            node = strip_parens(ast_, b->left);
        }
        if (Result<void> done = single(node, out); !done) return done;
        for (std::size_t i = spine.size(); i-- > 0;) {
            const BinaryExpr& b = *spine[i];
            if (level_of(ast_, b.right) == 2) {
                if (Result<void> done = apply_right_set(b, out); !done) return done;
                if constexpr (Observer::active) report_step(top, spine, i, out);
                continue;
            }
            std::size_t span = 0;
            const Result<Number> right = scalar(b.right, span);
            if (!right) return std::unexpected(right.error());
            apply_scalar(out, b.op, *right, texts_, span, true);
            if constexpr (Observer::active) report_step(top, spine, i, out);
        }
        return {};
    }

    const Ast& ast_;
    Rng& rng_;
    SetTexts* texts_;
    [[no_unique_address]] ObserverRef<Observer> observer_;
};

}  // namespace

template <class Observer>
Result<void> walk_set(const Ast& ast, ExprId node, Rng& rng, SetTexts* texts, FlatSet& out, ObserverRef<Observer> observer) {
    return SetWalk<Observer>(ast, rng, texts, observer).set(node, out);
}

template Result<void> walk_set(const Ast&, ExprId, Rng&, SetTexts*, FlatSet&, ObserverRef<NoObserver>);
template Result<void> walk_set(const Ast&, ExprId, Rng&, SetTexts*, FlatSet&, ObserverRef<TraceRecorder>);

}  // namespace pipwerk::detail
