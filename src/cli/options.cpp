#include "options.hpp"

#include <charconv>
#include <system_error>

#include "safe_echo.hpp"

namespace pipwerk::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: pipwerk [--seed N] [-n K] [--summary] [--json [--trace]] [--parse]\n"
    "               [--strict] [--odds [--ascii] [--all] [--vs B]] [--] [EXPRESSION]\n";

constexpr std::string_view kSyntax =
    "Expressions:\n"
    "  NdF            N dice of F faces added up (d6 is 1d6); at most 50 dice of\n"
    "                 at most 1000 faces in a term\n"
    "  NdFkK, NdFklK  keep the K highest or lowest dice; '*' marks a dropped die\n"
    "  NdFbT          bonus: each die at or above T adds one more die ('!'), up\n"
    "                 to 50 dice in all\n"
    "  NdF>=T         count the dice that pass (>, >=, <, <=, !=); modifiers go\n"
    "                 in the order bonus, keep, comparison: 5d10k3!=10\n"
    "  + - * / ( )    arithmetic with brackets and unary minus; 7 / 2 is 3.5,\n"
    "                 50% is 0.5\n"
    "  R#E            roll E R times (R from 1 to 10), giving a set\n"
    "  {A, B, ...}    a set: arithmetic spreads over its elements, and two sets\n"
    "                 pair up element by element; sets do not nest\n"
    "Brackets, sets, signs and repeats nest up to 256 levels. Text after the\n"
    "longest expression that parses is ignored.\n";

constexpr std::string_view kHelpIntro =
    "\n"
    "Roll dice expressions such as \"4d6k3\", \"1d20+5\" or \"3#4d6k3\" and print\n"
    "each result with its roll details, e.g. \"[1* + 4 + 6 + 4] = 14\".\n"
    "\n"
    "The words of EXPRESSION are one expression, joined by single spaces:\n"
    "\"pipwerk 1d20 + 5\" rolls 1d20 + 5. Quote an expression that holds '>',\n"
    "'<', '(', ')', '*' or '#', or the shell acts on them first:\n"
    "  pipwerk '10d10>=7'        (unquoted, the shell makes a file named =7)\n"
    "Several expressions come from standard input, one per line.\n"
    "\n";

constexpr std::string_view kHelpRest =
    "\n"
    "With no EXPRESSION, read one expression per line from standard input until\n"
    "the end of input, printing each result as soon as its line is read. One\n"
    "carriage return before the line feed is removed, so CRLF input works.\n"
    "Every expression prints exactly one line, so output lines pair with input\n"
    "lines: one that fails prints an empty line (in JSON, an error object).\n"
    "\n"
    "When standard input and output are both a terminal, pipwerk with no\n"
    "EXPRESSION is an interactive roller (with --odds, an interactive odds\n"
    "table): type an expression at the prompt; an empty line rolls the previous\n"
    "one again, \"help\" or \"?\" shows the expressions, Ctrl-C drops the line\n"
    "being typed, and \"quit\", \"exit\" or Ctrl-D end the session (with status\n"
    "0). Where the system's libedit (libedit.so.2) is installed, arrow keys,\n"
    "Home, End and Ctrl-W edit the line and arrow up recalls earlier lines;\n"
    "without it the prompt is plain and says so. PIPWERK_NO_LINE_EDITING=1 in\n"
    "the environment asks for the plain prompt.\n"
    "\n"
    "Options:\n"
    "  --seed N      seed the dice with N (0 to 18446744073709551615) for a\n"
    "                reproducible roll; each roll gets its own generator, seeded\n"
    "                N, N+1, N+2, ... in output order (wrapping after the largest\n"
    "                seed), so with -n 2 the second roll is the one \"--seed N+1\"\n"
    "                gives; without it the dice come from the clock\n"
    "  -n, --times K roll each expression K times (1 to 18446744073709551615)\n"
    "  --summary     print only the final value, without roll details\n"
    "  --json        print one JSON object per line with the fields expression,\n"
    "                consumed, tail, summary, detail, full, is_set, values\n"
    "                (non-finite values as null) and seed (the seed that rolls\n"
    "                it again, also when the dice came from the clock); a failed\n"
    "                roll prints {\"expression\":INPUT,\"error\":MESSAGE}\n"
    "  --trace       with --json: add \"nodes\" and \"root\", every number,\n"
    "                operation and die of the roll (value, kept or dropped,\n"
    "                bonus, success), children by index\n"
    "  --parse       parse without rolling and print success, consumed and tail\n"
    "                (with --json as an object with expression and those fields)\n"
    "  --strict      exit with status 3 when any text was ignored or an input\n"
    "                parsed nothing (an empty line included)\n"
    "  --odds        print the exact odds of each expression instead of rolling:\n"
    "                mean, sd and range, then each outcome with P(=), P(>=) and a\n"
    "                bar (many outcomes are grouped into ranges; identical\n"
    "                elements of a set are shown once, marked x3 for three);\n"
    "                with --json one object per line with expression, consumed,\n"
    "                tail, is_set, the distribution (or elements), statistics and\n"
    "                errors\n"
    "  --all         with --odds: a row for every outcome, none grouped\n"
    "  --vs B        with --odds: also the odds of B, then P(A > B), P(A = B)\n"
    "                and P(A < B) for each expression A against B, and the\n"
    "                chance a roll fails; a side whose every roll fails is an\n"
    "                error\n"
    "  --ascii       draw the --odds bars with '#'\n"
    "  -V, --version print the version and exit\n"
    "  -h, --help    print this help and exit\n"
    "  --            end of options: later arguments are part of the expression\n"
    "                even when they start with '-'\n"
    "\n"
    "Ignored text is reported on standard error (\"pipwerk: ignored: ...\"),\n"
    "followed by a hint where the text is another roller's notation; --json and\n"
    "--parse report it in their output instead. Every message that quotes the\n"
    "input shows control characters as escapes such as \\x1b and cuts anything\n"
    "past 80 characters. A roll that fails (\"pipwerk: division by zero\") is\n"
    "reported on standard error and does not stop the rolls after it.\n"
    "\n"
    "Exit status:\n"
    "  0  every roll succeeded\n"
    "  1  a roll failed, or the output could not be written\n"
    "  2  a bad option\n"
    "  3  with --strict: text was ignored or an input parsed nothing (when no\n"
    "     roll failed; 1 comes first)\n"
    "\n"
    "Examples:\n"
    "  pipwerk --seed 42 4d6k3         prints [1* + 4 + 6 + 4] = 14\n"
    "  pipwerk -n 6 --summary 4d6k3    six ability scores, one per line\n"
    "  pipwerk --json --strict < rolls.txt > results.jsonl\n"
    "                                  one JSON object per line of rolls.txt;\n"
    "                                  status 3 if a line held stray text\n";

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

// An argument named in a message, through the echo that shows a terminal
// nothing it would obey.
[[nodiscard]] std::string quoted(std::string_view text) {
    std::string out = "'";
    append_safe_echo(out, text);
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
            if (options.expression) {
                *options.expression += ' ';
                *options.expression += arg;
            } else {
                options.expression.emplace(arg);
            }
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }

        const SplitOption opt = split_option(arg);
        const bool takes_value = opt.name == "--seed" || opt.name == "--times" || opt.name == "-n" || opt.name == "--vs";
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
            if (!times || *times == 0) {
                return std::unexpected("invalid count " + quoted(value) + " (want 1 to 18446744073709551615)");
            }
            options.times = *times;
        } else if (opt.name == "--summary") {
            options.summary = true;
        } else if (opt.name == "--json") {
            options.json = true;
        } else if (opt.name == "--parse") {
            options.parse_only = true;
        } else if (opt.name == "--strict") {
            options.strict = true;
        } else if (opt.name == "--odds") {
            options.odds = true;
        } else if (opt.name == "--ascii") {
            options.ascii = true;
        } else if (opt.name == "--all") {
            options.every_outcome = true;
        } else if (opt.name == "--vs") {
            options.versus.emplace(value);
        } else if (opt.name == "--trace") {
            options.trace = true;
        } else if (opt.name == "--help" || opt.name == "-h") {
            command.action = Action::Help;
        } else if (opt.name == "--version" || opt.name == "-V") {
            command.action = Action::Version;
        } else {
            return std::unexpected("unknown option " + quoted(arg) +
                                   " (put -- before an expression that starts with '-')");
        }
    }

    if (options.parse_only && (options.summary || options.seed || options.times != 1)) {
        return std::unexpected(std::string("--parse rolls nothing: it takes no --seed, --times or --summary"));
    }
    if (options.odds && (options.parse_only || options.summary || options.seed || options.times != 1 || options.trace)) {
        return std::unexpected(
            std::string("--odds rolls nothing: it takes no --seed, --times, --summary, --parse or --trace"));
    }
    if (!options.odds && (options.ascii || options.every_outcome || options.versus)) {
        return std::unexpected(std::string("--ascii, --all and --vs go with --odds"));
    }
    if (options.trace && (!options.json || options.parse_only)) {
        return std::unexpected(std::string("--trace goes with --json, and rolls: not with --parse"));
    }
    return command;
}

std::string_view usage_text() noexcept { return kUsage; }

std::string help_text() {
    std::string text;
    text.reserve(kUsage.size() + kHelpIntro.size() + kSyntax.size() + kHelpRest.size());
    text.append(kUsage).append(kHelpIntro).append(kSyntax).append(kHelpRest);
    return text;
}

std::string_view syntax_text() noexcept { return kSyntax; }

}  // namespace pipwerk::cli
