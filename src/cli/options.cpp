#include "options.hpp"

#include <charconv>
#include <system_error>

namespace pipwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: pipwerk [--seed N] [-n K] [--summary] [--json] [--parse] [--odds [--ascii]] [--] [EXPRESSION...]\n";

constexpr std::string_view kHelp =
    "usage: pipwerk [--seed N] [-n K] [--summary] [--json] [--parse] [--odds [--ascii]] [--] [EXPRESSION...]\n"
    "\n"
    "Roll dice expressions such as \"4d6k3\", \"1d20+5\" or \"3#4d6k3\" and print\n"
    "each result with its roll details, e.g. \"[1* + 4 + 6 + 4] = 14\".\n"
    "\n"
    "With no EXPRESSION, read one expression per line from standard input until\n"
    "the end of input, printing each result as soon as its line is read. One\n"
    "carriage return before the line feed is removed, so CRLF input works.\n"
    "\n"
    "Options:\n"
    "  --seed N      seed the dice with N (0 to 18446744073709551615) for a\n"
    "                reproducible roll; each roll gets its own generator, seeded\n"
    "                N, N+1, N+2, ... in output order (wrapping after the largest\n"
    "                seed), so \"pipwerk --seed 7 A B\" rolls A as \"--seed 7 A\" and\n"
    "                B as \"--seed 8 B\"; without it the dice come from the clock\n"
    "  -n, --times K roll each expression K times (K >= 1)\n"
    "  --summary     print only the final value, without roll details\n"
    "  --json        print one JSON object per line with the fields consumed,\n"
    "                tail, summary, detail, full, is_set and values (non-finite\n"
    "                values as null); a failed roll prints {\"error\": MESSAGE}\n"
    "  --parse       parse without rolling and print success, consumed and tail\n"
    "                (with --json as an object with those fields)\n"
    "  --odds        print the exact odds of each expression instead of rolling:\n"
    "                mean, sd and range, then each outcome with P(=), P(>=) and a\n"
    "                bar (many outcomes are grouped into ranges); with --json one\n"
    "                object per line with the distribution, errors and statistics\n"
    "  --ascii       draw the --odds bars with '#'\n"
    "  --version     print the version and exit\n"
    "  -h, --help    print this help and exit\n"
    "  --            end of options: later arguments are expressions even when\n"
    "                they start with '-'\n"
    "\n"
    "Text after the longest expression that parses is ignored and reported on\n"
    "standard error (\"pipwerk: ignored: ...\"); --json and --parse report it in\n"
    "their output instead. A roll that fails (\"pipwerk: division by zero\") is\n"
    "reported on standard error and does not stop the rolls after it.\n"
    "\n"
    "Exit status: 0 when every roll succeeded, 1 when a roll failed, 2 for a\n"
    "bad option.\n";

// A whole unsigned decimal number, nothing else (no sign, no spaces).
[[nodiscard]] std::optional<std::uint64_t> read_unsigned(std::string_view text) noexcept {
    std::uint64_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec != std::errc{} || end != last) return std::nullopt;
    return value;
}

// Splits "--name=value" into its name and value; other arguments have no value.
struct SplitOption {
    std::string_view name;
    std::optional<std::string_view> value;
};

[[nodiscard]] SplitOption split_option(std::string_view arg) noexcept {
    if (arg.starts_with("--")) {
        const auto eq = arg.find('=');
        if (eq != std::string_view::npos) return {arg.substr(0, eq), arg.substr(eq + 1)};
        return {arg, std::nullopt};
    }
    // "-n5" is "-n 5".
    if (arg.starts_with("-n") && arg.size() > 2) return {"-n", arg.substr(2)};
    return {arg, std::nullopt};
}

[[nodiscard]] std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += text;
    out += '\'';
    return out;
}

}  // namespace

std::expected<Command, std::string> parse_arguments(std::span<const char* const> args) {
    Command command;
    Options& options = command.options;
    bool options_ended = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i] != nullptr ? std::string_view(args[i]) : std::string_view();
        if (options_ended || !arg.starts_with('-') || arg == "-") {
            options.expressions.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }

        const SplitOption opt = split_option(arg);
        const bool takes_value = opt.name == "--seed" || opt.name == "--times" || opt.name == "-n";
        if (!takes_value && opt.value) return std::unexpected("option " + quoted(opt.name) + " takes no value");

        std::string_view value;
        if (takes_value) {
            if (opt.value) {
                value = *opt.value;
            } else if (i + 1 < args.size() && args[i + 1] != nullptr) {
                value = args[++i];
            } else {
                return std::unexpected("option " + quoted(opt.name) + " needs a value");
            }
        }

        if (opt.name == "--seed") {
            const auto seed = read_unsigned(value);
            if (!seed) return std::unexpected("invalid seed " + quoted(value) + " (want 0 to 18446744073709551615)");
            options.seed = seed;
        } else if (opt.name == "--times" || opt.name == "-n") {
            const auto times = read_unsigned(value);
            if (!times || *times == 0) return std::unexpected("invalid count " + quoted(value) + " (want 1 or more)");
            options.times = *times;
        } else if (opt.name == "--summary") {
            options.summary = true;
        } else if (opt.name == "--json") {
            options.json = true;
        } else if (opt.name == "--parse") {
            options.parse_only = true;
        } else if (opt.name == "--odds") {
            options.odds = true;
        } else if (opt.name == "--ascii") {
            options.ascii = true;
        } else if (opt.name == "--help" || opt.name == "-h") {
            command.action = Action::Help;
        } else if (opt.name == "--version") {
            command.action = Action::Version;
        } else {
            return std::unexpected("unknown option " + quoted(arg) +
                                   " (put -- before an expression that starts with '-')");
        }
    }

    if (options.parse_only && (options.summary || options.seed || options.times != 1)) {
        return std::unexpected(std::string("--parse rolls nothing: it takes no --seed, --times or --summary"));
    }
    if (options.odds && (options.parse_only || options.summary || options.seed || options.times != 1)) {
        return std::unexpected(std::string("--odds rolls nothing: it takes no --seed, --times, --summary or --parse"));
    }
    return command;
}

std::string_view usage_text() noexcept { return kUsage; }

std::string_view help_text() noexcept { return kHelp; }

}  // namespace pipwerk::cli
