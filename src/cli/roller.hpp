#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "options.hpp"

namespace pipwerk::cli {

// Runs expressions one at a time in the mode the options chose, writing each
// result line to `out` (flushed at once) and diagnostics to `err`. It carries
// the seed sequence and the exit status from one expression to the next.
class Roller {
public:
    Roller(const Options& options, std::FILE* out, std::FILE* err) noexcept;

    // Rolls (or parses) one expression `times` times; never throws.
    void run(std::string_view expression) noexcept;

    // 0 so far, or 1 once any roll failed or output could not be written.
    [[nodiscard]] int exit_status() const noexcept;

private:
    void roll_once(std::string_view expression);
    void parse_once(std::string_view expression);
    void emit_line();
    void report(std::string_view prefix, std::string_view text) noexcept;

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    std::optional<std::uint64_t> next_seed_;
    std::string line_;  // reused for every output line
    bool failed_ = false;
};

}  // namespace pipwerk::cli
