#include "value_law.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "eval.hpp"
#include "outcome_table.hpp"

namespace pipwerk::detail {
namespace {

// A Number as a sortable key: kind and payload bits.
struct Key {
    Number::Kind kind;
    std::uint64_t bits;

    friend bool operator==(const Key&, const Key&) = default;
};

Key key_of(const Number& n) noexcept { return Key{n.kind(), PackedNumber::payload_of(n)}; }
Number number_of(const Key& k) noexcept { return PackedNumber::number_of(k.kind, k.bits); }

constexpr std::uint64_t kFewPairs = 256;

// A full 64-bit mix (splitmix64's finaliser).
constexpr std::uint64_t mixed(std::uint64_t x) noexcept {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// The seed of the table of `left op right`: from the operation, but never
// the seed that ordered either operand's list, so the same operation again
// (x * 1 * 1 ...) cannot pile up.
std::uint64_t table_seed(BinaryOp op, const ValueLaw& left, const ValueLaw& right) noexcept {
    std::uint64_t seed = (static_cast<std::uint64_t>(left.size()) * 0x9e3779b97f4a7c15ULL) ^
                         (static_cast<std::uint64_t>(right.size()) << 17) ^ static_cast<std::uint64_t>(op);
    while (seed == left.order || seed == right.order) seed = mixed(seed + 1);
    return seed;
}

// A list of distinct numbers, made dense when they are Ints in a compact range.
ValueLaw from_list(std::vector<std::pair<Number, double>> list) {
    bool ints = !list.empty();
    std::int64_t lo = std::numeric_limits<std::int64_t>::max();
    std::int64_t hi = std::numeric_limits<std::int64_t>::min();
    for (const auto& [n, w] : list) {
        if (!n.is_int()) {
            ints = false;
            break;
        }
        lo = std::min(lo, n.int_value());
        hi = std::max(hi, n.int_value());
    }
    const auto span = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo);
    if (ints && span <= 4 * list.size() + 64) {
        DenseLaw dense{lo, std::vector<double>(static_cast<std::size_t>(span) + 1, 0.0)};
        for (const auto& [n, w] : list) {
            const std::uint64_t at = static_cast<std::uint64_t>(n.int_value()) - static_cast<std::uint64_t>(lo);
            dense.p[static_cast<std::size_t>(at)] += w;
        }
        return ValueLaw::of_ints(std::move(dense));
    }
    ValueLaw law;
    law.dense = false;
    law.list = std::move(list);
    return law;
}

// Dense whole numbers whose sum (or difference) cannot wrap: a convolution.
bool convolvable(BinaryOp op, const LawShape& a, const LawShape& b) noexcept {
    if (!a.dense || !b.dense || a.size == 0 || b.size == 0) return false;
    if (op != BinaryOp::Add && op != BinaryOp::Sub) return false;
    std::int64_t r = 0;
    if (op == BinaryOp::Add) return !__builtin_add_overflow(a.lo, b.lo, &r) && !__builtin_add_overflow(a.hi, b.hi, &r);
    // The right law is negated first: its values must have negations.
    return b.lo != std::numeric_limits<std::int64_t>::min() && !__builtin_sub_overflow(a.lo, b.hi, &r) &&
           !__builtin_sub_overflow(a.hi, b.lo, &r);
}

DenseLaw reversed(const DenseLaw& law) {
    const std::int64_t hi = law.lo + (static_cast<std::int64_t>(law.size()) - 1);
    return DenseLaw{-hi, std::vector<double>(law.p.rbegin(), law.p.rend())};
}

}  // namespace

ValueLaw ValueLaw::constant(Number value) { return from_list({{value, 1.0}}); }

ValueLaw ValueLaw::of_ints(DenseLaw ints) {
    ValueLaw law;
    law.ints = std::move(ints);
    return law;
}

LawShape shape_of(const ValueLaw& law) noexcept {
    if (!law.dense || law.ints.empty()) return LawShape{law.size(), false, 0, 0};
    return LawShape{law.size(), true, law.ints.lo, law.ints.lo + (static_cast<std::int64_t>(law.ints.size()) - 1)};
}

std::uint64_t combine_steps(BinaryOp op, const LawShape& left, const LawShape& right) noexcept {
    const std::uint64_t pairs = left.size * right.size;
    if (convolvable(op, left, right)) return pairs / kConvolvedPairsPerStep + left.size + right.size;
    return (pairs <= kCachedPairs ? kStepsPerPair : kStepsPerFarPair) * pairs;
}

std::uint64_t combine_steps(BinaryOp op, const ValueLaw& left, const ValueLaw& right) noexcept {
    return combine_steps(op, shape_of(left), shape_of(right));
}

std::optional<LawShape> convolved(BinaryOp op, const LawShape& left, const LawShape& right) noexcept {
    if (!convolvable(op, left, right)) return std::nullopt;
    const bool add = op == BinaryOp::Add;
    return LawShape{left.size + right.size - 1, true, add ? left.lo + right.lo : left.lo - right.hi,
                    add ? left.hi + right.hi : left.hi - right.lo};
}

std::string product_of(std::size_t a, std::size_t b) {
    return "a product of " + std::to_string(a) + " by " + std::to_string(b) + " outcomes";
}

Budgeted<ValueLaw> combine(BinaryOp op, const ValueLaw& left, const ValueLaw& right, bool or_zero, double& failed,
                           WorkBudget& budget) {
    failed = 0.0;
    const std::uint64_t pairs = static_cast<std::uint64_t>(left.size()) * right.size();
    if (auto ok = budget.charge(combine_steps(op, left, right), product_of(left.size(), right.size())); !ok) {
        return std::unexpected(ok.error());
    }
    if (convolvable(op, shape_of(left), shape_of(right))) {
        const std::uint64_t size = left.size() + right.size() - 1;
        if (size > kMaxOutcomes) {
            return std::unexpected(WorkBudget::too_large("more than " + std::to_string(kMaxOutcomes) + " outcomes"));
        }
        if (auto ok = budget.hold(size, product_of(left.size(), right.size())); !ok) return std::unexpected(ok.error());
        if (op == BinaryOp::Add) return ValueLaw::of_ints(convolve(left.ints, right.ints));
        return ValueLaw::of_ints(convolve(left.ints, reversed(right.ints)));
    }
    if (pairs <= kFewPairs) {
        // Few pairs: listed, sorted and merged, with no table to set up.
        std::vector<std::pair<Key, double>> all;
        all.reserve(static_cast<std::size_t>(pairs));
        left.for_each([&](const Number& a, double wa) {
            right.for_each([&](const Number& b, double wb) {
                const Result<Number> value = apply_binop(op, a, b);
                if (!value && !or_zero) {
                    failed += wa * wb;
                    return;
                }
                all.emplace_back(key_of(value ? *value : Number::make_int(0)), wa * wb);
            });
        });
        std::sort(all.begin(), all.end(), [](const auto& x, const auto& y) {
            return x.first.kind != y.first.kind ? x.first.kind < y.first.kind : x.first.bits < y.first.bits;
        });
        std::vector<std::pair<Number, double>> list;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (i > 0 && all[i].first == all[i - 1].first) {
                list.back().second += all[i].second;
            } else {
                list.emplace_back(number_of(all[i].first), all[i].second);
            }
        }
        if (auto ok = budget.hold(list.size(), product_of(left.size(), right.size())); !ok) {
            return std::unexpected(ok.error());
        }
        return from_list(std::move(list));
    }
    OutcomeTable sums(static_cast<std::size_t>(kMaxOutcomes), table_seed(op, left, right));
    bool too_many = false;
    // Outcomes are computed a batch at a time and then added, so the
    // table's cache misses overlap: a left value's with every right value,
    // or several left values' when the right law is small. The order they
    // go in is the same either way.
    constexpr std::size_t kBatch = 64;
    std::vector<std::pair<Number, double>> batch;
    batch.reserve(std::max<std::size_t>(right.size(), kBatch) + right.size());
    left.for_each([&](const Number& a, double wa) {
        if (too_many) return;
        right.for_each([&](const Number& b, double wb) {
            const Result<Number> value = apply_binop(op, a, b);
            if (!value && !or_zero) {
                failed += wa * wb;
                return;
            }
            batch.emplace_back(value ? *value : Number::make_int(0), wa * wb);
        });
        if (batch.size() < kBatch) return;
        too_many = !sums.add_all(batch);
        batch.clear();
    });
    too_many = too_many || !sums.add_all(batch);
    if (too_many) {
        return std::unexpected(WorkBudget::too_large(product_of(left.size(), right.size()) + ", more than " +
                                                     std::to_string(kMaxOutcomes) + " distinct outcomes"));
    }
    // A new outcome costs a slot of the table and a value of the list.
    if (auto ok = budget.charge(kStepsPerNewOutcome * sums.size(), product_of(left.size(), right.size())); !ok) {
        return std::unexpected(ok.error());
    }
    if (auto ok = budget.hold(sums.size(), product_of(left.size(), right.size())); !ok) {
        return std::unexpected(ok.error());
    }
    ValueLaw law = from_list(sums.take());
    if (!law.dense) law.order = sums.seed();
    return law;
}

Budgeted<ValueLaw> negated(const ValueLaw& law, WorkBudget& budget) {
    if (auto ok = budget.hold(law.size(), "a negation of " + std::to_string(law.size()) + " outcomes"); !ok) {
        return std::unexpected(ok.error());
    }
    if (law.dense && !law.ints.empty() && law.ints.lo + (static_cast<std::int64_t>(law.ints.size()) - 1) >
                                              std::numeric_limits<std::int64_t>::min() &&
        law.ints.lo > std::numeric_limits<std::int64_t>::min()) {
        return ValueLaw::of_ints(reversed(law.ints));
    }
    std::vector<std::pair<Number, double>> list;
    list.reserve(law.size());
    law.for_each([&](const Number& n, double w) { list.emplace_back(negate(n), w); });
    return from_list(std::move(list));
}

void scale(ValueLaw& law, double factor) {
    for (double& w : law.ints.p) w *= factor;
    for (auto& entry : law.list) entry.second *= factor;
}

}  // namespace pipwerk::detail
