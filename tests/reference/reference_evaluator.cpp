#include "reference_evaluator.hpp"

#include <algorithm>
#include <cstdint>
#include <variant>

#include "roll.hpp"

namespace pipwerk::reference {
namespace {

std::unexpected<PipwerkError> parse_error(ParseMessage message) { return std::unexpected(PipwerkError::parse(message)); }

// Arithmetic of two numbers, from the rules: Int with Int wraps and divides
// exactly or becomes Real; anything else is Real; a zero divisor fails.
Result<Number> binop(BinaryOp op, Number a, Number b) {
    if (a.is_int() && b.is_int()) {
        const auto x = static_cast<std::uint64_t>(a.int_value());
        const auto y = static_cast<std::uint64_t>(b.int_value());
        switch (op) {
            case BinaryOp::Add: return Number::make_int(static_cast<std::int64_t>(x + y));
            case BinaryOp::Sub: return Number::make_int(static_cast<std::int64_t>(x - y));
            case BinaryOp::Mul: return Number::make_int(static_cast<std::int64_t>(x * y));
            case BinaryOp::Div: break;
        }
        if (b.int_value() == 0) return std::unexpected(PipwerkError::division_by_zero());
        if (a.int_value() == INT64_MIN && b.int_value() == -1) return Number::make_real(9223372036854775808.0);
        if (a.int_value() % b.int_value() == 0) return Number::make_int(a.int_value() / b.int_value());
        return Number::make_real(a.to_double() / b.to_double());
    }
    const double x = a.to_double();
    const double y = b.to_double();
    switch (op) {
        case BinaryOp::Add: return Number::make_real(x + y);
        case BinaryOp::Sub: return Number::make_real(x - y);
        case BinaryOp::Mul: return Number::make_real(x * y);
        case BinaryOp::Div: break;
    }
    if (y == 0.0) return std::unexpected(PipwerkError::division_by_zero());
    return Number::make_real(x / y);
}

Number negated(Number n) {
    if (n.is_int()) return Number::make_int(static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(n.int_value())));
    return n.kind() == Number::Kind::Real ? Number::make_real(-n.to_double()) : Number::make_percent(-n.to_double());
}

// The four cases of an operation's text.
std::string format(BinaryOp op, const std::string& left, const std::string& right) {
    const std::string s(1, "+-*/"[static_cast<int>(op)]);
    if (!left.empty() && !right.empty()) return left + " " + s + " " + right;
    if (!left.empty()) return left + " " + s;
    if (!right.empty()) return s + " " + right;
    return "";
}

std::int32_t low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

class Evaluator {
public:
    Evaluator(const Ast& ast, Rng& rng) : ast_(ast), rng_(rng) {}

    Result<Value> evaluate(ExprId node) {
        switch (level(node)) {
            case 0: {
                Result<Number> n = eval_const(node);
                if (!n) return std::unexpected(n.error());
                return Value{false, {{*n, ""}}};
            }
            case 1: {
                Result<Element> e = eval_rand(node);
                if (!e) return std::unexpected(e.error());
                return Value{false, {*e}};
            }
            default: {
                Result<std::vector<Element>> set = eval_pipwerk(node);
                if (!set) return std::unexpected(set.error());
                return Value{true, *set};
            }
        }
    }

private:
    int level(ExprId node) const { return ast_[node].level(); }
    const Expr::Node& kind(ExprId node) const { return ast_[node].node(); }

    Result<Number> eval_const(ExprId node) {
        const Expr::Node& n = kind(node);
        if (const auto* p = std::get_if<ParenExpr>(&n)) return eval_const(p->inner);
        if (const auto* l = std::get_if<LiteralExpr>(&n)) return l->value();
        if (const auto* g = std::get_if<NegExpr>(&n)) {
            Result<Number> v = eval_const(g->operand);
            if (!v) return v;
            return negated(*v);
        }
        if (const auto* b = std::get_if<BinaryExpr>(&n)) {
            Result<Number> l = eval_const(b->left);
            if (!l) return l;
            Result<Number> r = eval_const(b->right);
            if (!r) return r;
            return binop(b->op, *l, *r);
        }
        return parse_error(ParseMessage::ExpectedConstExpression);
    }

    Result<Element> eval_rand_or_const(ExprId node) {
        if (level(node) == 0) {
            Result<Number> v = eval_const(node);
            if (!v) return std::unexpected(v.error());
            return Element{*v, v->to_display_string()};
        }
        if (level(node) == 1) return eval_rand(node);
        return parse_error(ParseMessage::UnexpectedPipwerkLevel);
    }

    Result<Element> eval_rand(ExprId node) {
        const Expr::Node& n = kind(node);
        if (const auto* g = std::get_if<NegExpr>(&n)) {
            Result<Element> e = eval_rand(g->operand);
            if (e) e->value = negated(e->value);
            return e;
        }
        if (const auto* p = std::get_if<ParenExpr>(&n)) {
            Result<Element> e = eval_rand(p->inner);
            if (e) e->detail = "(" + e->detail + ")";
            return e;
        }
        if (const auto* b = std::get_if<BinaryExpr>(&n)) {
            if (level(b->left) == 2 || level(b->right) == 2) return parse_error(ParseMessage::UnexpectedPipwerkInRand);
            Result<Element> l = eval_rand_or_const(b->left);
            if (!l) return l;
            Result<Element> r = eval_rand_or_const(b->right);
            if (!r) return r;
            Result<Number> v = binop(b->op, l->value, r->value);
            if (!v) return std::unexpected(v.error());
            return Element{*v, format(b->op, l->detail, r->detail)};
        }
        if (const auto* d = std::get_if<DiceRef>(&n)) return roll_dice(ast_.dice(*d));
        return parse_error(ParseMessage::ExpectedRandExpression);
    }

    Result<Element> roll_dice(const DiceExpr& dice) {
        const std::int32_t count = low32(dice.count.integer_view());
        const std::int32_t faces = low32(dice.faces.integer_view());
        if (count < 1 || faces < 2) return std::unexpected(PipwerkError::non_positive());
        Result<RollResult> roll = roll_with_modifiers(rng_, count, faces, dice.keep, dice.bonus);
        if (!roll) return std::unexpected(roll.error());
        if (!dice.comparison) return Element{Number::make_int(roll->total), roll->detail()};
        const std::int64_t u = dice.comparison->threshold.integer_view();
        std::int64_t successes = 0;
        for (std::size_t i = 0; i < roll->size; ++i) {
            if (roll->kept[i] && ComparisonOp::passes(dice.comparison->kind, roll->rolls[i], u)) ++successes;
        }
        return Element{Number::make_int(successes), roll->detail_comparison(*dice.comparison)};
    }

    static Element pair(BinaryOp op, const Element& a, const Element& b) {
        const Result<Number> v = binop(op, a.value, b.value);
        return Element{v ? *v : Number::make_int(0), format(op, a.detail, b.detail)};
    }

    Result<std::vector<Element>> eval_pipwerk(ExprId node) {
        while (const auto* p = std::get_if<ParenExpr>(&kind(node))) node = p->inner;
        const Expr::Node& n = kind(node);
        if (const auto* g = std::get_if<NegExpr>(&n)) {
            Result<std::vector<Element>> set = eval_pipwerk(g->operand);
            if (set) {
                for (Element& e : *set) e.value = negated(e.value);
            }
            return set;
        }
        if (const auto* b = std::get_if<BinaryExpr>(&n)) return eval_binary(*b);
        if (const auto* r = std::get_if<RepeatExpr>(&n)) {
            const std::int64_t count = ast_.count(*r).integer_view();
            if (count < 1) return std::unexpected(PipwerkError::non_positive());
            if (count > 10) return std::unexpected(PipwerkError::repeat_count_exceeds_max(count, 10));
            std::vector<Element> set;
            for (std::int64_t i = 0; i < count; ++i) {
                Result<Element> e = eval_rand_or_const(r->body);
                if (!e) return std::unexpected(e.error());
                set.push_back(*e);
            }
            return set;
        }
        if (const auto* s = std::get_if<SetExpr>(&n)) {
            std::vector<Element> set;
            for (const ExprId item : ast_.items(*s)) {
                Result<Element> e = eval_rand_or_const(item);
                if (!e) return std::unexpected(e.error());
                set.push_back(*e);
            }
            return set;
        }
        return parse_error(ParseMessage::ExpectedPipwerkExpression);
    }

    Result<std::vector<Element>> eval_binary(const BinaryExpr& b) {
        const bool left_set = level(b.left) == 2;
        const bool right_set = level(b.right) == 2;
        std::vector<Element> out;
        if (left_set && right_set) {
            Result<std::vector<Element>> l = eval_pipwerk(b.left);
            if (!l) return l;
            Result<std::vector<Element>> r = eval_pipwerk(b.right);
            if (!r) return r;
            const std::vector<Element>& L = *l;
            const std::vector<Element>& R = *r;
            if (L.size() == 1 && R.size() >= 2) {
                for (const Element& e : R) out.push_back(pair(b.op, L[0], e));
            } else if (R.size() == 1 && L.size() >= 2) {
                for (const Element& e : L) out.push_back(pair(b.op, e, R[0]));
            } else {
                for (std::size_t i = 0; i < std::min(L.size(), R.size()); ++i) out.push_back(pair(b.op, L[i], R[i]));
            }
            return out;
        }
        if (left_set) {
            Result<std::vector<Element>> l = eval_pipwerk(b.left);
            if (!l) return l;
            Result<Element> r = eval_rand_or_const(b.right);
            if (!r) return std::unexpected(r.error());
            for (const Element& e : *l) out.push_back(pair(b.op, e, *r));
            return out;
        }
        if (right_set) {
            Result<Element> l = eval_rand_or_const(b.left);
            if (!l) return std::unexpected(l.error());
            Result<std::vector<Element>> r = eval_pipwerk(b.right);
            if (!r) return r;
            for (const Element& e : *r) out.push_back(pair(b.op, *l, e));
            return out;
        }
        return parse_error(ParseMessage::ExpectedPipwerkOperand);
    }

    const Ast& ast_;
    Rng& rng_;
};

std::string braced(const std::vector<std::string>& items) {
    std::string out = "{";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out += ", ";
        out += items[i];
    }
    return out + "}";
}

}  // namespace

std::string Value::detail() const {
    if (!is_set) return elements[0].detail;
    std::vector<std::string> texts;
    for (const Element& e : elements) texts.push_back(e.detail);
    return braced(texts);
}

std::string Value::summary() const {
    if (!is_set) return elements[0].value.display();
    std::vector<std::string> texts;
    for (const Element& e : elements) texts.push_back(e.value.display());
    return braced(texts);
}

std::string Value::full() const {
    if (!is_set && elements[0].detail.empty()) return summary();
    return detail() + " = " + summary();
}

Result<Value> evaluate(const Ast& ast, ExprId root, Rng& rng) { return Evaluator(ast, rng).evaluate(root); }

}  // namespace pipwerk::reference
