#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pipwerk::cli {

// Reads the lines typed at the interactive prompt. Line editing and the
// session's history (arrow up recalls earlier lines) come from the system's
// libedit, loaded when the reader is made; where it cannot be loaded, or
// PIPWERK_NO_LINE_EDITING is set to anything but "" or "0", the prompt is
// plain: the terminal's own line discipline (backspace, Ctrl-U) is all the
// editing there is. While the reader lives, Ctrl-C drops the line being typed
// instead of ending the program.
class LineReader {
public:
    LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    ~LineReader();

    // Empty when lines are edited; else why not, for one line to the user.
    [[nodiscard]] const std::string& plain_reason() const noexcept { return plain_reason_; }

    enum class Got : unsigned char { Line, Cancelled, End };
    struct Read {
        Got got;
        std::string line;  // without its line feed
    };
    // Shows the prompt and reads a line: Cancelled after Ctrl-C, End at the
    // end of input (Ctrl-D on an empty line).
    [[nodiscard]] Read read(const char* prompt);
    // Adds a line to the history that arrow up walks back through; the last
    // line is not repeated, so arrow up skips rerolls of one line.
    void remember(std::string_view line);

private:
    struct Editline;  // libedit's functions, when loaded
    Read read_plain(const char* prompt);

    Editline* editline_ = nullptr;
    std::string plain_reason_;
    std::optional<std::string> last_remembered_;
};

}  // namespace pipwerk::cli
