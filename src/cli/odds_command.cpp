#include "odds_command.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "json_writer.hpp"
#include "pipwerk/odds.hpp"

namespace pipwerk::cli {
namespace {

// The columns the picture may use: the terminal's width, else $COLUMNS, else 80.
std::size_t terminal_width(std::FILE* out) {
    winsize size{};
    if (isatty(fileno(out)) != 0 && ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        std::size_t n = 0;
        const std::string_view text(columns);
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec == std::errc() && end == text.data() + text.size() && n >= 20 && n <= 1000) return n;
    }
    return 80;
}

void append_distribution_json(std::string& out, const Distribution& d) {
    out += "\"distribution\": [";
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (i != 0) out += ", ";
        out += '[';
        append_json_number(out, d[i].value);
        out += ", ";
        append_json_number(out, d[i].probability);
        out += ']';
    }
    out += ']';
    if (d.empty()) return;
    const OddsSummary s = summarize(d);
    const std::pair<std::string_view, double> fields[] = {
        {"mean", s.mean}, {"stdev", s.stdev}, {"variance", s.variance}, {"min", s.min},
        {"max", s.max},   {"median", s.median}, {"mode", s.mode},
    };
    for (const auto& [name, value] : fields) {
        out += ", \"";
        out += name;
        out += "\": ";
        append_json_number(out, value);
    }
}

void append_odds_json(std::string& out, const Odds& odds) {
    out += "{\"consumed\": ";
    append_json_string(out, odds.consumed);
    out += ", \"tail\": ";
    append_json_string(out, odds.tail);
    out += ", \"is_set\": ";
    out += odds.is_set ? "true" : "false";
    if (odds.is_set) {
        out += ", \"elements\": [";
        for (std::size_t i = 0; i < odds.elements.size(); ++i) {
            out += i != 0 ? ", {" : "{";
            append_distribution_json(out, odds.elements[i]);
            out += '}';
        }
        out += ']';
    } else if (!odds.elements.empty()) {
        out += ", ";
        append_distribution_json(out, odds.elements.front());
    }
    out += ", \"errors\": {";
    for (std::size_t i = 0; i < odds.errors.size(); ++i) {
        if (i != 0) out += ", ";
        append_json_string(out, odds.errors[i].message);
        out += ": ";
        append_json_number(out, odds.errors[i].probability);
    }
    out += "}}\n";
}

class OddsPrinter {
public:
    OddsPrinter(const Options& options, std::FILE* out, std::FILE* err)
        : options_(options), out_(out), err_(err), width_(terminal_width(out)) {}

    void run(std::string_view expression) noexcept {
        try {
            once(expression);
        } catch (const std::bad_alloc&) {
            fail("out of memory");
        } catch (const std::exception& e) {
            fail(std::string("internal error: ") + e.what());
        }
    }

    [[nodiscard]] int exit_status() const noexcept { return failed_ || std::ferror(out_) != 0 ? 1 : 0; }

private:
    void once(std::string_view expression) {
        const OddsResult<Odds> result = odds(expression);
        std::string text;
        if (!result) {
            if (options_.json) {
                text = "{\"error\": ";
                append_json_string(text, result.error().message);
                text += "}\n";
                emit(text);
            }
            fail(result.error().message);
            return;
        }
        if (options_.json) {
            append_odds_json(text, *result);
        } else {
            if (printed_) text += '\n';  // a blank line between expressions
            text += render_odds(*result, result->parsed ? std::string_view(result->consumed) : expression, OddsTextOptions{.width = width_, .ascii = options_.ascii});
        }
        printed_ = true;
        emit(text);
        if (!options_.json && !result->tail.empty()) report("ignored: " + result->tail);
    }

    void emit(const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), out_);
        std::fflush(out_);
    }

    void fail(const std::string& message) noexcept {
        failed_ = true;
        report(message);
    }

    void report(const std::string& message) noexcept {
        std::fflush(out_);
        std::fputs("pipwerk: ", err_);
        std::fwrite(message.data(), 1, message.size(), err_);
        std::fputc('\n', err_);
        std::fflush(err_);
    }

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    std::size_t width_;
    bool failed_ = false;
    bool printed_ = false;
};

}  // namespace

int run_odds(const Options& options, std::istream& in, std::FILE* out, std::FILE* err) {
    OddsPrinter printer(options, out, err);
    if (options.expressions.empty()) {
        std::string line;
        while (std::getline(in, line)) {
            std::string_view text = line;
            if (text.ends_with('\r')) text.remove_suffix(1);
            printer.run(text);
        }
    } else {
        for (const std::string_view expression : options.expressions) printer.run(expression);
    }
    return printer.exit_status();
}

}  // namespace pipwerk::cli
