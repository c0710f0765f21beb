// The interactive prompt without a line-editing library: the terminal's own
// line discipline (backspace, Ctrl-U) is all the editing there is.
#include <cstdio>

#include "line_reader.hpp"

namespace pipwerk::cli {

LineReader::LineReader() = default;
LineReader::~LineReader() = default;

std::optional<std::string> LineReader::read(const char* prompt) {
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    std::string line;
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) return std::nullopt;
    return line;
}

void LineReader::remember(std::string_view /*line*/) {}

}  // namespace pipwerk::cli
