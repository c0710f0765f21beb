// pipwerk: the command-line dice roller.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <span>
#include <string>
#include <string_view>

#include "options.hpp"
#include "roller.hpp"
#include "table_session.hpp"

namespace {

void write_text(std::FILE* stream, std::string_view text) noexcept {
    std::fwrite(text.data(), 1, text.size(), stream);
}

// One expression per line until the end of input. Lines may hold any bytes,
// NUL included; one "\r" before the line feed is dropped for CRLF input.
void roll_lines(std::istream& in, pipwerk::cli::Roller& roller) {
    std::string line;
    while (std::getline(in, line)) {
        std::string_view text = line;
        if (text.ends_with('\r')) text.remove_suffix(1);
        roller.run(text);
    }
}

int run(int argc, char** argv) {
    const std::span<const char* const> args(argv + (argc > 0 ? 1 : 0), argc > 1 ? static_cast<std::size_t>(argc - 1) : 0);
    const auto command = pipwerk::cli::parse_arguments(args);
    if (!command) {
        write_text(stderr, "pipwerk: ");
        write_text(stderr, command.error());
        write_text(stderr, "\n");
        write_text(stderr, pipwerk::cli::usage_text());
        return pipwerk::cli::kExitUsage;
    }
    switch (command->action) {
        case pipwerk::cli::Action::Help:
            write_text(stdout, pipwerk::cli::help_text());
            return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
        case pipwerk::cli::Action::Version:
            write_text(stdout, "pipwerk " PIPWERK_VERSION "\n");
            return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
        case pipwerk::cli::Action::Run:
            break;
    }

    // Every mode runs through one roller; the input comes from the command
    // line, from the prompt at a terminal, or line by line from standard input.
    const pipwerk::cli::Options& options = command->options;
    if (!options.expression && isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1) {
        // At the table a typo is not a failure of the session: it ends with 0.
        pipwerk::cli::Roller roller(options, stdout, stderr, pipwerk::cli::Audience::Person);
        pipwerk::cli::run_table_session(roller);
        return std::ferror(stdout) == 0 ? pipwerk::cli::kExitOk : pipwerk::cli::kExitFailed;
    }
    pipwerk::cli::Roller roller(options, stdout, stderr);
    if (options.expression) {
        roller.run(*options.expression);
    } else {
        // Standard input is read only through the stream; C stdio never touches it.
        std::ios::sync_with_stdio(false);
        roll_lines(std::cin, roller);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        write_text(stderr, "pipwerk: cannot write the output\n");
        return 1;
    }
    return roller.exit_status();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        // Reached only when memory runs out outside a roll (reading a line, parsing options).
        write_text(stderr, "pipwerk: ");
        write_text(stderr, e.what());
        write_text(stderr, "\n");
        return 1;
    }
}
