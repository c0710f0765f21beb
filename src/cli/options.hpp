#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pipwerk::cli {

struct Options {
    std::optional<std::uint64_t> seed;  // first seed; later rolls take seed+1, seed+2, ...
    std::uint64_t times = 1;            // rolls per expression
    bool summary = false;               // roll without detail text
    bool json = false;                  // one JSON object per line
    bool trace = false;                 // with json: each die of the roll as a tree
    bool parse_only = false;            // report success, consumed and tail; roll nothing
    bool strict = false;                // exit 3 when text was ignored or an input parsed nothing
    bool odds = false;                  // print the exact odds instead of rolling
    bool ascii = false;                 // odds bars in '#' instead of Unicode blocks
    bool every_outcome = false;         // odds: a row for every outcome, none grouped
    std::optional<std::string> versus;  // odds: each expression against this one
    // The words of the command line that are not options, joined by single
    // spaces into one expression ("pipwerk 1d20 + 5"); none: read standard input.
    std::optional<std::string> expression;
};

enum class Action : std::uint8_t { Run, Help, Version };

struct Command {
    Action action = Action::Run;
    Options options;
};

// Reads the arguments after the program name. Options may come before,
// between or after the words of the expression; everything after "--" is
// part of the expression.
// The error text names the offending argument and omits the program name.
[[nodiscard]] std::expected<Command, std::string> parse_arguments(std::span<const char* const> args);

// "usage: pipwerk ..." with its line feeds, for standard error after a bad option.
[[nodiscard]] std::string_view usage_text() noexcept;
// The full --help text.
[[nodiscard]] std::string help_text();
// The expression language in brief, with its limits: part of --help, and
// what "help" prints at the interactive prompt.
[[nodiscard]] std::string_view syntax_text() noexcept;

}  // namespace pipwerk::cli
