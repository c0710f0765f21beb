// pipwerk: the command-line dice roller.
#include <cstdio>
#include <exception>
#include <iostream>
#include <span>
#include <string>
#include <string_view>

#include "odds_command.hpp"
#include "options.hpp"
#include "roller.hpp"

namespace {

constexpr int kUsageStatus = 2;

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
        return kUsageStatus;
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

    const pipwerk::cli::Options& options = command->options;
    if (options.odds) {
        std::ios::sync_with_stdio(false);
        const int status = pipwerk::cli::run_odds(options, std::cin, stdout, stderr);
        return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? status : 1;
    }
    pipwerk::cli::Roller roller(options, stdout, stderr);
    if (options.expressions.empty()) {
        // Standard input is read only through the stream; C stdio never touches it.
        std::ios::sync_with_stdio(false);
        roll_lines(std::cin, roller);
    } else {
        for (const std::string_view expression : options.expressions) roller.run(expression);
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
