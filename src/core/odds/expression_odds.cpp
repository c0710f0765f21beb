#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <span>
#include <memory>
#include <unordered_map>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "dice_term_odds.hpp"
#include "expression_odds.hpp"
#include "spend_forecast.hpp"
#include "subtree_key.hpp"
#include "eval.hpp"
#include "eval/set_pairing.hpp"
#include "eval/tree_walk.hpp"
#include "pipwerk/odds.hpp"
#include "parser/parser.hpp"
#include "roll.hpp"
#include "value_law.hpp"
#include "work_budget.hpp"

// The odds of an expression follow the evaluator step by step, with a
// distribution where the evaluator has a number. Every dice term draws its
// own dice, so the operands of every operation are independent, and the
// first error in evaluation order ends a roll: for "left op right",
//   P(error m) = P_left(m) + P_left(ok) P_right(m) + P_both(ok) P(op fails).
// A value is its chance of no error so far, the chances of the errors, and
// its distribution given no error. A set has one distribution per element;
// a scalar operand is drawn once for all elements, yet independently of
// each, so every element's law stays an exact marginal.

namespace pipwerk {
namespace {

using detail::Budgeted;
using detail::level_of;
using detail::low32;
using detail::node_as;
using detail::strip_parens;
using detail::unwrap;
using detail::Unwrapped;
using detail::ValueLaw;
using detail::WorkBudget;

// Errors with their (absolute) chances, in the order first met.
using ErrorChances = std::vector<std::pair<PipwerkError, double>>;

void add_error(ErrorChances& errors, const PipwerkError& error, double chance) {
    if (chance == 0.0) return;
    for (auto& [e, p] : errors) {
        if (e == error) {
            p += chance;
            return;
        }
    }
    errors.emplace_back(error, chance);
}

// errors += weight * more: the errors of a step reached with chance `weight`.
void add_errors(ErrorChances& errors, const ErrorChances& more, double weight) {
    for (const auto& [e, p] : more) add_error(errors, e, weight * p);
}

// Laws are shared, never copied: a set of ten thousand equal elements, or
// a repetition, holds one law and references to it. The budget counted the
// law's values when it was made; they are given back when the last
// reference goes.
using LawRef = std::shared_ptr<const ValueLaw>;

// A law with what it gives back when its last reference goes, in one
// allocation with the reference count (a set of a million constants holds
// a million laws).
struct HeldLaw {
    ValueLaw law;
    WorkBudget* budget;

    HeldLaw(ValueLaw held, WorkBudget& from) : law(std::move(held)), budget(&from) {}
    HeldLaw(const HeldLaw&) = delete;
    HeldLaw& operator=(const HeldLaw&) = delete;
    ~HeldLaw() { budget->release(law.size()); }
};

LawRef share(ValueLaw law, WorkBudget& budget) {
    auto held = std::make_shared<HeldLaw>(std::move(law), budget);
    return LawRef(held, &held->law);
}

struct ScalarOdds {
    double ok = 1.0;
    ErrorChances errors;
    LawRef law;  // given no error; null when ok is 0

    static ScalarOdds failure(const PipwerkError& error) {
        ScalarOdds odds;
        odds.ok = 0.0;
        odds.errors.emplace_back(error, 1.0);
        return odds;
    }
};

struct SetOdds {
    double ok = 1.0;
    ErrorChances errors;
    std::vector<LawRef> elements;  // each given no error

    static SetOdds failure(const PipwerkError& error) {
        SetOdds odds;
        odds.ok = 0.0;
        odds.errors.emplace_back(error, 1.0);
        return odds;
    }
};

PipwerkError parse_error(ParseMessage message) { return PipwerkError::parse(message); }

// For each item, the index of the first item equal to it: what is shared by
// many elements (a law, a pair of laws) is worked on once.
template <class T>
std::vector<std::size_t> first_of_each(const std::vector<T>& items) {
    std::vector<std::pair<T, std::size_t>> order(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) order[i] = {items[i], i};
    std::sort(order.begin(), order.end());
    std::vector<std::size_t> first(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const bool starts = i == 0 || order[i].first != order[i - 1].first;
        first[order[i].second] = starts ? order[i].second : first[order[i - 1].second];
    }
    return first;
}

// The operations of a set step, element law by element law, each distinct
// pair done once: what they cost in all is charged before any is done.
class SetStepPlan {
public:
    void add(const ValueLaw* left, const ValueLaw* right) { pairs_.emplace_back(left, right); }

    // Charges the elements the step makes, and refuses at once when the
    // distinct pairs' work passes what is left.
    [[nodiscard]] Budgeted<void> charge_up_front(BinaryOp op, WorkBudget& budget) {
        if (auto ok = budget.make_elements(pairs_.size()); !ok) return ok;
        first_ = first_of_each(pairs_);
        std::uint64_t steps = 0;
        std::uint64_t pairs = 0;
        bool uniform = true;
        for (std::size_t i = 0; i < pairs_.size(); ++i) {
            if (first_[i] != i) continue;
            const auto& [l, r] = pairs_[i];
            steps += detail::combine_steps(op, *l, *r);
            pairs += static_cast<std::uint64_t>(l->size()) * r->size();
            uniform = uniform && l->size() == pairs_.front().first->size() && r->size() == pairs_.front().second->size();
        }
        if (steps <= budget.left()) return {};
        const std::string n = std::to_string(pairs_.size());
        if (uniform) {
            return std::unexpected(WorkBudget::too_large(
                n + " set elements, each " + detail::product_of(pairs_.front().first->size(), pairs_.front().second->size())));
        }
        return std::unexpected(
            WorkBudget::too_large(n + " set elements, products of " + std::to_string(pairs) + " pairs of outcomes in all"));
    }

    // After charge_up_front: the law of each pair, `op` applied as inside a
    // set (a zero divisor gives 0).
    [[nodiscard]] Budgeted<std::vector<LawRef>> run(BinaryOp op, WorkBudget& budget) const {
        std::vector<LawRef> out;
        out.reserve(pairs_.size());
        for (std::size_t i = 0; i < pairs_.size(); ++i) {
            if (first_[i] != i) {
                out.push_back(out[first_[i]]);
                continue;
            }
            double failed = 0.0;
            auto law = detail::combine(op, *pairs_[i].first, *pairs_[i].second, true, failed, budget);
            if (!law) return std::unexpected(law.error());
            out.push_back(share(std::move(*law), budget));
        }
        return out;
    }

private:
    std::vector<std::pair<const ValueLaw*, const ValueLaw*>> pairs_;
    std::vector<std::size_t> first_;  // for each pair, the first one equal to it
};

class OddsWalk {
public:
    OddsWalk(const Ast& ast, WorkBudget& budget) : ast_(ast), budget_(budget) {}

    Budgeted<ScalarOdds> rand_or_const(ExprId node) {
        switch (level_of(ast_, node)) {
            case 0: return constant(node);
            case 1: return rand(node);
            default: return ScalarOdds::failure(parse_error(ParseMessage::UnexpectedPipwerkLevel));
        }
    }

    Budgeted<ScalarOdds> rand(ExprId node) {
        const Unwrapped u = unwrap(ast_, node);
        Budgeted<ScalarOdds> value = ScalarOdds::failure(parse_error(ParseMessage::ExpectedRandExpression));
        if (const auto* b = node_as<BinaryExpr>(ast_, u.inner)) {
            value = rand_chain(*b);
        } else if (const auto* dice = node_as<DiceRef>(ast_, u.inner)) {
            value = dice_term(*dice);
        }
        if (value && u.negated) negate_scalar(value);
        return value;
    }

    Budgeted<SetOdds> pipwerk(ExprId node) {
        const Unwrapped u = unwrap(ast_, node);
        Budgeted<SetOdds> value = set_chain(u.inner);
        if (value && u.negated) negate_set(value);
        return value;
    }

private:
    // Brackets nest up to the parser's limit and every level of them passes
    // through rand() or pipwerk(): the work of a level is done out of line,
    // so the frames on the way down stay small.
    [[gnu::noinline]] Budgeted<ScalarOdds> constant(ExprId node) {
        const Result<Number> value = eval_const(ast_, node);
        if (!value) return ScalarOdds::failure(value.error());
        if (auto ok = budget_.hold(1, "a constant"); !ok) return std::unexpected(ok.error());
        return ScalarOdds{1.0, {}, share(ValueLaw::constant(*value), budget_)};
    }

    [[gnu::noinline]] void negate_scalar(Budgeted<ScalarOdds>& value) {
        if (value->ok == 0.0) return;
        auto law = detail::negated(*value->law, budget_);
        if (!law) {
            value = std::unexpected(law.error());
        } else {
            value->law = share(std::move(*law), budget_);
        }
    }

    [[gnu::noinline]] void negate_set(Budgeted<SetOdds>& value) {
        if (value->ok == 0.0) return;
        std::map<const ValueLaw*, LawRef> done;
        for (LawRef& e : value->elements) {
            if (const auto it = done.find(e.get()); it != done.end()) {
                e = it->second;
                continue;
            }
            auto law = detail::negated(*e, budget_);
            if (!law) {
                value = std::unexpected(law.error());
                return;
            }
            const ValueLaw* before = e.get();
            e = share(std::move(*law), budget_);
            done.emplace(before, e);
        }
    }

    // One step of scalar arithmetic: left then right, then the operation.
    [[gnu::noinline]] Budgeted<void> apply(ScalarOdds& acc, BinaryOp op, const ScalarOdds& right) {
        add_errors(acc.errors, right.errors, acc.ok);
        const double both = acc.ok * right.ok;
        if (both == 0.0) {
            acc.ok = 0.0;
            acc.law = {};
            return {};
        }
        double failed = 0.0;
        auto law = detail::combine(op, *acc.law, *right.law, false, failed, budget_);
        if (!law) return std::unexpected(law.error());
        add_error(acc.errors, PipwerkError::division_by_zero(), both * failed);
        acc.ok = both * (1.0 - failed);
        if (failed != 0.0) {
            // The sum of what did not fail, not 1 - failed, keeps small chances exact.
            double kept = 0.0;
            law->for_each([&](const Number&, double w) { kept += w; });
            acc.ok = both * kept;
            if (kept != 0.0) detail::scale(*law, 1.0 / kept);
        }
        acc.law = share(std::move(*law), budget_);
        return {};
    }

    Budgeted<ScalarOdds> rand_chain(const BinaryExpr& top) {
        if (level_of(ast_, top.left) == 2 || level_of(ast_, top.right) == 2) {
            return ScalarOdds::failure(parse_error(ParseMessage::UnexpectedPipwerkInRand));
        }
        // Long chains loop here, along the left spine.
        const std::vector<const BinaryExpr*> spine = detail::rand_spine(ast_, top);
        if (auto ok = detail::check_sum_chain(ast_, spine, budget_); !ok) return std::unexpected(ok.error());
        Budgeted<ScalarOdds> acc = rand_or_const(spine.back()->left);
        for (std::size_t i = spine.size(); acc && acc->ok != 0.0 && i-- > 0;) {
            const Budgeted<ScalarOdds> right = rand_or_const(spine[i]->right);
            if (!right) return std::unexpected(right.error());
            if (auto done = apply(*acc, spine[i]->op, *right); !done) return std::unexpected(done.error());
        }
        return acc;
    }

    [[gnu::noinline]] Budgeted<ScalarOdds> dice_term(DiceRef ref) {
        const DiceExpr dice = ast_.dice(ref);
        const std::int32_t count = low32(dice.count.integer_view());
        const std::int32_t faces = low32(dice.faces.integer_view());
        if (const auto failure = detail::dice_term_failure(dice, count, faces)) return ScalarOdds::failure(*failure);
        // The same term again (a long sum of d6) is looked up, not redone.
        const detail::TermKey key = detail::term_key(dice, count, faces);
        if (const auto it = terms_.find(key); it != terms_.end()) return ScalarOdds{1.0, {}, it->second};
        auto law = detail::dice_term_law(dice, count, faces, budget_);
        if (!law) return std::unexpected(law.error());
        if (auto ok = budget_.hold(law->size(), detail::dice_term_of(law->size())); !ok) {
            return std::unexpected(ok.error());
        }
        LawRef value = share(ValueLaw::of_ints(std::move(*law)), budget_);
        if (terms_.size() < kCachedTerms) terms_.emplace(key, value);
        return ScalarOdds{1.0, {}, std::move(value)};
    }

    static constexpr std::size_t kCachedTerms = 4096;  // distinct terms kept for reuse

    // A set element: an element whose subtree has been seen before is rolled
    // alike, so its odds are looked up rather than worked out again.
    [[gnu::noinline]] Budgeted<ScalarOdds> element(ExprId item) {
        if (level_of(ast_, item) == 0) return constant_element(item);
        std::string key;
        detail::append_subtree_key(key, ast_, item);
        if (const auto it = elements_.find(key); it != elements_.end()) return it->second;
        Budgeted<ScalarOdds> odds = rand_or_const(item);
        if (odds) elements_.emplace(std::move(key), *odds);
        return odds;
    }

    // A constant element: one law per distinct value, looked up by the
    // value itself (a set of a million numbers is common enough).
    Budgeted<ScalarOdds> constant_element(ExprId item) {
        const Result<Number> value = eval_const(ast_, item);
        if (!value) return ScalarOdds::failure(value.error());
        auto& seen = constants_[static_cast<std::size_t>(value->kind())];
        auto [it, fresh] = seen.try_emplace(PackedNumber::payload_of(*value));
        if (fresh) {
            if (auto ok = budget_.hold(1, "a constant"); !ok) return std::unexpected(ok.error());
            it->second = share(ValueLaw::constant(*value), budget_);
        }
        return ScalarOdds{1.0, {}, it->second};
    }

    // Every element of `set` combined with the scalar, in the given order.
    [[gnu::noinline]] Budgeted<void> with_scalar(SetOdds& set, BinaryOp op, const ScalarOdds& scalar, bool set_on_left) {
        SetStepPlan plan;
        for (const LawRef& e : set.elements) {
            if (set_on_left) {
                plan.add(e.get(), scalar.law.get());
            } else {
                plan.add(scalar.law.get(), e.get());
            }
        }
        if (auto ok = plan.charge_up_front(op, budget_); !ok) return ok;
        auto laws = plan.run(op, budget_);
        if (!laws) return std::unexpected(laws.error());
        set.elements = std::move(*laws);
        return {};
    }

    [[gnu::noinline]] Budgeted<SetOdds> repeat(const RepeatExpr& r) {
        const std::int64_t n = ast_.count(r).integer_view();
        if (n < 1) return SetOdds::failure(PipwerkError::non_positive());
        if (n > kMaxRepeat) return SetOdds::failure(PipwerkError::repeat_count_exceeds_max(n, kMaxRepeat));
        // Every repetition rolls afresh with the same law: one law, n references.
        if (auto ok = budget_.make_elements(static_cast<std::uint64_t>(n)); !ok) return std::unexpected(ok.error());
        Budgeted<ScalarOdds> body = rand_or_const(r.body);
        if (!body) return std::unexpected(body.error());
        SetOdds set;
        for (std::int64_t i = 0; i < n && set.ok != 0.0; ++i) {
            add_errors(set.errors, body->errors, set.ok);
            set.ok *= body->ok;
            set.elements.push_back(body->law);
        }
        return set;
    }

    [[gnu::noinline]] Budgeted<SetOdds> items(const SetExpr& s) {
        // Charged before the first is looked at: a set's size decides.
        if (auto ok = budget_.make_elements(s.item_count); !ok) return std::unexpected(ok.error());
        SetOdds set;
        set.elements.reserve(s.item_count);
        for (const ExprId item : ast_.items(s)) {
            if (set.ok == 0.0) break;
            Budgeted<ScalarOdds> e = element(item);
            if (!e) return std::unexpected(e.error());
            add_errors(set.errors, e->errors, set.ok);
            set.ok *= e->ok;
            set.elements.push_back(std::move(e->law));
        }
        return set;
    }

    // A scalar on the left of a set: the scalar first, then the set.
    Budgeted<SetOdds> scalar_set(const BinaryExpr& b) {
        if (level_of(ast_, b.right) != 2) return SetOdds::failure(parse_error(ParseMessage::ExpectedPipwerkOperand));
        Budgeted<ScalarOdds> scalar = rand_or_const(b.left);
        if (!scalar) return std::unexpected(scalar.error());
        SetOdds out;
        out.errors = scalar->errors;
        out.ok = scalar->ok;
        if (out.ok == 0.0) return out;
        Budgeted<SetOdds> set = pipwerk(b.right);
        if (!set) return std::unexpected(set.error());
        add_errors(out.errors, set->errors, out.ok);
        out.ok *= set->ok;
        if (out.ok == 0.0) return out;
        out.elements = std::move(set->elements);
        if (auto done = with_scalar(out, b.op, *scalar, false); !done) return std::unexpected(done.error());
        return out;
    }

    Budgeted<SetOdds> single(ExprId node) {
        if (const auto* b = node_as<BinaryExpr>(ast_, node)) return scalar_set(*b);
        if (node_as<NegExpr>(ast_, node) != nullptr) return pipwerk(node);
        if (const auto* r = node_as<RepeatExpr>(ast_, node)) return repeat(*r);
        if (const auto* s = node_as<SetExpr>(ast_, node)) return items(*s);
        return SetOdds::failure(parse_error(ParseMessage::ExpectedPipwerkExpression));
    }

    // acc op right, element by element as the evaluator pairs them: first
    // the left set, then the right.
    [[gnu::noinline]] Budgeted<void> with_set(SetOdds& acc, BinaryOp op, SetOdds& right) {
        add_errors(acc.errors, right.errors, acc.ok);
        acc.ok *= right.ok;
        if (acc.ok == 0.0) return {};
        const std::vector<LawRef>& l = acc.elements;
        const std::vector<LawRef>& r = right.elements;
        const std::size_t n = detail::paired_size(l.size(), r.size());
        SetStepPlan plan;
        switch (detail::set_pairing(l.size(), r.size())) {
            case detail::SetPairing::LoneRight:
                for (std::size_t i = 0; i < n; ++i) plan.add(l[i].get(), r.front().get());
                break;
            case detail::SetPairing::LoneLeft:
                for (std::size_t i = 0; i < n; ++i) plan.add(l.front().get(), r[i].get());
                break;
            case detail::SetPairing::ByPosition:
                for (std::size_t i = 0; i < n; ++i) plan.add(l[i].get(), r[i].get());
                break;
        }
        if (auto ok = plan.charge_up_front(op, budget_); !ok) return ok;
        auto laws = plan.run(op, budget_);
        if (!laws) return std::unexpected(laws.error());
        acc.elements = std::move(*laws);
        return {};
    }

    Budgeted<SetOdds> set_chain(ExprId node) {
        std::vector<const BinaryExpr*> spine;
        for (const BinaryExpr* b = node_as<BinaryExpr>(ast_, node); b != nullptr && level_of(ast_, b->left) == 2;
             b = node_as<BinaryExpr>(ast_, node)) {
            spine.push_back(b);
            node = strip_parens(ast_, b->left);
        }
        Budgeted<SetOdds> acc = single(node);
        for (std::size_t i = spine.size(); acc && acc->ok != 0.0 && i-- > 0;) {
            const BinaryExpr& b = *spine[i];
            if (level_of(ast_, b.right) == 2) {
                Budgeted<SetOdds> right = pipwerk(b.right);
                if (!right) return std::unexpected(right.error());
                if (auto done = with_set(*acc, b.op, *right); !done) return std::unexpected(done.error());
            } else {
                Budgeted<ScalarOdds> right = rand_or_const(b.right);
                if (!right) return std::unexpected(right.error());
                add_errors(acc->errors, right->errors, acc->ok);
                acc->ok *= right->ok;
                if (acc->ok == 0.0) break;
                if (auto done = with_scalar(*acc, b.op, *right, true); !done) return std::unexpected(done.error());
            }
        }
        return acc;
    }

    const Ast& ast_;
    WorkBudget& budget_;
    std::map<detail::TermKey, LawRef> terms_;
    std::unordered_map<std::string, ScalarOdds> elements_;
    std::array<std::unordered_map<std::uint64_t, LawRef>, 3> constants_;  // by kind, then payload
};

// The outcomes as a roll's values give them: each Number to its double,
// equal doubles merged (0.0 and -0.0 as 0.0), ascending, a NaN last.
Distribution to_distribution(const ValueLaw& law, double ok) {
    Distribution out;
    out.reserve(law.size());
    law.for_each([&](const Number& n, double w) {
        double v = n.to_double();
        if (v == 0.0) v = 0.0;
        out.push_back(Outcome{v, w * ok});
    });
    const auto before = [](const Outcome& a, const Outcome& b) {
        if (std::isnan(a.value)) return false;
        return std::isnan(b.value) || a.value < b.value;
    };
    std::sort(out.begin(), out.end(), before);
    Distribution merged;
    merged.reserve(out.size());
    for (const Outcome& o : out) {
        const bool same = !merged.empty() && (merged.back().value == o.value ||
                                              (std::isnan(merged.back().value) && std::isnan(o.value)));
        if (same) {
            merged.back().probability += o.probability;
        } else if (o.probability > 0.0) {
            merged.push_back(o);
        }
    }
    // A certain outcome summed from many parts can round a hair above 1.
    for (Outcome& o : merged) o.probability = std::min(o.probability, 1.0);
    return merged;
}

std::vector<ErrorChance> to_error_list(const ErrorChances& errors) {
    std::vector<ErrorChance> out;
    for (const auto& [e, p] : errors) {
        if (p > 0.0) out.push_back(ErrorChance{e.message(), std::min(p, 1.0)});
    }
    std::sort(out.begin(), out.end(), [](const ErrorChance& a, const ErrorChance& b) {
        return a.probability != b.probability ? a.probability > b.probability : a.message < b.message;
    });
    return out;
}

// Outcomes with a weight: what a law adds to what is returned.
std::uint64_t outcome_count(const ValueLaw& law) {
    if (!law.dense) return law.list.size();
    return static_cast<std::uint64_t>(std::count_if(law.ints.p.begin(), law.ints.p.end(), [](double w) { return w != 0.0; }));
}

// What odds() returns is bounded, over all the elements of a set: refused
// before any of it is made, naming the total.
Budgeted<void> check_returned_size(const std::vector<LawRef>& elements, const std::vector<std::size_t>& first,
                                   WorkBudget& budget) {
    std::vector<std::uint64_t> counts(elements.size());
    std::uint64_t total = 0;
    bool uniform = true;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        counts[i] = first[i] == i ? outcome_count(*elements[i]) : counts[first[i]];
        uniform = uniform && counts[i] == counts.front();
        total += counts[i];
    }
    // Each value returned is written once: a step each.
    if (total <= detail::kMaxReturnedOutcomes) return budget.charge(total, std::to_string(total) + " outcomes to return");
    if (elements.size() == 1) return std::unexpected(WorkBudget::too_large(std::to_string(total) + " outcomes"));
    const std::string n = std::to_string(elements.size()) + " set elements of ";
    if (uniform) return std::unexpected(WorkBudget::too_large(n + std::to_string(counts.front()) + " outcomes each"));
    return std::unexpected(WorkBudget::too_large(n + std::to_string(total) + " outcomes in all"));
}

}  // namespace

namespace detail {

OddsResult<Odds> odds_within(std::string_view expression, WorkBudget& budget) {
    const ParseOutcome parsed = Parser::parse(expression);
    if (parsed.expression) {
        if (auto ok = SpendForecast(budget).add(parsed.ast, *parsed.expression); !ok) return std::unexpected(ok.error());
    }
    return odds_of_parsed(parsed, budget);
}

OddsResult<Odds> odds_of_parsed(const ParseOutcome& parsed, WorkBudget& budget) {
    Odds result;
    result.tail = std::string(parsed.tail);
    if (!parsed.expression) return result;
    result.consumed = std::string(parsed.consumed);
    result.parsed = true;

    const Ast& ast = parsed.ast;
    const ExprId root = *parsed.expression;
    OddsWalk walk(ast, budget);
    double ok = 1.0;
    ErrorChances errors;
    std::vector<LawRef> elements;
    if (level_of(ast, root) == 2) {
        Budgeted<SetOdds> set = walk.pipwerk(root);
        if (!set) return std::unexpected(set.error());
        ok = set->ok;
        errors = std::move(set->errors);
        elements = std::move(set->elements);
        result.is_set = true;
    } else {
        Budgeted<ScalarOdds> scalar = walk.rand_or_const(root);
        if (!scalar) return std::unexpected(scalar.error());
        ok = scalar->ok;
        errors = std::move(scalar->errors);
        elements.push_back(std::move(scalar->law));
    }
    result.errors = to_error_list(errors);
    if (ok == 0.0 && result.errors.size() == 1) {
        return std::unexpected(OddsError{OddsError::Kind::Certain, result.errors.front().message});
    }
    if (ok == 0.0) {
        result.elements.resize(elements.size());
        return result;
    }
    std::vector<const ValueLaw*> laws(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) laws[i] = elements[i].get();
    const std::vector<std::size_t> first = first_of_each(laws);
    if (auto fits = check_returned_size(elements, first, budget); !fits) return std::unexpected(fits.error());
    // Each distinct law is read once; equal elements get copies of it.
    result.elements.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        result.elements.push_back(first[i] == i ? to_distribution(*elements[i], ok) : result.elements[first[i]]);
    }
    return result;
}

}  // namespace detail

OddsResult<Odds> odds(std::string_view expression, const OddsOptions& options) {
    WorkBudget budget(options.work_budget, options.parallel);
    return detail::odds_within(expression, budget);
}

}  // namespace pipwerk
