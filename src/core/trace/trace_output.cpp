#include "pipwerk/trace.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "eval/detail_layout.hpp"
#include "large_block.hpp"
#include "limits.hpp"
#include "out_of_memory.hpp"
#include "parser/ast.hpp"

// Reading a trace's compact records back as nodes, and where they are kept.

namespace pipwerk {

static_assert(sizeof(TraceDie) == 8);

namespace detail {

void* allocate_trace_block(std::size_t count, std::size_t size) {
    if (count > std::numeric_limits<std::size_t>::max() / size) out_of_memory();
    return allocate_block(count * size);
}
void free_trace_block(void* block, std::size_t bytes) noexcept { free_block(block, bytes); }

}  // namespace detail

TraceNode TraceOutput::node(std::size_t i) const noexcept {
    const TraceSite& site = site_of(i);
    TraceNode n;
    n.kind = site.kind;
    n.is_set = site.is_set;
    n.start = site.start;
    n.end = site.end;
    n.op = site.op;
    if (site.kind == TraceKind::Dice) {
        n.count = static_cast<std::int32_t>(static_cast<std::uint32_t>(site.bits));
        n.faces = static_cast<std::int32_t>(static_cast<std::uint32_t>(site.bits >> 32));
        if (site.modifiers != TraceSite::kNoModifiers) n.modifiers = modifiers[site.modifiers];
    }
    return n;
}

std::span<const double> TraceOutput::values_of(std::size_t i) const noexcept {
    const TraceRecord& r = records[i];
    if (!site_of(i).is_set) return {&r.value, 1};
    return std::span(set_values).subspan(r.elements.first, r.elements.count);
}

std::span<const TraceDie> TraceOutput::dice_of(std::size_t i) const noexcept {
    const TraceSite& site = site_of(i);
    if (site.kind != TraceKind::Dice) return {};
    // The count's dice (a bonus term's up to the pool's cap), then the dice
    // its bonus added: the next term's dice start with dice of its own
    // count, which no bonus added.
    const auto count = static_cast<std::int32_t>(static_cast<std::uint32_t>(site.bits));
    const std::size_t first = records[i].link;
    std::size_t size = count < 1 ? 0 : std::min(static_cast<std::size_t>(count), kMaxPool);
    while (size < kMaxPool && first + size < dice.size() && dice[first + size].bonus) ++size;
    return std::span(dice).subspan(first, size);
}

std::string TraceOutput::number_text(std::size_t i) const {
    const TraceSite& site = site_of(i);
    std::string text;
    detail::append_echo(text, PackedNumber::number_of(static_cast<Number::Kind>(site.number_kind), site.bits));
    return text;
}

std::size_t TraceOutput::child_count(std::size_t i) const noexcept {
    const TraceSite& site = site_of(i);
    switch (site.kind) {
        case TraceKind::Number:
        case TraceKind::Dice: return 0;
        case TraceKind::Negation: return 1;
        case TraceKind::Binary: return 2;
        case TraceKind::Set:
        case TraceKind::Repetition: return records[i].elements.count;  // one value per element
    }
    return 0;
}

std::size_t TraceOutput::subtree_start(std::size_t i) const noexcept {
    if (kind(i) == TraceKind::Dice) return i;
    return i + 1 - records[i].link;
}

std::size_t TraceOutput::child(std::size_t i, std::size_t k) const noexcept {
    // The last child is just before its parent, and each child's subtree
    // just before its next sibling.
    std::size_t c = i - 1;
    for (std::size_t j = child_count(i) - 1; j > k; --j) c = subtree_start(c) - 1;
    return c;
}

void TraceOutput::children_of(std::size_t i, std::vector<std::size_t>& out) const {
    const std::size_t n = child_count(i);
    out.resize(n);
    std::size_t c = i - 1;
    for (std::size_t j = n; j-- > 0;) {
        out[j] = c;
        if (j != 0) c = subtree_start(c) - 1;
    }
}

}  // namespace pipwerk
