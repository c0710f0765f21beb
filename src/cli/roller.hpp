#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "options.hpp"

namespace pipwerk::cli {

// Exit statuses of the command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // a roll failed, or the output could not be written
inline constexpr int kExitUsage = 2;    // a bad option
inline constexpr int kExitIgnored = 3;  // --strict: text was ignored, or an input parsed nothing

// Where the results go: a stream that other programs read line by line, or
// a person at the interactive prompt.
enum class Audience : std::uint8_t { Filter, Person };

// Runs expressions one at a time in the mode the options chose, writing each
// result line to `out` (flushed at once) and diagnostics to `err`. For a
// filter every roll writes exactly one line, failed or not, so output lines
// pair with inputs; a person is spared the empty line of a failed roll.
// It carries the seed sequence and the exit status from one expression to the next.
class Roller {
public:
    Roller(const Options& options, std::FILE* out, std::FILE* err, Audience audience = Audience::Filter) noexcept;

    // Rolls (or parses) one expression `times` times; never throws.
    void run(std::string_view expression) noexcept;

    // The worst so far: kExitFailed over kExitIgnored (only with --strict) over kExitOk.
    [[nodiscard]] int exit_status() const noexcept;

private:
    void roll_once(std::string_view expression);
    void parse_once(std::string_view expression);
    void fail(std::string_view expression, std::string_view message) noexcept;
    void note_unparsed(std::string_view consumed, std::string_view tail);
    void emit_line() noexcept;
    void report(std::string_view prefix, std::string_view text) noexcept;

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    Audience audience_;
    std::optional<std::uint64_t> next_seed_;
    std::string line_;  // reused for every output line
    bool failed_ = false;
    bool ignored_ = false;
};

}  // namespace pipwerk::cli
