#pragma once

#include <cstdint>

namespace pipwerk {

// The id of the running process, kept in memory and refreshed in the child
// after fork, so reading it costs no system call.
[[nodiscard]] std::uint32_t process_id() noexcept;

// The generator interface the dice roller draws from.
class Rng {
public:
    // A value in [lo, hi]; advances the generator by one step when lo < hi,
    // and returns lo without advancing otherwise.
    virtual std::int32_t rand_range(std::int32_t lo, std::int32_t hi) noexcept = 0;
    // count values in [1, faces] (faces >= 2) into out, the same values as
    // count calls of rand_range(1, faces), and their sum; a generator may
    // draw them faster.
    virtual std::int64_t draw_dice(std::int32_t* out, std::int32_t count, std::int32_t faces) noexcept {
        std::int64_t sum = 0;
        for (std::int32_t i = 0; i < count; ++i) sum += out[i] = rand_range(1, faces);
        return sum;
    }

protected:
    Rng() = default;
    Rng(const Rng&) = default;
    Rng& operator=(const Rng&) = default;
    ~Rng() = default;
};

// xoroshiro128** 1.0: two state words, never both zero.
class Xoroshiro128StarStar final : public Rng {
public:
    [[nodiscard]] static Xoroshiro128StarStar from_seed(std::uint64_t seed) noexcept;
    // Seeded from the wall clock (ns since the epoch) and the process id.
    // The readings are combined into one word x and mixed as from_seed(x) does.
    [[nodiscard]] static Xoroshiro128StarStar from_clock() noexcept;
    // The clock seeding for given readings; from_clock() feeds it the live ones.
    [[nodiscard]] static Xoroshiro128StarStar from_clock_reading(std::uint64_t nanos, std::uint32_t pid) noexcept;
    // The live clock reading x = T + P * gamma that from_clock starts from,
    // for callers that seed a run of generators from the clock.
    [[nodiscard]] static std::uint64_t clock_seed() noexcept;

    // The next 64-bit output (one step).
    std::uint64_t next() noexcept;
    std::int32_t rand_range(std::int32_t lo, std::int32_t hi) noexcept override;
    std::int64_t draw_dice(std::int32_t* out, std::int32_t count, std::int32_t faces) noexcept override;

    [[nodiscard]] std::uint64_t s0() const noexcept { return s0_; }
    [[nodiscard]] std::uint64_t s1() const noexcept { return s1_; }

private:
    Xoroshiro128StarStar(std::uint64_t s0, std::uint64_t s1) noexcept : s0_(s0), s1_(s1) {}

    std::uint64_t s0_;
    std::uint64_t s1_;
};

}  // namespace pipwerk
