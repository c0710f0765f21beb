#include "table_session.hpp"

#include <cstdio>
#include <string>
#include <string_view>

#include "line_reader.hpp"
#include "options.hpp"
#include "pipwerk/text.hpp"

namespace pipwerk::cli {
namespace {

constexpr const char* kPrompt = "pipwerk> ";

void write_out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

[[nodiscard]] bool asks_for_help(std::string_view command) {
    return command == "help" || command == "Help" || command == "HELP" || command == "?";
}

}  // namespace

void run_table_session(Roller& roller) {
    LineReader reader;
    if (!reader.plain_reason().empty()) {
        std::fprintf(stderr, "pipwerk: %s\n", reader.plain_reason().c_str());
        std::fflush(stderr);
    }
    std::string previous;
    for (;;) {
        LineReader::Read read = reader.read(kPrompt);
        if (read.got == LineReader::Got::End) break;
        if (read.got == LineReader::Got::Cancelled) {
            // A fresh prompt on its own line, as a shell gives. The plain
            // prompt's terminal has shown the ^C already; libedit's has not.
            write_out(reader.plain_reason().empty() ? "^C\n" : "\n");
            continue;
        }
        const std::string_view command = trim_whitespace(read.line);
        if (command == "quit" || command == "exit") return;
        if (asks_for_help(command)) {
            reader.remember(command);
            write_out(syntax_text());
            continue;
        }
        if (command.empty()) {
            if (previous.empty()) continue;  // nothing answered yet
        } else {
            previous = std::move(read.line);
            reader.remember(previous);
        }
        roller.run(previous);
    }
    // Ctrl-D: end the prompt's line so the shell's prompt starts on its own.
    write_out("\n");
}

}  // namespace pipwerk::cli
