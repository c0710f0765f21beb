#pragma once

// The distinct outcomes of an operation and their weights, gathered in one
// flat table with open addressing: a pair of outcomes costs one probe, and
// a new outcome one slot, with no allocation of its own. The table never
// holds more than `limit` outcomes: past that, add() says so and the caller
// refuses the operation.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "number.hpp"
#include "parser/ast.hpp"

namespace pipwerk::detail {

class OutcomeTable {
public:
    // `seed` varies the table's order: a list read from one table comes in
    // that table's order, and put into a table of the same order it would
    // pile up in one run of slots. Any seed gives the same outcomes.
    OutcomeTable(std::size_t limit, std::uint64_t seed) : seed_(seed), limit_(limit) { rehash(64); }

    // weight += w for the outcome n; false when it would be one more than the limit.
    [[nodiscard]] bool add(const Number& n, double w) {
        const Slot key{PackedNumber::payload_of(n), 0.0, static_cast<std::uint8_t>(n.kind())};
        std::size_t i = home(key);
        while (slots_[i].kind != kFree) {
            if (slots_[i].bits == key.bits && slots_[i].kind == key.kind) {
                slots_[i].weight += w;
                return true;
            }
            i = (i + 1) & mask_;
        }
        if (size_ == limit_) return false;
        slots_[i] = key;
        slots_[i].weight = w;
        if (++size_ * 4 > slots_.size() * 3) rehash(slots_.size() * 2);
        return true;
    }

    // add() for each of a batch of outcomes, the slot of each a few ahead
    // fetched from memory while the earlier ones go in: a large table makes
    // nearly every outcome a cache miss, and these then overlap. False when
    // the limit is passed (the rest of the batch is left out).
    [[nodiscard]] bool add_all(std::span<const std::pair<Number, double>> batch) {
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (i + kAhead < batch.size()) {
                const Number& n = batch[i + kAhead].first;
                __builtin_prefetch(&slots_[home(Slot{PackedNumber::payload_of(n), 0.0, static_cast<std::uint8_t>(n.kind())})]);
            }
            if (!add(batch[i].first, batch[i].second)) return false;
        }
        return true;
    }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] std::uint64_t seed() const noexcept { return seed_; }

    // The outcomes, in no particular order.
    [[nodiscard]] std::vector<std::pair<Number, double>> take() {
        std::vector<std::pair<Number, double>> out;
        out.reserve(size_);
        for (const Slot& s : slots_) {
            if (s.kind != kFree) out.emplace_back(PackedNumber::number_of(static_cast<Number::Kind>(s.kind), s.bits), s.weight);
        }
        slots_ = {};
        size_ = 0;
        return out;
    }

private:
    // 24 bytes: the outcome's payload, its weight, and its kind (kFree: an empty slot).
    struct Slot {
        std::uint64_t bits;
        double weight;
        std::uint8_t kind;
    };
    static constexpr std::uint8_t kFree = 0xff;

    // The slot to start from: the top bits of a full 64-bit mix of the
    // outcome, so that doubles (whose low bits are often alike) and small
    // whole numbers spread alike.
    [[nodiscard]] std::size_t home(const Slot& s) const noexcept {
        std::uint64_t x = s.bits ^ (static_cast<std::uint64_t>(s.kind) << 56) ^ seed_;
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        x *= 0xc4ceb9fe1a85ec53ULL;
        x ^= x >> 33;
        return static_cast<std::size_t>(x >> shift_);
    }

    void rehash(std::size_t capacity) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(capacity, Slot{0, 0.0, kFree});
        mask_ = capacity - 1;
        shift_ = 64 - static_cast<unsigned>(std::countr_zero(static_cast<std::uint64_t>(capacity)));
        for (const Slot& s : old) {
            if (s.kind == kFree) continue;
            std::size_t i = home(s);
            while (slots_[i].kind != kFree) i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;
    std::uint64_t seed_;
    std::size_t mask_ = 0;
    unsigned shift_ = 64;
    std::size_t size_ = 0;
    std::size_t limit_;
};

}  // namespace pipwerk::detail
