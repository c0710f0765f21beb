#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <system_error>
#if !defined(__wasi__)
#include <thread>
#endif
#include <utility>

#include "work_budget.hpp"

namespace pipwerk::detail {

// The heaviest passes of a dice term loop over a boundary value v, and each
// v's work is independent of the others'. Such a pass is cut in two parts
// of about equal work, the second run on a second thread when there is one.
// Where it is cut depends only on the term, and so does what it is charged:
// both parts, on every machine, whether they run side by side or one after
// the other, so an accepted pass keeps to the budget's time on one core and
// takes about half of it on two. The bits of a result are the same either
// way: each part adds into its own laws, and the second part's laws are
// added to the first's at the end.

// Processors a plan may use: the machine's. They decide only whether a
// second thread is started, never a charge. The WebAssembly build
// (wasm32-wasi) has no threads at all: it runs the second part after the
// first (run_parts below, as when no thread can be had), with the results
// and refusals of any native build.
[[nodiscard]] unsigned planned_cores() noexcept;

// A pass of fewer steps than this is not cut: starting a thread would cost
// more than it saves.
inline constexpr std::uint64_t kSplitSteps = 2'000'000;

// Where a pass over v = from .. from + n - 1 is cut, and what each part costs.
struct PassPlan {
    std::int64_t cut = 0;        // the second part's first v; past the last: one part
    std::uint64_t first = 0;     // steps of v < cut
    std::uint64_t second = 0;    // steps of v >= cut
    bool split = false;          // cut in two parts
    bool two_threads = false;    // the second part runs beside the first

    // What the budget is charged: all the steps, wherever they run.
    [[nodiscard]] std::uint64_t charge() const noexcept { return first + second; }
};

// Plans a pass over v = from .., where weights[i] are the steps v = from + i
// takes, which decide the cut, and costs[i] the steps charged for it.
// `parallel` allows the second thread, which changes nothing but the time.
[[nodiscard]] PassPlan plan_pass(std::int64_t from, std::span<const std::uint64_t> weights,
                                 std::span<const std::uint64_t> costs, bool parallel);

// Runs the two parts of a pass: `first` on the calling thread, `second`
// beside it when the plan says so and a thread can be had, else after it.
// An exception in the second thread (std::bad_alloc included) is thrown
// again here, after the join. The first part's refusal wins over the
// second's, so the outcome does not depend on which ends first.
template <class First, class Second>
Budgeted<void> run_parts(const PassPlan& plan, First&& first, Second&& second) {
#if defined(__wasi__)
    (void)plan;
#else
    if (plan.two_threads) {
        Budgeted<void> second_done;
        std::exception_ptr failure;
        std::optional<std::jthread> worker;
        try {
            worker.emplace([&second, &second_done, &failure]() noexcept {
                try {
                    second_done = second();
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: both parts run here, below.
        }
        if (worker) {
            // Should `first` throw, the worker is joined as it unwinds.
            Budgeted<void> first_done = first();
            worker->join();
            if (failure) std::rethrow_exception(failure);
            return first_done ? second_done : first_done;
        }
    }
#endif
    if (auto done = first(); !done) return done;
    return second();
}

}  // namespace pipwerk::detail
