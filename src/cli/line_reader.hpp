#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pipwerk::cli {

// Reads the lines typed at the interactive prompt. Built with libedit it
// offers line editing and the session's history (arrow up recalls earlier
// lines); built without, it is a plain prompt on standard input.
class LineReader {
public:
    LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    ~LineReader();

    // Shows the prompt and returns the line typed, without its line feed;
    // nothing at the end of input (Ctrl-D on an empty line).
    [[nodiscard]] std::optional<std::string> read(const char* prompt);
    // Adds a line to the history that arrow up walks back through.
    void remember(std::string_view line);
};

}  // namespace pipwerk::cli
