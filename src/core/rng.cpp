#include "pipwerk/rng.hpp"

#include <unistd.h>

#include <chrono>
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
std::uint64_t wall_clock_nanos() noexcept {
    using namespace std::chrono;
    const auto since_epoch = system_clock::now().time_since_epoch();
    if (since_epoch < system_clock::duration::zero()) return 0;
    // Split into seconds and the rest so the sum wraps instead of overflowing a signed count.
    const auto secs = duration_cast<seconds>(since_epoch);
    const auto rest = duration_cast<nanoseconds>(since_epoch - secs);
    return static_cast<std::uint64_t>(secs.count()) * 1'000'000'000u + static_cast<std::uint64_t>(rest.count());
}

}  // namespace

Xoroshiro128StarStar Xoroshiro128StarStar::from_seed(std::uint64_t seed) noexcept {
    // The second and third SplitMix64 outputs from the seed (addends 2γ and 3γ);
    // the low bit set keeps the state away from all zeros.
    return {mix(seed + 0x3c6ef372fe94f82a) | 1, mix(seed + 0xdaa66d2c7ddf743f) | 1};
}

Xoroshiro128StarStar Xoroshiro128StarStar::from_clock() noexcept {
    return from_clock_reading(wall_clock_nanos(), static_cast<std::uint32_t>(getpid()));
}

Xoroshiro128StarStar Xoroshiro128StarStar::from_clock_reading(std::uint64_t nanos, std::uint32_t pid) noexcept {
    const std::uint64_t x = nanos + std::uint64_t{pid} * kGamma;
    return {(x * kGamma) | 1, (rotl(x, 17) * 0xd1b54a32d192ed03) | 1};
}

std::uint64_t Xoroshiro128StarStar::next() noexcept {
    const std::uint64_t out = rotl(s0_ * 5, 7) * 9;
    const std::uint64_t t = s1_ ^ s0_;
    s0_ = rotl(s0_, 24) ^ t ^ (t << 16);
    s1_ = rotl(t, 37);
    return out;
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
    return wall_clock_nanos() + std::uint64_t{static_cast<std::uint32_t>(getpid())} * kGamma;
}

}  // namespace pipwerk
