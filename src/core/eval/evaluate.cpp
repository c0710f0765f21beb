#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "pipwerk/eval.hpp"
#include "pipwerk/roll.hpp"

// Long operator chains ("1+1+...+1") are left-leaning trees as deep as they
// are long, so every level walks the left spine of a Binary chain in a loop:
// collect the spine, evaluate the leftmost operand, then fold upward. Runs of
// brackets and unary minus are unwrapped in a loop as well (a double negation
// is the identity, so only the parity counts). Only right operands and set
// elements recurse, and the parser bounds their nesting.
//
// At the rand level every detail text is written in the order the tree is
// evaluated, so it is appended into one buffer as it is made: a chain costs
// one growing string, and a bracket costs two characters instead of a copy
// of everything inside it.

namespace pipwerk {
namespace {

constexpr std::int64_t kMaxRepeat = 10;

template <class T>
const T* node_as(const Ast& ast, ExprId id) noexcept {
    return std::get_if<T>(&ast[id].node());
}

int level_of(const Ast& ast, ExprId id) noexcept { return ast[id].level(); }

std::unexpected<PipwerkError> fail(ParseMessage message) noexcept {
    return std::unexpected(PipwerkError::parse(message));
}

constexpr char symbol_of(BinaryOp op) noexcept { return "+-*/"[static_cast<std::size_t>(op)]; }

// The low 32 bits of the integer view, read as two's complement: a count of
// 4294967297 is 1, one of 2147483648 is negative.
constexpr std::int32_t low32(std::int64_t v) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xffffffffU));
}

// The Binary nodes down the left spine from `top`, outermost first, as long
// as `follow(left)` says the left operand continues the chain.
template <class Follow>
std::vector<const BinaryExpr*> collect_spine(const Ast& ast, const BinaryExpr& top, Follow follow) {
    std::vector<const BinaryExpr*> spine{&top};
    for (const BinaryExpr* b = &top; follow(b->left);) {
        b = node_as<BinaryExpr>(ast, b->left);
        spine.push_back(b);
    }
    return spine;
}

// A run of brackets and signs around a node: what is inside, how many
// brackets, and whether an odd number of signs negates it.
struct Unwrapped {
    ExprId inner;
    std::size_t parens;
    bool negated;
};

Unwrapped unwrap(const Ast& ast, ExprId node) noexcept {
    Unwrapped u{node, 0, false};
    for (;;) {
        if (const auto* paren = node_as<ParenExpr>(ast, u.inner)) {
            u.inner = paren->inner;
            ++u.parens;
        } else if (const auto* neg = node_as<NegExpr>(ast, u.inner)) {
            u.inner = neg->operand;
            u.negated = !u.negated;
        } else {
            return u;
        }
    }
}

Result<Number> eval_const_chain(const Ast& ast, const BinaryExpr& top) {
    const auto spine =
        collect_spine(ast, top, [&](ExprId left) { return node_as<BinaryExpr>(ast, left) != nullptr; });
    Result<Number> acc = eval_const(ast, spine.back()->left);
    for (auto it = spine.rbegin(); acc && it != spine.rend(); ++it) {
        const Result<Number> right = eval_const(ast, (*it)->right);
        if (!right) return right;
        acc = apply_binop((*it)->op, *acc, *right);
    }
    return acc;
}

Result<Number> rand_into(const Ast& ast, ExprId node, Rng& rng, std::string& out);

// eval_rand_or_const, appending the detail text to `out`.
Result<Number> rand_or_const_into(const Ast& ast, ExprId node, Rng& rng, std::string& out) {
    switch (level_of(ast, node)) {
        case 0: {
            Result<Number> value = eval_const(ast, node);
            if (value) value->append_display_string(out);
            return value;
        }
        case 1: return rand_into(ast, node, rng, out);
        default: return fail(ParseMessage::UnexpectedPipwerkLevel);
    }
}

bool has_pipwerk_operand(const Ast& ast, const BinaryExpr& b) noexcept {
    return level_of(ast, b.left) == 2 || level_of(ast, b.right) == 2;
}

Result<Number> rand_chain_into(const Ast& ast, const BinaryExpr& top, Rng& rng, std::string& out) {
    if (has_pipwerk_operand(ast, top)) return fail(ParseMessage::UnexpectedPipwerkInRand);
    // A const left operand is one leaf (it shows only its value); a rand-level
    // Binary continues the chain.
    const auto spine = collect_spine(ast, top, [&](ExprId left) {
        return level_of(ast, left) == 1 && node_as<BinaryExpr>(ast, left) != nullptr;
    });

    const std::size_t start = out.size();
    Result<Number> acc = rand_or_const_into(ast, spine.back()->left, rng, out);
    for (auto it = spine.rbegin(); acc && it != spine.rend(); ++it) {
        const BinaryExpr& b = **it;
        // The left text is out[start..]; lay out "left s right" as
        // format_binop_detail does, dropping the side of an empty text.
        const std::size_t before_op = out.size();
        const bool left_empty = before_op == start;
        if (!left_empty) out += ' ';
        out += symbol_of(b.op);
        out += ' ';
        const std::size_t right_start = out.size();
        const Result<Number> right = rand_or_const_into(ast, b.right, rng, out);
        if (!right) return right;
        if (out.size() == right_start) out.resize(left_empty ? before_op : right_start - 1);
        acc = apply_binop(b.op, *acc, *right);
    }
    return acc;
}

// Kept out of line so the recursive evaluation frames stay small: the roll
// record holds its dice inline.
[[gnu::noinline]] Result<Number> dice_into(const DiceExpr& dice, Rng& rng, std::string& out) {
    const std::int32_t count = low32(dice.count.integer_view());
    const std::int32_t faces = low32(dice.faces.integer_view());
    if (count < 1 || faces < 2) return std::unexpected(PipwerkError::non_positive());

    const Result<RollResult> rolled = roll_with_modifiers(rng, count, faces, dice.keep, dice.bonus);
    if (!rolled) return std::unexpected(rolled.error());
    const RollResult& roll = *rolled;
    const std::size_t pool = std::min(roll.size, kMaxPool);

    // Room for a typical die text ("6*!" and its " + ") in one step.
    const std::size_t wanted = out.size() + 2 + 8 * pool;
    if (out.capacity() < wanted) out.reserve(std::max(wanted, 2 * out.capacity()));

    if (!dice.comparison) {
        roll.append_detail(out);
        return Number::make_int(roll.total);
    }
    const ComparisonOp& comparison = *dice.comparison;
    const std::int64_t threshold = comparison.threshold.integer_view();
    std::int64_t successes = 0;
    for (std::size_t i = 0; i < pool; ++i) {
        if (roll.kept[i] && ComparisonOp::passes(comparison.kind, roll.rolls[i], threshold)) ++successes;
    }
    roll.append_detail_comparison(out, comparison);
    return Number::make_int(successes);
}

// eval_rand, appending the detail text to `out`.
Result<Number> rand_into(const Ast& ast, ExprId node, Rng& rng, std::string& out) {
    // Brackets wrap the text of what they hold; a sign shows in the value only.
    const Unwrapped u = unwrap(ast, node);
    out.append(u.parens, '(');
    const Expr::Node& n = ast[u.inner].node();
    Result<Number> value = fail(ParseMessage::ExpectedRandExpression);
    if (const auto* b = std::get_if<BinaryExpr>(&n)) {
        value = rand_chain_into(ast, *b, rng, out);
    } else if (const auto* dice = std::get_if<DiceRef>(&n)) {
        value = dice_into(ast.dice(*dice), rng, out);
    }
    if (!value) return value;
    out.append(u.parens, ')');
    if (u.negated) *value = negate(*value);
    return value;
}

ExprId strip_parens(const Ast& ast, ExprId node) noexcept {
    while (const auto* paren = node_as<ParenExpr>(ast, node)) node = paren->inner;
    return node;
}

// Repeats and sets end the recursion; kept out of line so their locals stay
// off the frames of nested set arithmetic.
[[gnu::noinline]] Result<EvalValue> eval_repeat(const Ast& ast, const RepeatExpr& repeat, Rng& rng) {
    const std::int64_t n = repeat.count.integer_view();
    if (n < 1) return std::unexpected(PipwerkError::non_positive());
    if (n > kMaxRepeat) return std::unexpected(PipwerkError::repeat_count_exceeds_max(n, kMaxRepeat));
    EvalValue::Set elements;
    elements.reserve(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i) {
        Result<ScalarValue> element = eval_rand_or_const(ast, repeat.body, rng);
        if (!element) return std::unexpected(std::move(element.error()));
        elements.push_back(std::move(*element));
    }
    return EvalValue(std::move(elements));
}

[[gnu::noinline]] Result<EvalValue> eval_set(const Ast& ast, const SetExpr& set, Rng& rng) {
    EvalValue::Set elements;
    elements.reserve(set.item_count);
    for (const ExprId item : ast.items(set)) {
        Result<ScalarValue> element = eval_rand_or_const(ast, item, rng);
        if (!element) return std::unexpected(std::move(element.error()));
        elements.push_back(std::move(*element));
    }
    return EvalValue(std::move(elements));
}

// A Binary whose left operand is not a set (the spine's end): the scalar on
// the left meets the set on the right.
Result<EvalValue> eval_scalar_set(const Ast& ast, const BinaryExpr& b, Rng& rng) {
    if (level_of(ast, b.right) != 2) return fail(ParseMessage::ExpectedPipwerkOperand);
    Result<ScalarValue> scalar = eval_rand_or_const(ast, b.left, rng);
    if (!scalar) return std::unexpected(std::move(scalar.error()));
    Result<EvalValue> set = eval_pipwerk(ast, b.right, rng);
    if (!set) return set;
    return binary_set_scalar(b.op, std::move(*set), scalar->value, std::move(scalar->detail), false);
}

// eval_pipwerk of a node that does not continue a set chain; brackets are
// already stripped.
Result<EvalValue> pipwerk_single(const Ast& ast, ExprId node, Rng& rng) {
    const Expr::Node& n = ast[node].node();
    if (const auto* b = std::get_if<BinaryExpr>(&n)) return eval_scalar_set(ast, *b, rng);
    if (std::holds_alternative<NegExpr>(n)) return eval_pipwerk(ast, node, rng);
    if (const auto* repeat = std::get_if<RepeatExpr>(&n)) return eval_repeat(ast, *repeat, rng);
    if (const auto* set = std::get_if<SetExpr>(&n)) return eval_set(ast, *set, rng);
    return fail(ParseMessage::ExpectedPipwerkExpression);
}

// A chain whose leftmost operands are sets ("{1} + 1 - d6 ..."), walked
// along its left spine; `node` carries no brackets or signs of its own.
Result<EvalValue> eval_set_chain(const Ast& ast, ExprId node, Rng& rng) {
    const auto* top = node_as<BinaryExpr>(ast, node);
    if (top == nullptr || level_of(ast, top->left) != 2) return pipwerk_single(ast, node, rng);

    // A set on the left continues the chain, through any brackets around it.
    std::vector<const BinaryExpr*> spine{top};
    for (ExprId left = strip_parens(ast, top->left);;) {
        const auto* b = node_as<BinaryExpr>(ast, left);
        if (b == nullptr || level_of(ast, b->left) != 2) {
            node = left;
            break;
        }
        spine.push_back(b);
        left = strip_parens(ast, b->left);
    }

    Result<EvalValue> acc = pipwerk_single(ast, node, rng);
    for (auto it = spine.rbegin(); acc && it != spine.rend(); ++it) {
        const BinaryExpr& b = **it;
        if (level_of(ast, b.right) == 2) {
            Result<EvalValue> right = eval_pipwerk(ast, b.right, rng);
            if (!right) return right;
            acc = binary_set_set(b.op, std::move(*acc), std::move(*right));
        } else {
            Result<ScalarValue> right = eval_rand_or_const(ast, b.right, rng);
            if (!right) return std::unexpected(std::move(right.error()));
            acc = binary_set_scalar(b.op, std::move(*acc), right->value, std::move(right->detail), true);
        }
    }
    return acc;
}

}  // namespace

Result<Number> eval_const(const Ast& ast, ExprId node) {
    // Brackets leave no trace here.
    const Unwrapped u = unwrap(ast, node);
    const Expr::Node& n = ast[u.inner].node();
    Result<Number> value = fail(ParseMessage::ExpectedConstExpression);
    if (const auto* b = std::get_if<BinaryExpr>(&n)) {
        value = eval_const_chain(ast, *b);
    } else if (const auto* literal = std::get_if<LiteralExpr>(&n)) {
        value = literal->value;
    }
    if (value && u.negated) *value = negate(*value);
    return value;
}

Result<ScalarValue> eval_rand(const Ast& ast, ExprId node, Rng& rng) {
    std::string detail;
    Result<Number> value = rand_into(ast, node, rng, detail);
    if (!value) return std::unexpected(std::move(value.error()));
    return ScalarValue{*value, std::move(detail)};
}

Result<ScalarValue> eval_rand_or_const(const Ast& ast, ExprId node, Rng& rng) {
    std::string detail;
    Result<Number> value = rand_or_const_into(ast, node, rng, detail);
    if (!value) return std::unexpected(std::move(value.error()));
    return ScalarValue{*value, std::move(detail)};
}

Result<EvalValue> eval_pipwerk(const Ast& ast, ExprId node, Rng& rng) {
    // Brackets leave no trace at this level; signs negate every element.
    const Unwrapped u = unwrap(ast, node);
    Result<EvalValue> value = eval_set_chain(ast, u.inner, rng);
    if (!value || !u.negated) return value;
    EvalValue::Set* elements = value->set();
    if (elements == nullptr) return fail(ParseMessage::ExpectedSet);
    for (ScalarValue& e : *elements) e.value = negate(e.value);
    return value;
}

Result<EvalValue> evaluate(const Ast& ast, ExprId root, Rng& rng) {
    switch (level_of(ast, root)) {
        case 0: {
            Result<Number> value = eval_const(ast, root);
            if (!value) return std::unexpected(std::move(value.error()));
            return EvalValue(ScalarValue{*value, {}});
        }
        case 1: {
            Result<ScalarValue> value = eval_rand(ast, root, rng);
            if (!value) return std::unexpected(std::move(value.error()));
            return EvalValue(std::move(*value));
        }
        default: return eval_pipwerk(ast, root, rng);
    }
}

}  // namespace pipwerk
