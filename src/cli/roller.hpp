#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "options.hpp"
#include "pipwerk/odds.hpp"
#include "pipwerk/pipwerk.hpp"

namespace pipwerk::cli {

// Exit statuses of the command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // a roll failed, or the output could not be written
inline constexpr int kExitUsage = 2;    // a bad option
inline constexpr int kExitIgnored = 3;  // --strict: text was ignored, or an input parsed nothing

// Where the results go: a stream that other programs read line by line, or
// a person at the interactive prompt.
enum class Audience : std::uint8_t { Filter, Person };

// The one handler of every input, whichever mode the options chose (roll,
// parse or odds) and wherever the input came from (the command line,
// standard input or the prompt). It writes each answer to `out` (flushed at
// once) and diagnostics to `err`. For a filter every input writes exactly one
// line per roll (a JSON object, or an empty line when it fails), so output
// lines pair with inputs; a person is spared the empty line of a failure.
// Text from the user reaches the terminal only through the safe echo.
// It carries the seed sequence and the exit status from one input to the next.
class Roller {
public:
    Roller(const Options& options, std::FILE* out, std::FILE* err, Audience audience = Audience::Filter);

    // Answers one expression (`times` rolls of it); never throws.
    void run(std::string_view expression) noexcept;

    // The worst so far: kExitFailed over kExitIgnored (only with --strict) over kExitOk.
    [[nodiscard]] int exit_status() const noexcept;

private:
    void roll_once(std::string_view expression);
    void trace_once(std::string_view expression, const RollOptions& roll_options);
    void parse_once(std::string_view expression);
    void odds_once(std::string_view expression);
    void versus_once(std::string_view a, std::string_view b);
    [[nodiscard]] OddsTextOptions text_options() const noexcept;
    void start_picture();
    void append_picture(const Odds& odds, std::string_view fallback_label);
    [[nodiscard]] bool too_many_outcomes(std::string_view expression, const Odds& odds);
    void fail(std::string_view expression, std::string_view message) noexcept;
    void note_unparsed(std::string_view consumed, std::string_view tail);
    void report_ignored(std::string_view prefix, std::string_view tail);
    void emit_line() noexcept;
    void report(std::string_view prefix, std::string_view text) noexcept;

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    Audience audience_;
    std::size_t width_;  // columns of the odds pictures
    std::optional<std::uint64_t> next_seed_;
    std::string line_;  // reused for every output line
    bool failed_ = false;
    bool ignored_ = false;
    bool answered_ = false;  // an odds picture is out: the next one starts after a blank line
    bool versus_noted_ = false;  // the tail of --vs B has been reported
};

}  // namespace pipwerk::cli
