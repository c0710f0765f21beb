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
    bool parse_only = false;            // report success, consumed and tail; roll nothing
    bool odds = false;                  // print the exact odds instead of rolling
    bool ascii = false;                 // odds bars in '#' instead of Unicode blocks
    std::vector<std::string_view> expressions;  // empty: read lines from standard input
};

enum class Action : std::uint8_t { Run, Help, Version };

struct Command {
    Action action = Action::Run;
    Options options;
};

// Reads the arguments after the program name. Options may come before,
// between or after expressions; everything after "--" is an expression.
// The error text names the offending argument and omits the program name.
[[nodiscard]] std::expected<Command, std::string> parse_arguments(std::span<const char* const> args);

// "usage: pipwerk ..." with its line feed, for standard error after a bad option.
[[nodiscard]] std::string_view usage_text() noexcept;
// The full --help text.
[[nodiscard]] std::string_view help_text() noexcept;

}  // namespace pipwerk::cli
