// Counts heap allocations per call of the core entry and times it.
//
//   alloc_bench [ROLLS]     (default 200000 rolls per timing round)
//
// Global operator new/delete are replaced in this executable only, so every
// allocation the engine makes is counted, including those inside the standard
// library's containers and strings.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "parser/parser.hpp"
#include "pipwerk/pipwerk.hpp"
#include "roll_record.hpp"

namespace {

// The counter must be process-wide: operator new has no context to carry it.
std::atomic<std::uint64_t> g_allocations{0};

void* counted_alloc(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* counted_aligned_alloc(std::size_t size, std::align_val_t align) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (std::max<std::size_t>(size, 1) + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return counted_alloc(size); }
void* operator new[](std::size_t size) { return counted_alloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted_alloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new(std::size_t size, std::align_val_t align) { return counted_aligned_alloc(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return counted_aligned_alloc(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

constexpr int kRounds = 7;

struct Figures {
    double allocations_per_call;
    double ns_per_call;  // median of kRounds
};

template <class Call>
Figures measure(std::uint64_t calls, Call call) {
    call();  // warm caches
    const std::uint64_t before = g_allocations.load(std::memory_order_relaxed);
    call();
    const std::uint64_t one_call = g_allocations.load(std::memory_order_relaxed) - before;

    std::vector<double> rounds;
    for (int r = 0; r < kRounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (std::uint64_t i = 0; i < calls; ++i) call();
        const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
        rounds.push_back(elapsed.count() / static_cast<double>(calls));
    }
    std::ranges::sort(rounds);
    return {static_cast<double>(one_call), rounds[rounds.size() / 2]};
}

// Right-aligns a number, fixed with `decimals` digits, in a column of `width`.
std::string column(double value, int decimals, std::size_t width) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, ec == std::errc{} ? end : buffer);
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string left(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

// The first row printed is the baseline; later rows show their ratio to it.
void print_row(std::string_view what, const Figures& f, double baseline_ns) {
    std::string line = left(what, 50) + column(f.allocations_per_call, 0, 8) + column(f.ns_per_call, 1, 11);
    line += column(f.ns_per_call / baseline_ns, 2, 8) + "x\n";
    std::fputs(line.c_str(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t calls = 200000;
    if (argc > 1) {
        const std::string_view arg = argv[1];
        const auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), calls);
        if (ec != std::errc{} || end != arg.data() + arg.size() || calls == 0) {
            std::fputs("usage: alloc_bench [ROLLS]\n", stderr);
            return 2;
        }
    }

    const std::vector<std::string_view> basket = {"4d6k3",
                                                  "1d20+5",
                                                  "3#4d6k3",
                                                  "{d6, d8, 5} * 2",
                                                  "10d10>=7",
                                                  "2d20kl1 + 1d4 - 1",
                                                  "{1, 2, 3} * 3#1d8",
                                                  "{1, 2} + {10, 20, 30}",
                                                  "-{d6, d8} * 2 + 1",
                                                  "(2d6 + 3) * 2 - 1d4 + {1, 2, 3} * 3#1d8 + 4d6b6k3>=4 - 10%"};
    std::fputs((left("call", 50) + "  allocs    ns/call   ratio\n").c_str(), stdout);
    // Keeps the optimiser from dropping calls whose results are otherwise unused.
    std::size_t sink = 0;

    // Baseline in the same run, the C++ twin of Python's "4d6k3".split("k"):
    // a vector of the pieces. The input goes through an opaque barrier so the
    // compiler cannot fold the work away.
    std::string input = "4d6k3";
    const Figures baseline = measure(calls, [&] {
                  std::string_view text = input;
                  asm volatile("" : "+r"(text) : : "memory");
                  std::vector<std::string> parts;
                  for (std::size_t cut = text.find('k'); cut != std::string_view::npos; cut = text.find('k')) {
                      parts.emplace_back(text.substr(0, cut));
                      text.remove_prefix(cut + 1);
                  }
                  parts.emplace_back(text);
                  sink += parts.size() + parts.front().size();
              });
    print_row("baseline: split \"4d6k3\" at 'k' (vector<string>)", baseline, baseline.ns_per_call);
    for (const std::string_view expression : basket) {
        pipwerk::RollOptions options;
        options.seed = 42;
        const std::string label = "roll(\"" + std::string(expression) + "\", seed 42)";
        print_row(label, measure(calls, [&] {
                      auto result = pipwerk::roll(expression, options);
                      sink += result ? result->full.size() : 1;
                  }), baseline.ns_per_call);
    }
    // The path the Python module takes: the whole roll laid out in one record.
    for (const std::string_view expression : basket) {
        for (const bool show_detail : {true, false}) {
            const pipwerk::RollOptions options{.seed = 42, .show_detail = show_detail};
            const std::string label =
                "roll_into(\"" + std::string(expression) + "\"" + (show_detail ? ")" : ", no detail)");
            print_row(label, measure(calls, [&] {
                          pipwerk::RollRecord record;
                          const auto done = pipwerk::roll_into(expression, options, record);
                          sink += done ? record.text.size() : 1;
                      }), baseline.ns_per_call);
        }
    }
    {
        pipwerk::RollOptions options;
        options.seed = 42;
        options.show_detail = false;
        print_row("roll(\"4d6k3\", seed 42, no detail)", measure(calls, [&] {
                      auto result = pipwerk::roll("4d6k3", options);
                      sink += result ? result->full.size() : 1;
                  }), baseline.ns_per_call);
    }
    print_row("Parser::parse(\"4d6k3\")", measure(calls, [&] {
                  const auto outcome = pipwerk::Parser::parse("4d6k3");
                  sink += outcome.consumed.size();
              }), baseline.ns_per_call);
    std::fputs(sink == 0 ? "(no output)\n" : "", stdout);
    return 0;
}
