// Scans bonus terms of many dice of 1000 faces keeping nearly all of them,
// the shapes closest to the odds budget: for each, the steps its exact law
// is charged (the same on every machine: a pass cut in two is charged its
// longer part, whether or not a second thread runs it), whether the default
// budget refuses it, and the time the law takes when built regardless (CPU
// time of both threads, and the wall time the caller waits). The slowest
// accepted shape says whether the budget keeps every accepted term under a
// second.
//
//   odds_scan [--serial] [COUNT...]   (default counts 20 30 40 43 45 47 49)
//
// --serial keeps every term on the calling thread (OddsOptions::parallel
// false): the same steps and the same answers, in up to twice the wall time.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "clocks.hpp"
#include "odds/dice_term_odds.hpp"
#include "pipwerk/odds.hpp"

namespace {

struct Shape {
    int count, threshold, keep;
    bool lowest;
};

std::string text(const Shape& s) {
    return std::to_string(s.count) + "d1000b" + std::to_string(s.threshold) + (s.lowest ? "kl" : "k") +
           std::to_string(s.keep);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    bool parallel = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--serial") parallel = false;
        int n = 0;
        if (std::from_chars(arg.data(), arg.data() + arg.size(), n).ec == std::errc() && n > 5 && n < 50) {
            counts.push_back(n);
        }
    }
    if (counts.empty()) counts = {20, 30, 40, 43, 45, 47, 49};
    constexpr int kThresholds[] = {3, 20, 50, 100, 200, 350, 500, 650, 800, 900, 950, 980, 1000};
    const std::uint64_t budget = pipwerk::OddsOptions{}.work_budget;
    constexpr std::uint64_t kUnlimited = std::uint64_t{1} << 40;

    int shapes = 0;
    int refused = 0;
    double slowest = 0.0;  // wall
    double slowest_cpu = 0.0;
    std::string slowest_text;
    std::printf("%-18s %14s %10s %10s  %s\n", "term", "steps", "CPU ms", "wall ms", "default budget");
    for (const int count : counts) {
        for (const int threshold : kThresholds) {
            for (const int keep : {count - 1, count - 5}) {
                for (const bool lowest : {false, true}) {
                    const Shape s{count, threshold, keep, lowest};
                    const pipwerk::DiceExpr dice{
                        .count = pipwerk::Number::make_int(count),
                        .faces = pipwerk::Number::make_int(1000),
                        .keep = pipwerk::KeepMode{lowest ? pipwerk::KeepMode::Dir::Low : pipwerk::KeepMode::Dir::High,
                                                  keep},
                        .bonus = pipwerk::Number::make_int(threshold),
                        .comparison = {}};
                    pipwerk::detail::WorkBudget unlimited(kUnlimited, parallel);
                    const double start = cpu_seconds();
                    const double wall_start = wall_seconds();
                    const auto law = pipwerk::detail::dice_term_law(dice, count, 1000, unlimited);
                    const double wall = wall_seconds() - wall_start;
                    const double seconds = cpu_seconds() - start;
                    const std::uint64_t steps = kUnlimited - unlimited.left();
                    const bool fits = law.has_value() && steps <= budget;
                    ++shapes;
                    if (!fits) ++refused;
                    if (fits && wall > slowest) {
                        slowest = wall;
                        slowest_cpu = seconds;
                        slowest_text = text(s);
                    }
                    std::printf("%-18s %14llu %10.1f %10.1f  %s\n", text(s).c_str(),
                                static_cast<unsigned long long>(steps), seconds * 1e3, wall * 1e3,
                                fits ? "exact" : "refused");
                    std::fflush(stdout);
                }
            }
        }
    }
    std::printf("%s: %d shapes, %d refused by a budget of %llu steps; "
                "slowest accepted: %s, %.1f wall ms, %.1f CPU ms\n",
                parallel ? "parallel" : "serial", shapes, refused, static_cast<unsigned long long>(budget),
                slowest_text.c_str(), slowest * 1e3, slowest_cpu * 1e3);
    return 0;
}
