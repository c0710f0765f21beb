#include "roller.hpp"

#include <exception>
#include <new>

#include "line_format.hpp"
#include "parser/parser.hpp"
#include "pipwerk/pipwerk.hpp"

namespace pipwerk::cli {

Roller::Roller(const Options& options, std::FILE* out, std::FILE* err) noexcept
    : options_(options), out_(out), err_(err), next_seed_(options.seed) {}

void Roller::run(std::string_view expression) noexcept {
    for (std::uint64_t k = 0; k < options_.times; ++k) {
        try {
            if (options_.parse_only) {
                parse_once(expression);
            } else {
                roll_once(expression);
            }
        } catch (const std::bad_alloc&) {
            failed_ = true;
            report("", "out of memory");
        } catch (const std::exception& e) {
            failed_ = true;
            report("internal error: ", e.what());
        }
    }
}

int Roller::exit_status() const noexcept {
    const bool write_failed = std::ferror(out_) != 0;
    return failed_ || write_failed ? 1 : 0;
}

void Roller::roll_once(std::string_view expression) {
    RollOptions roll_options;
    roll_options.show_detail = !options_.summary;
    if (next_seed_) {
        roll_options.seed = *next_seed_;
        // Every roll takes the next seed, failed or not, so roll i of a run
        // always matches a separate run with --seed N+i; wraps after 2^64-1.
        *next_seed_ += 1;
    }

    Result<RollOutput> result = roll(expression, roll_options);
    line_.clear();
    if (!result) {
        failed_ = true;
        const std::string message = result.error().message();
        if (options_.json) {
            append_error_json(line_, message);
            emit_line();
        }
        report("", message);
        return;
    }
    if (options_.json) {
        append_roll_json(line_, *result);
    } else {
        line_ += result->full;
        line_ += '\n';
    }
    emit_line();
    if (!options_.json && !result->tail.empty()) report("ignored: ", result->tail);
}

void Roller::parse_once(std::string_view expression) {
    const ParseOutcome outcome = Parser::parse(expression);
    line_.clear();
    if (options_.json) {
        append_parse_json(line_, outcome.success(), outcome.consumed, outcome.tail);
    } else {
        append_parse_text(line_, outcome.success(), outcome.consumed, outcome.tail);
    }
    emit_line();
}

void Roller::emit_line() {
    // Flushed per line so the roller works interactively and as a filter.
    std::fwrite(line_.data(), 1, line_.size(), out_);
    std::fflush(out_);
}

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
