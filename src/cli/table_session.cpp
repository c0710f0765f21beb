#include "table_session.hpp"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "line_reader.hpp"
#include "options.hpp"
#include "whitespace.hpp"

namespace pipwerk::cli {
namespace {

constexpr const char* kPrompt = "pipwerk> ";

}  // namespace

void run_table_session(Roller& roller) {
    LineReader reader;
    std::string previous;
    while (const std::optional<std::string> line = reader.read(kPrompt)) {
        const std::string_view command = trim_whitespace(*line);
        if (command == "quit" || command == "exit") return;
        if (command == "help") {
            reader.remember(command);
            const std::string_view text = syntax_text();
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
            continue;
        }
        if (command.empty()) {
            if (previous.empty()) continue;  // nothing rolled yet
        } else {
            previous = *line;
            reader.remember(*line);
        }
        roller.run(previous);
    }
    // Ctrl-D: end the prompt's line so the shell's prompt starts on its own.
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace pipwerk::cli
