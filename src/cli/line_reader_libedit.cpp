// The interactive prompt through libedit's readline interface.
#include <clocale>
#include <cstdlib>
#include <memory>

#include <editline/readline.h>

#include "line_reader.hpp"

namespace pipwerk::cli {

LineReader::LineReader() {
    // Multibyte characters are edited as characters only in the user's locale.
    std::setlocale(LC_CTYPE, "");
    using_history();
}

LineReader::~LineReader() { clear_history(); }

std::optional<std::string> LineReader::read(const char* prompt) {
    const std::unique_ptr<char, decltype(&std::free)> line(readline(prompt), &std::free);
    if (!line) return std::nullopt;
    return std::string(line.get());
}

void LineReader::remember(std::string_view line) {
    // The last entry is not repeated, so arrow up skips rerolls of one line.
    if (const HIST_ENTRY* last = history_get(history_base + history_length - 1);
        last != nullptr && last->line != nullptr && line == last->line) {
        return;
    }
    add_history(std::string(line).c_str());
}

}  // namespace pipwerk::cli
