#include "trace/node_spans.hpp"

#include <variant>

#include "eval/detail_layout.hpp"
#include "eval/tree_walk.hpp"
#include "lexer/lexer.hpp"
#include "limits.hpp"

// The walk follows the grammar the tree was parsed with, so each node's
// tokens are where the cursor stands when the node is reached. A chain of
// operations is walked along its left spine in a loop, as the evaluator does;
// every other descent is bounded by the parser's nesting limit.

namespace pipwerk::detail {
namespace {

struct NodeSpan {
    std::size_t start = 0;
    std::size_t end = 0;
};

class Locator {
public:
    Locator(const Ast& ast, std::string_view text, TraceVector<TraceSite>& sites)
        : ast_(ast), lexer_(text), token_(lexer_.token_at(0)), sites_(sites) {
        sites_.resize(ast.size());  // each written when its node is reached
    }

    NodeSpan locate(ExprId id) {
        const Expr::Node& n = ast_[id].node();
        NodeSpan span;
        TraceSite& site = sites_[id];
        if (const auto* literal = std::get_if<LiteralExpr>(&n)) {
            span = take();
            const Number value = literal->value();
            site.kind = TraceKind::Number;
            site.bits = PackedNumber::payload_of(value);
            site.number_kind = static_cast<std::uint8_t>(value.kind());
        } else if (const auto* dice = std::get_if<DiceRef>(&n)) {
            span = dice_term(*dice);
            site.kind = TraceKind::Dice;
        } else if (const auto* neg = std::get_if<NegExpr>(&n)) {
            span.start = take().start;
            span.end = locate(neg->operand).end;
            site.kind = TraceKind::Negation;
        } else if (const auto* paren = std::get_if<ParenExpr>(&n)) {
            span.start = take().start;
            locate(paren->inner);
            span.end = take().end;
        } else if (const auto* b = std::get_if<BinaryExpr>(&n)) {
            span = chain(id, *b);
        } else if (const auto* repeat = std::get_if<RepeatExpr>(&n)) {
            site.kind = TraceKind::Repetition;
            span.start = take().start;  // the count
            take();                     // '#'
            const TraceSize before = traced_;
            span.end = locate(repeat->body).end;
            // The body is traced once per element (at most kMaxRepeat; a count
            // out of range is an error before any).
            const std::int64_t count = ast_.count(*repeat).integer_view();
            const std::size_t elements = count < 1 ? 1 : count > kMaxRepeat ? kMaxRepeat : static_cast<std::size_t>(count);
            traced_.nodes += (traced_.nodes - before.nodes) * (elements - 1);
            traced_.dice += (traced_.dice - before.dice) * (elements - 1);
        } else if (const auto* set = std::get_if<SetExpr>(&n)) {
            site.kind = TraceKind::Set;
            span.start = take().start;  // '{'
            for (const ExprId item : ast_.items(*set)) {
                locate(item);
                if (token_.kind == TokenKind::Comma) take();
            }
            span.end = take().end;  // '}'
        }
        site.start = span.start;
        site.end = span.end;
        // Brackets leave no node; a chain counts its own.
        const bool counted = std::holds_alternative<ParenExpr>(n) || std::holds_alternative<BinaryExpr>(n);
        traced_.nodes += counted ? std::size_t{0} : std::size_t{1};
        return span;
    }

    // How many nodes and dice the trace of what was located will have.
    [[nodiscard]] TraceSize traced() const noexcept { return traced_; }

private:
    // The current token's span, stepping past it.
    NodeSpan take() noexcept {
        const NodeSpan span{token_.start, token_.end};
        if (token_.kind != TokenKind::End) token_ = lexer_.token_at(token_.end);
        return span;
    }

    // [count] 'd' faces, then each modifier given: a symbol and its number.
    NodeSpan dice_term(const DiceRef& ref) {
        NodeSpan span{token_.start, token_.end};
        if (token_.kind == TokenKind::Num) take();
        take();  // 'd'
        span.end = take().end;
        const DiceExpr dice = ast_.dice(ref);
        // A pool is the dice written (a count out of range is an error
        // before any is rolled), or up to the cap with a bonus.
        const std::int64_t count = dice.count.integer_view();
        traced_.dice += dice.bonus || count > static_cast<std::int64_t>(kMaxPool) ? kMaxPool
                        : count < 1 ? std::size_t{0}
                                    : static_cast<std::size_t>(count);
        const int modifiers = (dice.bonus ? 1 : 0) + (dice.keep ? 1 : 0) + (dice.comparison ? 1 : 0);
        for (int i = 0; i < modifiers; ++i) {
            take();
            span.end = take().end;
        }
        return span;
    }

    NodeSpan chain(ExprId top, const BinaryExpr& b) {
        const auto spine = collect_spine(ast_, b, [&](ExprId left) { return node_as<BinaryExpr>(ast_, left) != nullptr; });
        const NodeSpan first = locate(spine.back()->left);
        NodeSpan span = first;
        for (std::size_t i = spine.size(); i-- > 0;) {
            take();  // the operator
            span.end = locate(spine[i]->right).end;
            TraceSite& site = sites_[spine_id(ast_, top, spine, i, false)];
            site.start = span.start;
            site.end = span.end;
            site.kind = TraceKind::Binary;
            site.op = symbol_of(spine[i]->op);
            ++traced_.nodes;
        }
        return span;
    }

    const Ast& ast_;
    Lexer lexer_;
    Token token_;
    TraceVector<TraceSite>& sites_;
    TraceSize traced_;
};

}  // namespace

TraceSize locate_nodes(const Ast& ast, ExprId root, std::string_view consumed, TraceVector<TraceSite>& sites) {
    Locator locator(ast, consumed, sites);
    locator.locate(root);
    return locator.traced();
}

}  // namespace pipwerk::detail
