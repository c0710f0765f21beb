#include "split_pass.hpp"

#include <algorithm>
#if !defined(__wasi__)
#include <thread>
#endif

namespace pipwerk::detail {

unsigned planned_cores() noexcept {
#if defined(__wasi__)
    return 2;
#else
    return std::thread::hardware_concurrency();
#endif
}

PassPlan plan_pass(std::int64_t from, std::span<const std::uint64_t> weights, std::span<const std::uint64_t> costs,
                   bool parallel) {
    std::uint64_t total = 0;
    for (const std::uint64_t w : weights) total += w;
    std::size_t cut = weights.size();
    if (total >= kSplitSteps && weights.size() >= 2) {
        // Before or after the v at which half the pass is reached,
        // whichever leaves the parts closer; each part keeps at least one v.
        std::uint64_t before = 0;
        std::size_t i = 0;
        while (2 * (before + weights[i]) < total) before += weights[i++];
        const std::uint64_t over = 2 * (before + weights[i]) - total;
        const std::uint64_t under = total - 2 * before;
        cut = std::clamp<std::size_t>(over <= under ? i + 1 : i, 1, weights.size() - 1);
    }
    PassPlan plan;
    plan.cut = from + static_cast<std::int64_t>(cut);
    for (std::size_t i = 0; i < costs.size(); ++i) (i < cut ? plan.first : plan.second) += costs[i];
    plan.split = cut < weights.size();
    // On a single core the parts would only take turns.
    plan.two_threads = parallel && plan.split && planned_cores() >= 2;
    return plan;
}

}  // namespace pipwerk::detail
