#include <cstdint>
#include <string_view>
#include <utility>
#include <variant>

#include "pipwerk/eval.hpp"
#include "pipwerk/small_vector.hpp"
#include "pipwerk/text_buffer.hpp"
#include "rand_walk.hpp"
#include "tree_walk.hpp"

namespace pipwerk {
namespace {

using namespace detail;

// The roll pipeline's common set shapes, a repeat or a set followed by
// scalar operands ("3#4d6k3", "{d6, d8, 5} * 2"), evaluated so that every
// text is written once: element and operand details go to a scratch text as
// they are made, and the final detail is laid out from there into the
// caller's text. No element has a string of its own. The draws, checks,
// values, texts and errors are those of eval_pipwerk for the same node.

// The shape: the spine of a set chain (as eval_set_chain walks it) whose
// right operands are all scalars, ending in a repeat or set under brackets
// and signs. No base when the node has another shape.
struct ListedShape {
    Spine spine;  // outermost first
    const Expr::Node* base = nullptr;
    bool base_negated = false;
};

ListedShape listed_shape(const Ast& ast, ExprId node) {
    ListedShape shape;
    for (const BinaryExpr* b = node_as<BinaryExpr>(ast, node); b != nullptr && level_of(ast, b->left) == 2;
         b = node_as<BinaryExpr>(ast, node)) {
        if (level_of(ast, b->right) == 2) return shape;
        shape.spine.push_back(b);
        node = strip_parens(ast, b->left);
    }
    const Unwrapped u = unwrap(ast, node);
    const Expr::Node& n = ast[u.inner].node();
    if (std::holds_alternative<RepeatExpr>(n) || std::holds_alternative<SetExpr>(n)) {
        shape.base = &n;
        shape.base_negated = u.negated;
    }
    return shape;
}

// "left s right" as format_binop_detail lays it out, appended to `out`
// where the left text (possibly empty) already ends.
void append_step(TextBuffer& out, bool left_empty, BinaryOp op, std::string_view right) {
    if (left_empty && right.empty()) return;
    if (!left_empty) out += ' ';
    out += symbol_of(op);
    if (!right.empty()) {
        out += ' ';
        out += right;
    }
}

[[gnu::noinline]] Result<void> listed_into(const Ast& ast, const ListedShape& shape, Rng& rng, TextBuffer& detail,
                                          SmallVector<Number, 8>& numbers) {
    const auto* repeat = std::get_if<RepeatExpr>(shape.base);
    const auto* set = std::get_if<SetExpr>(shape.base);
    std::size_t count = 0;
    if (repeat != nullptr) {
        const std::int64_t repeats = ast.count(*repeat).integer_view();
        if (repeats < 1) return std::unexpected(PipwerkError::non_positive());
        if (repeats > kMaxRepeat) return std::unexpected(PipwerkError::repeat_count_exceeds_max(repeats, kMaxRepeat));
        count = static_cast<std::size_t>(repeats);
    } else {
        count = set->item_count;
    }
    numbers.reserve(numbers.size() + count);
    const std::size_t first = numbers.size();

    // Element texts, then operand texts, back to back; `ends` marks where each stops.
    TextBuffer scratch;
    SmallVector<std::size_t, 16> ends;
    ends.reserve(count + shape.spine.size());
    for (std::size_t i = 0; i < count; ++i) {
        const Result<Number> number =
            walk_rand(ast, repeat != nullptr ? repeat->body : ast.items(*set)[i], rng, scratch, true);
        if (!number) return std::unexpected(number.error());
        ends.push_back(scratch.size());
        numbers.push_back(shape.base_negated ? negate(*number) : *number);
    }
    for (std::size_t i = shape.spine.size(); i-- > 0;) {
        const BinaryExpr& b = *shape.spine[i];
        const Result<Number> operand = walk_rand(ast, b.right, rng, scratch, true);
        if (!operand) return std::unexpected(operand.error());
        ends.push_back(scratch.size());
        for (std::size_t e = first; e < numbers.size(); ++e) numbers[e] = apply_binop_or_zero(b.op, numbers[e], *operand);
    }

    const std::string_view texts = scratch.view();
    const auto text = [&](std::size_t k) {
        const std::size_t start = k == 0 ? 0 : ends[k - 1];
        return texts.substr(start, ends[k] - start);
    };
    // Room for the whole layout at once, so a big set is not regrown step by
    // step: each element shows its text, ", " and every operand step
    // (" s right" at most).
    std::size_t steps = 0;
    for (std::size_t k = 0; k < shape.spine.size(); ++k) steps += 3 + text(count + k).size();
    detail.reserve(detail.size() + 2 + (count == 0 ? 0 : ends[count - 1]) + count * (2 + steps));
    detail += '{';
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) detail += std::string_view(", ");
        const std::size_t start = detail.size();
        detail += text(i);
        for (std::size_t k = 0; k < shape.spine.size(); ++k) {
            append_step(detail, detail.size() == start, shape.spine[shape.spine.size() - 1 - k]->op, text(count + k));
        }
    }
    detail += '}';
    return {};
}

}  // namespace

Result<bool> evaluate_into(const Ast& ast, ExprId root, Rng& rng, TextBuffer& detail, SmallVector<Number, 8>& numbers) {
    switch (level_of(ast, root)) {
        case 0: {
            const Result<Number> value = eval_const(ast, root);
            if (!value) return std::unexpected(value.error());
            numbers.push_back(*value);
            return false;
        }
        case 1: {
            const Result<Number> value = walk_rand(ast, root, rng, detail, false);
            if (!value) return std::unexpected(value.error());
            numbers.push_back(*value);
            return false;
        }
        default: break;
    }
    // The common shapes write their texts straight into `detail`.
    const Unwrapped u = unwrap(ast, root);
    const ListedShape shape = listed_shape(ast, u.inner);
    if (shape.base == nullptr) {
        const Result<EvalValue> value = eval_pipwerk(ast, root, rng);
        if (!value) return std::unexpected(value.error());
        value->append_detail(detail);
        if (const ScalarValue* scalar = value->scalar()) {
            numbers.push_back(scalar->value);
            return false;
        }
        for (const ScalarValue& e : *value->set()) numbers.push_back(e.value);
        return true;
    }
    const std::size_t first = numbers.size();
    if (Result<void> listed = listed_into(ast, shape, rng, detail, numbers); !listed) {
        return std::unexpected(listed.error());
    }
    if (u.negated) {
        for (std::size_t e = first; e < numbers.size(); ++e) numbers[e] = negate(numbers[e]);
    }
    return true;
}

}  // namespace pipwerk
