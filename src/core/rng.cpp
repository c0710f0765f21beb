#include "rng.hpp"

#include <time.h>
#if !defined(__wasi__)
#include <pthread.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdint>

namespace pipwerk {
namespace {

constexpr std::uint64_t kGamma = 0x9e3779b97f4a7c15;

constexpr std::uint64_t rotl(std::uint64_t x, int k) noexcept { return (x << k) | (x >> (64 - k)); }

// The SplitMix64 output function.
constexpr std::uint64_t mix(std::uint64_t z) noexcept {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
}

// Nanoseconds since the epoch, wrapped to 64 bits; 0 for a clock set before it.
// The clock's own seconds and nanoseconds are combined, with no division.
std::uint64_t wall_clock_nanos() noexcept {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || now.tv_sec < 0) return 0;
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
}

// The one word the clock seeding mixes: x = T + P * gamma.
constexpr std::uint64_t clock_word(std::uint64_t nanos, std::uint32_t pid) noexcept {
    return nanos + std::uint64_t{pid} * kGamma;
}

#if defined(__wasi__)

// WebAssembly has one process and no fork; the JavaScript package seeds every
// call itself, from the platform's random source.
std::uint32_t current_pid() noexcept { return 1; }

#else

// The process id changes only across fork, so it is read once and then again
// in each child: an unseeded roll makes no system call for it. Zero means
// not read yet (no process has id 0).
std::atomic<std::uint32_t> cached_pid{0};

void read_pid() noexcept { cached_pid.store(static_cast<std::uint32_t>(getpid()), std::memory_order_relaxed); }

[[gnu::noinline, gnu::cold]] std::uint32_t first_pid() noexcept {
    struct PidCache {
        PidCache() noexcept {
            read_pid();
            pthread_atfork(nullptr, nullptr, read_pid);
        }
    };
    static const PidCache cache;
    return cached_pid.load(std::memory_order_relaxed);
}

// Internal, so the calls below inline it (a public function of position-independent
// code is called through its symbol).
std::uint32_t current_pid() noexcept {
    const std::uint32_t pid = cached_pid.load(std::memory_order_relaxed);
    return pid != 0 ? pid : first_pid();
}

#endif

struct StateWords {
    std::uint64_t s0, s1;
};

// The second and third SplitMix64 outputs from the seed (addends 2γ and 3γ);
// the low bit set keeps the state away from all zeros.
constexpr StateWords seeded_words(std::uint64_t seed) noexcept {
    return {mix(seed + 0x3c6ef372fe94f82a) | 1, mix(seed + 0xdaa66d2c7ddf743f) | 1};
}

}  // namespace

std::uint32_t process_id() noexcept { return current_pid(); }

Xoroshiro128StarStar Xoroshiro128StarStar::from_seed(std::uint64_t seed) noexcept {
    const StateWords words = seeded_words(seed);
    return {words.s0, words.s1};
}

// Readings a few hundred nanoseconds apart must give unrelated states, so x
// goes through the full SplitMix64 mixing of a seed: multiplying it alone left
// the first draw of one call correlated with the next call's.
Xoroshiro128StarStar Xoroshiro128StarStar::from_clock() noexcept {
    const StateWords words = seeded_words(clock_word(wall_clock_nanos(), current_pid()));
    return {words.s0, words.s1};
}

Xoroshiro128StarStar Xoroshiro128StarStar::from_clock_reading(std::uint64_t nanos, std::uint32_t pid) noexcept {
    const StateWords words = seeded_words(clock_word(nanos, pid));
    return {words.s0, words.s1};
}

namespace {

// One step of the generator; internal, so the draws below inline it.
std::uint64_t step(std::uint64_t& s0, std::uint64_t& s1) noexcept {
    const std::uint64_t out = rotl(s0 * 5, 7) * 9;
    const std::uint64_t t = s1 ^ s0;
    s0 = rotl(s0, 24) ^ t ^ (t << 16);
    s1 = rotl(t, 37);
    return out;
}

}  // namespace

std::uint64_t Xoroshiro128StarStar::next() noexcept { return step(s0_, s1_); }

// Each die is 1 + next() % faces, exactly as rand_range(1, faces) draws it,
// with the generator's state in registers for the whole term.
std::int64_t Xoroshiro128StarStar::draw_dice(std::int32_t* out, std::int32_t count, std::int32_t faces) noexcept {
    std::uint64_t s0 = s0_;
    std::uint64_t s1 = s1_;
    const auto width = static_cast<std::uint64_t>(faces);
    std::uint64_t sum = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint64_t die = 1 + step(s0, s1) % width;
        out[i] = static_cast<std::int32_t>(die);
        sum += die;
    }
    s0_ = s0;
    s1_ = s1;
    return static_cast<std::int64_t>(sum);
}

std::int32_t Xoroshiro128StarStar::rand_range(std::int32_t lo, std::int32_t hi) noexcept {
    if (hi <= lo) return lo;
    // The width in 64 bits is at most 2^32, so even ranges wider than an
    // int32 reduce into [lo, hi]; below 2^31 it equals the 32-bit width.
    const auto width = static_cast<std::uint64_t>(std::int64_t{hi} - std::int64_t{lo} + 1);
    const std::uint64_t r = next() % width;
    return static_cast<std::int32_t>(std::int64_t{lo} + static_cast<std::int64_t>(r));
}

std::uint64_t Xoroshiro128StarStar::clock_seed() noexcept {
    return clock_word(wall_clock_nanos(), current_pid());
}

}  // namespace pipwerk
