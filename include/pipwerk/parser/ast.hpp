#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "pipwerk/number.hpp"

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

struct DiceExpr {
    Number count;  // Int 1 when not written
    Number faces;
    std::optional<KeepMode> keep;
    std::optional<Number> bonus;
    std::optional<ComparisonOp> comparison;
};
struct LiteralExpr {
    Number value;
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
struct RepeatExpr {
    Number count;
    ExprId body;
};
// Items are a run of Ast::items(); a set written in the language has at least one.
struct SetExpr {
    std::uint32_t first_item;
    std::uint32_t item_count;
};
// A dice term keeps its (large) modifiers in the arena's side table.
struct DiceRef {
    std::uint32_t index;
};

class Expr {
public:
    using Node = std::variant<DiceRef, LiteralExpr, NegExpr, BinaryExpr, ParenExpr, RepeatExpr, SetExpr>;

    Expr(Node node, std::uint8_t level) noexcept : node_(node), level_(level) {}

    [[nodiscard]] const Node& node() const noexcept { return node_; }
    // 0: no dice (const), 1: dice but no set construct (rand), 2: a repeat or a
    // set somewhere below (pipwerk). Computed once when the node is built.
    [[nodiscard]] int level() const noexcept { return level_; }

private:
    // The level fits in the variant's tail padding, keeping a node at 32 bytes.
    [[no_unique_address]] Node node_;
    std::uint8_t level_;
};

// The arena that owns every node of one parsed tree.
class Ast {
public:
    [[nodiscard]] const Expr& operator[](ExprId id) const noexcept { return nodes_[id]; }
    [[nodiscard]] const DiceExpr& dice(DiceRef ref) const noexcept { return dice_[ref.index]; }
    [[nodiscard]] std::span<const ExprId> items(const SetExpr& set) const noexcept {
        return std::span<const ExprId>(items_).subspan(set.first_item, set.item_count);
    }
    [[nodiscard]] std::size_t size() const noexcept { return nodes_.size(); }

    // Builders; each computes the new node's level from its children.
    ExprId add_dice(DiceExpr dice);
    ExprId add_literal(Number value);
    ExprId add_neg(ExprId operand);
    ExprId add_binary(BinaryOp op, ExprId left, ExprId right);
    ExprId add_paren(ExprId inner);
    ExprId add_repeat(Number count, ExprId body);
    ExprId add_set(std::span<const ExprId> items);

private:
    ExprId push(Expr::Node node, int level);

    std::vector<Expr> nodes_;
    std::vector<DiceExpr> dice_;
    std::vector<ExprId> items_;
};

}  // namespace pipwerk
