#include "odds_format.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <utility>

#include "pipwerk/text.hpp"

namespace pipwerk::cli {
namespace {

void append_distribution_json(std::string& out, const Distribution& d) {
    out += "\"distribution\":[";
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (i != 0) out += ',';
        out += '[';
        append_json_number(out, d[i].value);
        out += ',';
        append_json_number(out, d[i].probability);
        out += ']';
    }
    out += ']';
    if (d.empty()) return;
    const OddsSummary s = summarize(d);
    const std::pair<std::string_view, double> fields[] = {
        {"mean", s.mean}, {"stdev", s.stdev},     {"variance", s.variance}, {"min", s.min},
        {"max", s.max},   {"median", s.median}, {"mode", s.mode},
    };
    for (const auto& [name, value] : fields) {
        out += ",\"";
        out += name;
        out += "\":";
        append_json_number(out, value);
    }
}

}  // namespace

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

void append_odds_json(std::string& out, std::string_view expression, const Odds& odds) {
    out += "{\"expression\":";
    append_json_string(out, expression);
    out += ",\"consumed\":";
    append_json_string(out, odds.consumed);
    out += ",\"tail\":";
    append_json_string(out, odds.tail);
    out += ",\"is_set\":";
    out += odds.is_set ? "true" : "false";
    if (odds.is_set) {
        out += ",\"elements\":[";
        for (std::size_t i = 0; i < odds.elements.size(); ++i) {
            out += i != 0 ? ",{" : "{";
            append_distribution_json(out, odds.elements[i]);
            out += '}';
        }
        out += ']';
    } else if (!odds.elements.empty()) {
        out += ',';
        append_distribution_json(out, odds.elements.front());
    }
    out += ",\"errors\":{";
    for (std::size_t i = 0; i < odds.errors.size(); ++i) {
        if (i != 0) out += ',';
        append_json_string(out, odds.errors[i].message);
        out += ':';
        append_json_number(out, odds.errors[i].probability);
    }
    out += "}}\n";
}

void append_comparison_json(std::string& out, std::string_view a, std::string_view b, std::string_view consumed,
                            std::string_view tail, const Comparison& comparison) {
    out += "{\"expression\":";
    append_json_string(out, a);
    out += ",\"vs\":";
    append_json_string(out, b);
    out += ",\"consumed\":";
    append_json_string(out, consumed);
    out += ",\"tail\":";
    append_json_string(out, tail);
    const std::pair<std::string_view, double> fields[] = {
        {"greater", comparison.greater}, {"equal", comparison.equal},         {"less", comparison.less},
        {"failure", comparison.failure}, {"unordered", comparison.unordered},
    };
    for (const auto& [name, value] : fields) {
        out += ",\"";
        out += name;
        out += "\":";
        append_json_number(out, value);
    }
    out += "}\n";
}

std::size_t listed_outcomes(const Odds& odds, bool json) {
    std::size_t total = 0;
    if (json) {
        for (const Distribution& d : odds.elements) total += d.size();
    } else {
        for (const PictureBlock& block : picture_blocks(odds)) total += odds.elements[block.first].size();
    }
    return total;
}

}  // namespace pipwerk::cli
