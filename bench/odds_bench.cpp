// Times pipwerk::odds on single dice terms and a few whole expressions:
// the median of several calls each, beside a baseline measured in the same
// run (the exact odds of 3d6, the smallest interesting term). CPU time is
// the process's, both threads of a large term together, so other work on a
// shared machine does not count; wall time is what the caller waits.
//
//   odds_bench [ROUNDS] [EXPRESSION...]   (default 5 rounds, the list below)
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "clocks.hpp"
#include "pipwerk/odds.hpp"

namespace {

// The targets: every single term within the roll limits in under a second on
// one core, or refused from its numbers (docs/odds.md lists the terms refused).
constexpr std::string_view kDefault[] = {
    "3d6",          "4d6k3",           "8d6",          "10d10>=7",     "2d20kl1 + 1d4 - 1",
    "6d10k3",       "20d20k10",        "50d100k25",    "50d1000",      "50d1000k25",
    "50d1000kl49",  "50d1000k1",       "50d1000k49",   "50d1000>=500", "50d1000k25>=500", "50d1000kl25!=500",
    "10d6b6",       "3#4d6k3",         "40d1000b990k20", "40d1000b990kl20", "1d1000b2k25",
    "1d1000b500k25", "1d1000b500kl25", "50d1000b1000k25", "1d1000b2", "1d1000b500>=700", "1d1000b2k49",
    "40d1000b990k39", "50d1000b1000k49", "50d1000b500k45", "50d1000b2kl49", "30d1000b2k29", "40d1000b1000k39",
    "40d1000b2kl39", "45d1000b990k30", "45d1000b2kl44", "49d1000b990k48", "49d1000b1000k48", "49d1000b500kl48",
    "45d1000b950k44", "47d1000b350kl46", "49d1000b50kl44", "49d1000b3kl48",  // among the slowest accepted
    "49d1000b900k48", "49d1000b100kl48", "49d1000b800k48", "49d1000b200kl48",  // refused at once
    // (bench/odds_scan lists the bonus terms near the budget; bench/odds_refused all those refused)
};

struct Times {
    double cpu, wall;  // medians
};

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

Times seconds_per_call(std::string_view expression, int rounds, std::string& status) {
    std::vector<double> cpu;
    std::vector<double> wall;
    for (int i = 0; i < rounds; ++i) {
        const double start = cpu_seconds();
        const double wall_start = wall_seconds();
        const auto result = pipwerk::odds(expression);
        wall.push_back(wall_seconds() - wall_start);
        cpu.push_back(cpu_seconds() - start);
        status = result ? std::to_string(result->elements.empty() ? 0 : result->elements.front().size()) + " outcomes"
                        : result.error().message;
    }
    return Times{median(cpu), median(wall)};
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    std::vector<std::string_view> expressions;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        int n = 0;
        if (i == 1 && std::from_chars(arg.data(), arg.data() + arg.size(), n).ec == std::errc() && n > 0) {
            rounds = n;
        } else {
            expressions.push_back(arg);
        }
    }
    if (expressions.empty()) expressions.assign(std::begin(kDefault), std::end(kDefault));
    std::string status;
    const double baseline = seconds_per_call("3d6", std::max(rounds, 101), status).cpu;
    std::printf("median of %d calls each; baseline 3d6: %.2f us CPU\n", rounds, baseline * 1e6);
    std::printf("%-22s %12s %12s %12s  %s\n", "expression", "CPU ms/call", "wall ms", "CPU x 3d6", "result");
    for (const std::string_view e : expressions) {
        const Times t = seconds_per_call(e, rounds, status);
        std::printf("%-22.*s %12.3f %12.3f %12.0f  %s\n", static_cast<int>(e.size()), e.data(), t.cpu * 1e3,
                    t.wall * 1e3, t.cpu / baseline, status.c_str());
    }
    return 0;
}
