#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <variant>

#include "number.hpp"
#include "out_of_memory.hpp"
#include "small_vector.hpp"

namespace pipwerk {

// Printed by position from "+-*/".
enum class BinaryOp : std::uint8_t { Add, Sub, Mul, Div };

// Keep the n highest (kN) or the n lowest (klN) dice; n is the integer view
// of the written number, unchecked.
struct KeepMode {
    enum class Dir : std::uint8_t { High, Low };
    Dir dir;
    std::int64_t n;

    friend bool operator==(const KeepMode&, const KeepMode&) = default;
};

// The last modifier of a dice term: a test of each kept die against a threshold.
struct ComparisonOp {
    enum class Kind : std::uint8_t { Greater, GreaterEqual, Less, LessEqual, NotEqual };
    Kind kind;
    Number threshold;

    // Whether a die value v passes against the integer view u of the threshold.
    [[nodiscard]] static constexpr bool passes(Kind kind, std::int64_t v, std::int64_t u) noexcept {
        switch (kind) {
            case Kind::Greater: return v > u;
            case Kind::GreaterEqual: return v >= u;
            case Kind::Less: return v < u;
            case Kind::LessEqual: return v <= u;
            case Kind::NotEqual: return v != u;
        }
        return false;
    }

    friend bool operator==(const ComparisonOp&, const ComparisonOp&) = default;
};

// Nodes live in one arena (Ast) and name their children by index, so a tree of
// any depth or length is built with few allocations and freed without recursion.
using ExprId = std::uint32_t;

// An ExprId or nothing, in one word: the largest id stands for nothing. A
// std::optional<ExprId> is returned through memory as a value and a flag
// byte, and reading that back as one word stalls on the store just made;
// the parser returns one of these from every grammar step.
class OptionalExprId {
public:
    constexpr OptionalExprId() noexcept = default;
    constexpr OptionalExprId(std::nullopt_t) noexcept {}
    constexpr OptionalExprId(ExprId id) noexcept : id_(id) {}

    [[nodiscard]] constexpr bool has_value() const noexcept { return id_ != kNone; }
    constexpr explicit operator bool() const noexcept { return has_value(); }
    [[nodiscard]] constexpr ExprId operator*() const noexcept { return id_; }
    [[nodiscard]] constexpr std::optional<ExprId> to_optional() const noexcept {
        return has_value() ? std::optional<ExprId>(id_) : std::nullopt;
    }

private:
    static constexpr ExprId kNone = ~ExprId{0};
    ExprId id_ = kNone;
};

struct DiceExpr {
    Number count;  // Int 1 when not written
    Number faces;
    std::optional<KeepMode> keep;
    std::optional<Number> bonus;
    std::optional<ComparisonOp> comparison;
};

// A Number split into 32-bit halves: 4-byte alignment lets every node fit
// in 16 bytes, so a long expression touches half the memory.
class PackedNumber {
public:
    PackedNumber() noexcept = default;
    explicit PackedNumber(const Number& n) noexcept
        : low_(static_cast<std::uint32_t>(payload_of(n))),
          high_(static_cast<std::uint32_t>(payload_of(n) >> 32)),
          kind_(n.kind()) {}

    [[nodiscard]] Number get() const noexcept {
        const std::uint64_t payload = (std::uint64_t{high_} << 32) | low_;
        return number_of(kind_, payload);
    }

    // A Number as its 64 payload bits (an Int's value or a double's bits), and back.
    [[nodiscard]] static std::uint64_t payload_of(const Number& n) noexcept {
        return n.is_int() ? static_cast<std::uint64_t>(n.int_value()) : std::bit_cast<std::uint64_t>(n.to_double());
    }
    [[nodiscard]] static Number number_of(Number::Kind kind, std::uint64_t payload) noexcept {
        if (kind == Number::Kind::Int) return Number::make_int(static_cast<std::int64_t>(payload));
        const double value = std::bit_cast<double>(payload);
        return kind == Number::Kind::Real ? Number::make_real(value) : Number::make_percent(value);
    }

private:
    std::uint32_t low_ = 0;
    std::uint32_t high_ = 0;
    Number::Kind kind_ = Number::Kind::Int;
};

struct LiteralExpr {
    PackedNumber packed;

    [[nodiscard]] Number value() const noexcept { return packed.get(); }
};
struct NegExpr {
    ExprId operand;
};
struct BinaryExpr {
    ExprId left;
    ExprId right;
    BinaryOp op;
};
struct ParenExpr {
    ExprId inner;
};
// The count sits in the arena's side table (Ast::count): repeats are rare.
struct RepeatExpr {
    std::uint32_t count_index;
    ExprId body;
};
// Items are a run of Ast::items(); a set written in the language has at least one.
struct SetExpr {
    std::uint32_t first_item;
    std::uint32_t item_count;
};
// A plain dice term ("3d6": whole count and faces that fit 32 bits, no
// modifier) is held in the node itself; any other keeps its (large) parts in
// the arena's side table at `index`.
struct DiceRef {
    static constexpr std::uint32_t kInline = ~std::uint32_t{0};
    std::uint32_t index;
    std::int32_t count;
    std::int32_t faces;
};

class Expr {
public:
    using Node = std::variant<DiceRef, LiteralExpr, NegExpr, BinaryExpr, ParenExpr, RepeatExpr, SetExpr>;

    Expr(Node node, std::uint8_t level) noexcept : node_(node), level_(level) {}
    // Built straight from the alternative: copying a whole variant into a node
    // whose tail padding holds the level is a slow, partial copy.
    template <class Alternative>
    Expr(std::in_place_type_t<Alternative> type, const Alternative& alternative, std::uint8_t level) noexcept
        : node_(type, alternative), level_(level) {}

    [[nodiscard]] const Node& node() const noexcept { return node_; }
    // 0: no dice (const), 1: dice but no set construct (rand), 2: a repeat or a
    // set somewhere below (pipwerk). Computed once when the node is built.
    [[nodiscard]] int level() const noexcept { return level_; }

private:
    // The level fits in the variant's tail padding, keeping a node at 16 bytes.
    [[no_unique_address]] Node node_;
    std::uint8_t level_;
};

// The arena that owns every node of one parsed tree.
class Ast {
public:
    [[nodiscard]] const Expr& operator[](ExprId id) const noexcept { return nodes_[id]; }
    // Unpacked on each call; inline, so a caller reading a few fields keeps
    // them in registers.
    [[nodiscard]] DiceExpr dice(DiceRef ref) const noexcept;
    // A dice term with modifiers (index != kInline) as integer views, read
    // straight from the side table: a reader that narrows every number
    // anyway builds no DiceExpr and its optionals on the stack.
    struct DiceViews {
        std::int64_t count;
        std::int64_t faces;
        std::int64_t keep_n;
        std::int64_t bonus;
        std::int64_t threshold;
        KeepMode::Dir keep_dir;
        ComparisonOp::Kind comparison;
        bool has_keep;
        bool has_bonus;
        bool has_comparison;
    };
    [[nodiscard]] DiceViews dice_views(DiceRef ref) const noexcept;
    [[nodiscard]] std::span<const ExprId> items(const SetExpr& set) const noexcept {
        return items_.span().subspan(set.first_item, set.item_count);
    }
    [[nodiscard]] Number count(const RepeatExpr& repeat) const noexcept { return counts_[repeat.count_index]; }
    [[nodiscard]] std::size_t size() const noexcept { return nodes_.size(); }

    // Room for this many nodes, taken when the inline room runs out, so a
    // longer expression grows its arena once rather than step by step, and
    // a short one followed by a long text takes nothing.
    void reserve_when_full(std::size_t nodes) noexcept { room_when_full_ = nodes; }

    // Builders; each computes the new node's level from its children. The
    // ones the parser calls per token are inline below.
    ExprId add_dice(const DiceExpr& dice);
    ExprId add_dice(const Number& count, const Number& faces, const std::optional<KeepMode>& keep,
                    const std::optional<Number>& bonus, const std::optional<ComparisonOp>& comparison);
    ExprId add_literal(Number value);
    ExprId add_neg(ExprId operand);
    ExprId add_binary(BinaryOp op, ExprId left, ExprId right);
    ExprId add_paren(ExprId inner);
    ExprId add_repeat(Number count, ExprId body);
    ExprId add_set(std::span<const ExprId> items);

private:
    // A DiceExpr without the padding of its three optionals: 48 bytes instead
    // of 112. Each number is its kind and its 64 bits (an Int's value or a
    // double's bits); absent parts are flagged in `present`.
    struct PackedDice {
        static constexpr std::uint8_t kKeep = 1;
        static constexpr std::uint8_t kBonus = 2;
        static constexpr std::uint8_t kComparison = 4;

        std::uint64_t count;
        std::uint64_t faces;
        std::uint64_t bonus;
        std::uint64_t threshold;
        std::int64_t keep_n;
        Number::Kind count_kind;
        Number::Kind faces_kind;
        Number::Kind bonus_kind;
        Number::Kind threshold_kind;
        KeepMode::Dir keep_dir;
        ComparisonOp::Kind comparison_kind;
        std::uint8_t present;
    };

    [[nodiscard]] static std::uint64_t payload_of(const Number& n) noexcept { return PackedNumber::payload_of(n); }
    [[nodiscard]] static Number number_of(Number::Kind kind, std::uint64_t payload) noexcept {
        return PackedNumber::number_of(kind, payload);
    }

    // Levels: 0 const (no dice), 1 rand (dice), 2 pipwerk (a repeat or a set).
    static constexpr int kConstLevel = 0;
    static constexpr int kRandLevel = 1;
    static constexpr int kPipwerkLevel = 2;

    template <class Alternative>
    ExprId push(const Alternative& node, int level);
    // A dice term with a modifier or a count or faces past 32 bits. Count and
    // faces by value: a caller then needs no copy of them in memory. Inline,
    // so the parser's modifiers go straight into the slot.
    ExprId add_packed_dice(Number count, Number faces, const std::optional<KeepMode>& keep,
                           const std::optional<Number>& bonus, const std::optional<ComparisonOp>& comparison);
    [[nodiscard]] static bool fits_int32(const Number& n) noexcept {
        return n.is_int() && n.int_value() >= std::numeric_limits<std::int32_t>::min() &&
               n.int_value() <= std::numeric_limits<std::int32_t>::max();
    }

    // Inline room for a short expression ("2d20kl1 + 1d4 - 1" has 5 nodes)
    // or a line of a few terms and sets (60 characters hold about 20), so
    // parsing one allocates nothing.
    SmallVector<Expr, 32> nodes_;
    std::size_t room_when_full_ = 0;
    SmallVector<PackedDice, 4> dice_;
    SmallVector<ExprId, 8> items_;
    SmallVector<Number, 2> counts_;
};

// libstdc++'s variant lends its tail padding to the level; libc++'s (the
// WebAssembly build's) keeps it, so a node takes 20 bytes there.
#if defined(_LIBCPP_VERSION)
static_assert(sizeof(Expr) <= 20);
#else
static_assert(sizeof(Expr) == 16);
#endif

template <class Alternative>
ExprId Ast::push(const Alternative& node, int level) {
    // Ids are 32 bits and the largest means "no node": an arena that would
    // need more is as good as out of memory (it would hold over 100 GiB).
    if (nodes_.size() >= std::numeric_limits<ExprId>::max()) out_of_memory();
    const auto id = static_cast<ExprId>(nodes_.size());
    if (nodes_.size() == nodes_.capacity() && room_when_full_ > nodes_.size()) {
        nodes_.reserve(room_when_full_);
        room_when_full_ = 0;
    }
    nodes_.emplace_back(std::in_place_type<Alternative>, node, static_cast<std::uint8_t>(level));
    return id;
}

inline ExprId Ast::add_dice(const Number& count, const Number& faces, const std::optional<KeepMode>& keep,
                            const std::optional<Number>& bonus, const std::optional<ComparisonOp>& comparison) {
    if (!keep && !bonus && !comparison && fits_int32(count) && fits_int32(faces)) {
        return push(DiceRef{DiceRef::kInline, static_cast<std::int32_t>(count.int_value()),
                            static_cast<std::int32_t>(faces.int_value())},
                    kRandLevel);
    }
    return add_packed_dice(count, faces, keep, bonus, comparison);
}

inline ExprId Ast::add_packed_dice(Number count, Number faces, const std::optional<KeepMode>& keep,
                                   const std::optional<Number>& bonus, const std::optional<ComparisonOp>& comparison) {
    const auto index = static_cast<std::uint32_t>(dice_.size());
    // Every field is written here, in the arena's own slot, which is left
    // unset rather than cleared first.
    PackedDice& p = *dice_.extend(1);
    p.count = payload_of(count);
    p.count_kind = count.kind();
    p.faces = payload_of(faces);
    p.faces_kind = faces.kind();
    p.present = 0;
    p.keep_n = keep ? keep->n : 0;
    p.keep_dir = keep ? keep->dir : KeepMode::Dir::High;
    if (keep) p.present |= PackedDice::kKeep;
    p.bonus = bonus ? payload_of(*bonus) : 0;
    p.bonus_kind = bonus ? bonus->kind() : Number::Kind::Int;
    if (bonus) p.present |= PackedDice::kBonus;
    p.threshold = comparison ? payload_of(comparison->threshold) : 0;
    p.threshold_kind = comparison ? comparison->threshold.kind() : Number::Kind::Int;
    p.comparison_kind = comparison ? comparison->kind : ComparisonOp::Kind::Greater;
    if (comparison) p.present |= PackedDice::kComparison;
    return push(DiceRef{.index = index, .count = 0, .faces = 0}, kRandLevel);
}

inline ExprId Ast::add_literal(Number value) { return push(LiteralExpr{PackedNumber(value)}, kConstLevel); }

inline ExprId Ast::add_neg(ExprId operand) { return push(NegExpr{operand}, nodes_[operand].level()); }

inline ExprId Ast::add_binary(BinaryOp op, ExprId left, ExprId right) {
    const int level = std::max(nodes_[left].level(), nodes_[right].level());
    return push(BinaryExpr{left, right, op}, level);
}

inline ExprId Ast::add_paren(ExprId inner) { return push(ParenExpr{inner}, nodes_[inner].level()); }

inline DiceExpr Ast::dice(DiceRef ref) const noexcept {
    if (ref.index == DiceRef::kInline) {
        return DiceExpr{.count = Number::make_int(ref.count),
                        .faces = Number::make_int(ref.faces),
                        .keep = std::nullopt,
                        .bonus = std::nullopt,
                        .comparison = std::nullopt};
    }
    const PackedDice& p = dice_[ref.index];
    DiceExpr dice{.count = number_of(p.count_kind, p.count),
                  .faces = number_of(p.faces_kind, p.faces),
                  .keep = std::nullopt,
                  .bonus = std::nullopt,
                  .comparison = std::nullopt};
    if (p.present & PackedDice::kKeep) dice.keep = KeepMode{.dir = p.keep_dir, .n = p.keep_n};
    if (p.present & PackedDice::kBonus) dice.bonus = number_of(p.bonus_kind, p.bonus);
    if (p.present & PackedDice::kComparison) {
        dice.comparison = ComparisonOp{.kind = p.comparison_kind, .threshold = number_of(p.threshold_kind, p.threshold)};
    }
    return dice;
}

inline Ast::DiceViews Ast::dice_views(DiceRef ref) const noexcept {
    const PackedDice& p = dice_[ref.index];
    const auto view = [](Number::Kind kind, std::uint64_t payload) { return number_of(kind, payload).integer_view(); };
    return DiceViews{.count = view(p.count_kind, p.count),
                     .faces = view(p.faces_kind, p.faces),
                     .keep_n = p.keep_n,
                     .bonus = (p.present & PackedDice::kBonus) != 0 ? view(p.bonus_kind, p.bonus) : 0,
                     .threshold = (p.present & PackedDice::kComparison) != 0 ? view(p.threshold_kind, p.threshold) : 0,
                     .keep_dir = p.keep_dir,
                     .comparison = p.comparison_kind,
                     .has_keep = (p.present & PackedDice::kKeep) != 0,
                     .has_bonus = (p.present & PackedDice::kBonus) != 0,
                     .has_comparison = (p.present & PackedDice::kComparison) != 0};
}

}  // namespace pipwerk
