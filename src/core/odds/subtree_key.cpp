#include "subtree_key.hpp"

#include <cstdint>
#include <variant>
#include <vector>

namespace pipwerk::detail {
namespace {

void append_u64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xffU);
}

void append_number(std::string& out, const Number& n) {
    out += static_cast<char>(n.kind());
    append_u64(out, PackedNumber::payload_of(n));
}

void append_dice(std::string& out, const DiceExpr& dice) {
    out += 'd';
    append_number(out, dice.count);
    append_number(out, dice.faces);
    if (dice.keep) {
        out += dice.keep->dir == KeepMode::Dir::High ? 'k' : 'l';
        append_u64(out, static_cast<std::uint64_t>(dice.keep->n));
    }
    if (dice.bonus) {
        out += 'b';
        append_number(out, *dice.bonus);
    }
    if (dice.comparison) {
        out += 'c';
        out += static_cast<char>(dice.comparison->kind);
        append_number(out, dice.comparison->threshold);
    }
    out += ';';
}

}  // namespace

void append_subtree_key(std::string& out, const Ast& ast, ExprId node) {
    // Prefix order: a node, then its operands left to right.
    std::vector<ExprId> pending{node};
    while (!pending.empty()) {
        const ExprId id = pending.back();
        pending.pop_back();
        const Expr::Node& n = ast[id].node();
        if (const auto* paren = std::get_if<ParenExpr>(&n)) {
            pending.push_back(paren->inner);
        } else if (const auto* neg = std::get_if<NegExpr>(&n)) {
            out += '-';
            pending.push_back(neg->operand);
        } else if (const auto* b = std::get_if<BinaryExpr>(&n)) {
            out += 'o';
            out += static_cast<char>(b->op);
            pending.push_back(b->right);
            pending.push_back(b->left);
        } else if (const auto* literal = std::get_if<LiteralExpr>(&n)) {
            out += '#';
            append_number(out, literal->value());
        } else if (const auto* dice = std::get_if<DiceRef>(&n)) {
            append_dice(out, ast.dice(*dice));
        } else if (const auto* r = std::get_if<RepeatExpr>(&n)) {
            out += 'r';
            append_number(out, ast.count(*r));
            pending.push_back(r->body);
        } else if (const auto* s = std::get_if<SetExpr>(&n)) {
            out += '{';
            append_u64(out, s->item_count);
            const auto items = ast.items(*s);
            for (std::size_t i = items.size(); i-- > 0;) pending.push_back(items[i]);
        }
    }
}

}  // namespace pipwerk::detail
