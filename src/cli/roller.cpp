// The Roller: every input of the command line goes through run(), whatever
// the mode (roll, trace, parse, odds) and wherever the input came from. Each
// answer is one output line built in line_ and written at once, so output
// lines pair with inputs even when a roll fails (an error object, or an
// empty line); diagnostics go to the error stream after the output is
// flushed, and user text reaches the terminal only through the safe echo.
// The seed sequence and the exit status carry over from input to input.
#include "roller.hpp"

#include <exception>
#include <new>

#include "line_format.hpp"
#include "odds_format.hpp"
#include "pipwerk/pipwerk.hpp"
#include "pipwerk/trace.hpp"
#include "safe_echo.hpp"

namespace pipwerk::cli {

Roller::Roller(const Options& options, std::FILE* out, std::FILE* err, Audience audience)
    : options_(options), out_(out), err_(err), audience_(audience), width_(terminal_width(out)),
      next_seed_(options.seed) {}

void Roller::run(std::string_view expression) noexcept {
    for (std::uint64_t k = 0; k < options_.times; ++k) {
        try {
            if (options_.parse_only) {
                parse_once(expression);
            } else if (options_.odds) {
                odds_once(expression);
            } else {
                roll_once(expression);
            }
        } catch (const std::bad_alloc&) {
            fail(expression, "out of memory");
        } catch (const std::exception&) {
            fail(expression, "internal error");
        }
    }
}

int Roller::exit_status() const noexcept {
    if (failed_ || std::ferror(out_) != 0) return kExitFailed;
    return options_.strict && ignored_ ? kExitIgnored : kExitOk;
}

void Roller::roll_once(std::string_view expression) {
    RollOptions roll_options;
    roll_options.show_detail = !options_.summary;
    if (next_seed_) {
        roll_options.seed = *next_seed_;
        // Every roll takes the next seed, failed or not, so roll i of a run
        // always matches a separate run with --seed N+i; wraps after 2^64-1.
        *next_seed_ += 1;
    } else if (options_.json) {
        // A JSON line names the seed that replays it, so an unseeded roll
        // draws its seed from the clock as the engine would, and is rolled from it.
        roll_options.seed = unseeded_base_seed();
    }

    if (options_.trace) {
        trace_once(expression, roll_options);
        return;
    }
    Result<RollOutput> result = roll(expression, roll_options);
    if (!result) {
        fail(expression, result.error().message());
        return;
    }
    line_.clear();
    if (options_.json) {
        append_roll_json(line_, expression, *result, *roll_options.seed);
    } else {
        line_ += result->full;
        line_ += '\n';
    }
    emit_line();
    note_unparsed(result->consumed, result->tail);
}

void Roller::trace_once(std::string_view expression, const RollOptions& roll_options) {
    // The same roll from the same seed, with every node and die recorded.
    Result<TraceOutput> result = trace(expression, roll_options);
    if (!result) {
        fail(expression, result.error().message());
        return;
    }
    line_.clear();
    append_roll_json(line_, expression, result->output, result->seed, false);
    line_ += ',';
    // The node table can be a thousand times the input: it goes out a
    // piece at a time, not as one line held whole.
    constexpr std::size_t kPiece = std::size_t{1} << 16;
    TraceJson tree(*result, TraceJson::Part::Tree);
    while (tree.append_next(line_, kPiece)) {
        if (line_.size() >= kPiece) {
            std::fwrite(line_.data(), 1, line_.size(), out_);
            line_.clear();
            if (std::ferror(out_) != 0) return;  // nothing reads the rest; the exit status says so
        }
    }
    close_object(line_);
    emit_line();
    note_unparsed(result->output.consumed, result->output.tail);
}

void Roller::parse_once(std::string_view expression) {
    const ParseOutput outcome = parse(expression);
    line_.clear();
    if (options_.json) {
        append_parse_json(line_, expression, outcome.success, outcome.consumed, outcome.tail);
    } else {
        append_parse_text(line_, outcome.success, outcome.consumed, outcome.tail);
    }
    emit_line();
    // The tail is already in the output line.
    if (!outcome.success || !outcome.tail.empty()) ignored_ = true;
}

void Roller::fail(std::string_view expression, std::string_view message) noexcept {
    failed_ = true;
    // The line still comes: an error object in JSON, an empty line otherwise.
    line_.clear();
    try {
        if (options_.json) append_error_json(line_, expression, message);
    } catch (const std::bad_alloc&) {
        line_.clear();  // no room for the object: an empty line keeps the count
    }
    if (line_.empty() && audience_ == Audience::Filter) line_ += '\n';  // fits the string's own buffer
    emit_line();
    report("", message);
}

void Roller::note_unparsed(std::string_view consumed, std::string_view tail) {
    if (!tail.empty()) {
        ignored_ = true;
        if (options_.json) return;  // the object carries the tail
        report_ignored("ignored: ", tail);
    } else if (consumed.empty()) {
        ignored_ = true;
        if (options_.strict && !options_.json) report("", "nothing to roll");
    }
}

void Roller::report_ignored(std::string_view prefix, std::string_view tail) {
    std::string echo;
    append_safe_echo(echo, tail);
    // Another roller's notation gets a word on what this one reads instead.
    const std::vector<std::string_view> hints = hints_for(tail);
    for (std::size_t i = 0; i < hints.size(); ++i) {
        echo += i == 0 ? " (hint: " : "; ";
        echo += hints[i];
    }
    if (!hints.empty()) echo += ')';
    report(prefix, echo);
}

void Roller::emit_line() noexcept {
    // Flushed per line so the roller works interactively and as a filter.
    std::fwrite(line_.data(), 1, line_.size(), out_);
    std::fflush(out_);
}

// The text is written as it is: fixed wording, the engine's messages (which
// quote the input only through the echo: versus_once), or the echo itself.
void Roller::report(std::string_view prefix, std::string_view text) noexcept {
    std::fflush(out_);  // keep the order of results and diagnostics on a shared terminal
    constexpr std::string_view kProgram = "pipwerk: ";
    std::fwrite(kProgram.data(), 1, kProgram.size(), err_);
    std::fwrite(prefix.data(), 1, prefix.size(), err_);
    std::fwrite(text.data(), 1, text.size(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}

}  // namespace pipwerk::cli
