#include "spend_forecast.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "dice_term_odds.hpp"
#include "eval.hpp"
#include "eval/set_pairing.hpp"
#include "eval/tree_walk.hpp"
#include "limits.hpp"
#include "roll.hpp"
#include "subtree_key.hpp"
#include "value_law.hpp"

namespace pipwerk::detail {
namespace {

// What the forecast knows of a scalar the walk works out: whether the walk
// surely goes on past it (nothing in it may fail every roll), and of its
// law, at least its shape and whether it surely has a value other than zero.
struct Scalar {
    bool goes_on = false;
    std::optional<LawShape> shape;
    bool nonzero = false;
};

// Of a set: whether the walk surely goes on past it, and its elements.
struct Set {
    bool goes_on = false;
    std::uint64_t size = 0;
};

// One expression's walk, in the order of the odds walk (expression_odds.cpp):
// what the walk holds is only charged here, never held, as the walk gives
// laws back when it drops them.
class ForecastWalk {
public:
    ForecastWalk(const Ast& ast, WorkBudget& budget) : ast_(ast), budget_(budget) {}

    Budgeted<Scalar> rand_or_const(ExprId node) {
        switch (level_of(ast_, node)) {
            case 0: return constant(node);
            case 1: return rand(node);
            default: return Scalar{};
        }
    }

    Budgeted<Set> pipwerk(ExprId node) {
        // A negated set holds a negated law per distinct law: left out.
        return set_chain(unwrap(ast_, node).inner);
    }

private:
    [[gnu::noinline]] Budgeted<Scalar> constant(ExprId node) {
        const Result<Number> value = eval_const(ast_, node);
        if (!value) return Scalar{};
        if (auto ok = budget_.charge(1, "a constant"); !ok) return std::unexpected(ok.error());
        return of_constant(*value);
    }

    static Scalar of_constant(const Number& value) {
        const bool zero = value.to_double() == 0.0;
        if (!value.is_int()) return Scalar{true, LawShape{1, false, 0, 0}, !zero};
        return Scalar{true, LawShape{1, true, value.int_value(), value.int_value()}, !zero};
    }

    [[gnu::noinline]] Budgeted<Scalar> rand(ExprId node) {
        const Unwrapped u = unwrap(ast_, node);
        Budgeted<Scalar> value = Scalar{};
        if (const auto* b = node_as<BinaryExpr>(ast_, u.inner)) {
            value = rand_chain(*b);
        } else if (const auto* dice = node_as<DiceRef>(ast_, u.inner)) {
            value = dice_term(*dice);
        }
        if (!value || !u.negated || !value->goes_on || !value->shape) return value;
        LawShape& shape = *value->shape;
        if (auto ok = budget_.charge(shape.size, "a negation of " + std::to_string(shape.size) + " outcomes"); !ok) {
            return std::unexpected(ok.error());
        }
        if (shape.dense && shape.lo > std::numeric_limits<std::int64_t>::min()) {
            shape = LawShape{shape.size, true, -shape.hi, -shape.lo};
        } else {
            shape.dense = false;
        }
        return value;
    }

    Budgeted<Scalar> rand_chain(const BinaryExpr& top) {
        if (level_of(ast_, top.left) == 2 || level_of(ast_, top.right) == 2) return Scalar{};
        const std::vector<const BinaryExpr*> spine = rand_spine(ast_, top);
        if (auto ok = check_sum_chain(ast_, spine, budget_); !ok) return std::unexpected(ok.error());
        Budgeted<Scalar> acc = rand_or_const(spine.back()->left);
        for (std::size_t i = spine.size(); acc && acc->goes_on && i-- > 0;) {
            const Budgeted<Scalar> right = rand_or_const(spine[i]->right);
            if (!right) return std::unexpected(right.error());
            if (!right->goes_on) return Scalar{};
            if (auto done = apply(*acc, spine[i]->op, *right); !done) return std::unexpected(done.error());
        }
        return acc;
    }

    // What combine() charges when both shapes are known; a product's
    // distinct outcomes are not known, so its law's shape is lost. A
    // divisor that may be all zeros may end every roll.
    Budgeted<void> apply(Scalar& acc, BinaryOp op, const Scalar& right) {
        const bool may_fail = op == BinaryOp::Div && !right.nonzero;
        std::optional<LawShape> result;
        if (acc.shape && right.shape) {
            const std::string what = product_of(acc.shape->size, right.shape->size);
            if (auto ok = budget_.charge(combine_steps(op, *acc.shape, *right.shape), what); !ok) return ok;
            result = convolved(op, *acc.shape, *right.shape);
            if (result && result->size > kMaxOutcomes) {
                return std::unexpected(WorkBudget::too_large("more than " + std::to_string(kMaxOutcomes) + " outcomes"));
            }
            if (result) {
                if (auto ok = budget_.charge(result->size, what); !ok) return ok;
            }
        }
        acc = Scalar{!may_fail, result, false};
        return {};
    }

    [[gnu::noinline]] Budgeted<Scalar> dice_term(DiceRef ref) {
        const DiceExpr dice = ast_.dice(ref);
        const std::int32_t count = low32(dice.count.integer_view());
        const std::int32_t faces = low32(dice.faces.integer_view());
        if (dice_term_failure(dice, count, faces)) return Scalar{};
        const LawShape shape = dice_term_shape(dice, count, faces);
        const Scalar term{true, shape, !dice.comparison};
        if (!terms_.insert(term_key(dice, count, faces)).second) return term;
        const std::string what = describe_dice_term(dice, count, faces);
        if (auto ok = budget_.charge(kTermSetUpSteps, what); !ok) return std::unexpected(ok.error());
        const Budgeted<TermSteps> steps = dice_term_steps(dice, count, faces);
        if (!steps) return std::unexpected(steps.error());
        if (steps->checked > budget_.left()) return std::unexpected(WorkBudget::too_large(what));
        if (auto ok = budget_.charge(steps->spent - kTermSetUpSteps, what); !ok) return std::unexpected(ok.error());
        if (auto ok = budget_.charge(shape.size, dice_term_of(shape.size)); !ok) return std::unexpected(ok.error());
        return term;
    }

    Budgeted<Set> set_chain(ExprId node) {
        std::vector<const BinaryExpr*> spine;
        for (const BinaryExpr* b = node_as<BinaryExpr>(ast_, node); b != nullptr && level_of(ast_, b->left) == 2;
             b = node_as<BinaryExpr>(ast_, node)) {
            spine.push_back(b);
            node = strip_parens(ast_, b->left);
        }
        Budgeted<Set> acc = single(node);
        for (std::size_t i = spine.size(); acc && acc->goes_on && i-- > 0;) {
            const BinaryExpr& b = *spine[i];
            std::uint64_t made = acc->size;
            if (level_of(ast_, b.right) == 2) {
                const Budgeted<Set> right = pipwerk(b.right);
                if (!right) return std::unexpected(right.error());
                if (!right->goes_on) return Set{};
                made = paired_size(acc->size, right->size);
            } else {
                const Budgeted<Scalar> right = rand_or_const(b.right);
                if (!right) return std::unexpected(right.error());
                if (!right->goes_on) return Set{};
            }
            // The step's products are not known: only its elements are charged.
            if (auto ok = budget_.make_elements(made); !ok) return std::unexpected(ok.error());
            acc->size = made;
        }
        return acc;
    }

    Budgeted<Set> single(ExprId node) {
        if (const auto* b = node_as<BinaryExpr>(ast_, node)) return scalar_set(*b);
        if (node_as<NegExpr>(ast_, node) != nullptr) return pipwerk(node);
        if (const auto* r = node_as<RepeatExpr>(ast_, node)) return repeat(*r);
        if (const auto* s = node_as<SetExpr>(ast_, node)) return items(*s);
        return Set{};
    }

    Budgeted<Set> scalar_set(const BinaryExpr& b) {
        if (level_of(ast_, b.right) != 2) return Set{};
        const Budgeted<Scalar> scalar = rand_or_const(b.left);
        if (!scalar) return std::unexpected(scalar.error());
        if (!scalar->goes_on) return Set{};
        Budgeted<Set> set = pipwerk(b.right);
        if (!set || !set->goes_on) return set;
        if (auto ok = budget_.make_elements(set->size); !ok) return std::unexpected(ok.error());
        return set;
    }

    [[gnu::noinline]] Budgeted<Set> repeat(const RepeatExpr& r) {
        const std::int64_t n = ast_.count(r).integer_view();
        if (n < 1 || n > kMaxRepeat) return Set{};
        if (auto ok = budget_.make_elements(static_cast<std::uint64_t>(n)); !ok) return std::unexpected(ok.error());
        const Budgeted<Scalar> body = rand_or_const(r.body);
        if (!body) return std::unexpected(body.error());
        return Set{body->goes_on, static_cast<std::uint64_t>(n)};
    }

    [[gnu::noinline]] Budgeted<Set> items(const SetExpr& s) {
        if (auto ok = budget_.make_elements(s.item_count); !ok) return std::unexpected(ok.error());
        for (const ExprId item : ast_.items(s)) {
            Budgeted<bool> goes_on = element(item);
            if (!goes_on) return std::unexpected(goes_on.error());
            if (!*goes_on) return Set{};
        }
        return Set{true, s.item_count};
    }

    // An element seen before is looked up by the walk, as a constant's value is.
    Budgeted<bool> element(ExprId item) {
        if (level_of(ast_, item) == 0) {
            const Result<Number> value = eval_const(ast_, item);
            if (!value) return false;
            if (constants_.emplace(static_cast<int>(value->kind()), PackedNumber::payload_of(*value)).second) {
                if (auto ok = budget_.charge(1, "a constant"); !ok) return std::unexpected(ok.error());
            }
            return true;
        }
        std::string key;
        append_subtree_key(key, ast_, item);
        if (!elements_.insert(std::move(key)).second) return true;
        const Budgeted<Scalar> odds = rand_or_const(item);
        if (!odds) return std::unexpected(odds.error());
        return odds->goes_on;
    }

    const Ast& ast_;
    WorkBudget& budget_;
    std::set<TermKey> terms_;
    std::set<std::string> elements_;
    std::set<std::pair<int, std::uint64_t>> constants_;
};

// At most how many values the law of an operand has, known from the tree
// alone: a constant has one, a dice term at most its kept dice times its
// faces; nothing for anything else.
std::optional<std::uint64_t> size_bound(const Ast& ast, ExprId node) {
    const ExprId inner = unwrap(ast, node).inner;
    if (node_as<LiteralExpr>(ast, inner) != nullptr) return 1;
    const auto* ref = node_as<DiceRef>(ast, inner);
    if (ref == nullptr) return std::nullopt;
    const DiceExpr dice = ast.dice(*ref);
    const auto count = static_cast<std::uint64_t>(std::max<std::int32_t>(low32(dice.count.integer_view()), 1));
    const auto faces = static_cast<std::uint64_t>(std::max<std::int32_t>(low32(dice.faces.integer_view()), 2));
    const std::uint64_t pool = dice.bonus ? kMaxPool : count;
    if (dice.comparison) return pool + 1;
    std::uint64_t kept = pool;
    if (dice.keep) {
        const std::int64_t keep = signed_keep(*dice.keep);
        const std::uint64_t magnitude = keep < 0 ? 0 - static_cast<std::uint64_t>(keep) : static_cast<std::uint64_t>(keep);
        if (magnitude != 0) kept = std::min(kept, magnitude);
    }
    return kept * (faces - 1) + 1;
}

}  // namespace

Budgeted<void> SpendForecast::add(const Ast& ast, ExprId root) {
    ForecastWalk walk(ast, budget_);
    if (level_of(ast, root) == 2) {
        if (auto set = walk.pipwerk(root); !set) return std::unexpected(set.error());
    } else if (auto scalar = walk.rand_or_const(root); !scalar) {
        return std::unexpected(scalar.error());
    }
    return {};
}

std::vector<const BinaryExpr*> rand_spine(const Ast& ast, const BinaryExpr& top) {
    std::vector<const BinaryExpr*> spine{&top};
    for (const BinaryExpr* b = &top; level_of(ast, b->left) == 1;) {
        b = node_as<BinaryExpr>(ast, b->left);
        if (b == nullptr) break;
        spine.push_back(b);
    }
    return spine;
}

Budgeted<void> check_sum_chain(const Ast& ast, std::span<const BinaryExpr* const> spine, const WorkBudget& budget) {
    // One operation is refused by combine(), naming its product.
    if (spine.size() < 2) return {};
    std::optional<std::uint64_t> size = size_bound(ast, spine.back()->left);
    std::uint64_t steps = 0;
    for (std::size_t i = spine.size(); size && i-- > 0;) {
        const std::optional<std::uint64_t> right = size_bound(ast, spine[i]->right);
        if (!right || (spine[i]->op != BinaryOp::Add && spine[i]->op != BinaryOp::Sub)) return {};
        // Saturating: a chain this long is refused whatever the rest adds.
        if (steps <= budget.left()) steps += *size / kConvolvedPairsPerStep * *right + *size + *right;
        *size += *right - 1;
    }
    if (!size || steps <= budget.left()) return {};
    return std::unexpected(WorkBudget::too_large("a chain of " + std::to_string(spine.size()) +
                                                 " sums and differences growing to " + std::to_string(*size) +
                                                 " outcomes"));
}

}  // namespace pipwerk::detail
