#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pipwerk/odds.hpp"

// The picture of an expression's odds: a header per distribution, a row per
// outcome (or per range of values when there are many), the chance of that
// outcome, the chance of at least it, and a bar scaled so the likeliest row
// fills the room left on the line. Errors get rows of their own at the end.

namespace pipwerk {
namespace {

constexpr std::size_t kMaxRows = 40;    // more outcomes than this are grouped
constexpr std::size_t kTargetRows = 24;  // about this many rows when grouped
constexpr double kTailMass = 1e-4;       // tails lighter than this share one row

// One row: the label of its value or values, P(=) and P(>=).
struct Row {
    std::string label;
    double chance;
    double at_least;
};

std::string format_fixed(double v, int digits) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, digits);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("?");
}

// A value as a roll prints it: whole numbers plainly, others to six digits.
std::string format_value(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    if (v == std::trunc(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<std::int64_t>(v));
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
    return std::string(buffer, r.ptr);
}

// A mean or deviation: two decimals, or as a value when too large for them;
// `narrow` drops the decimals from 1000 up.
std::string format_statistic(double v, bool narrow) {
    if (!std::isfinite(v) || std::fabs(v) >= 1e15) return format_value(v);
    return format_fixed(v, narrow && std::fabs(v) >= 1000 ? 0 : 2);
}

std::string format_percent(double p) {
    if (p > 0.0 && p < 0.00005) return "<0.01%";
    // A sum of rounded chances a hair below 1 is still a certainty.
    if (p < 1.0 - 1e-12 && p > 0.99995) return ">99.99%";
    return format_fixed(p * 100.0, 2) + "%";
}

// Columns a text takes: its UTF-8 characters (the labels hold no wide ones).
std::size_t columns(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The first characters of `text` that fit `room` columns, the cut marked.
std::string cut_to(std::string_view text, std::size_t room, bool ascii) {
    if (columns(text) <= room) return std::string(text);
    const std::string_view mark = ascii ? "..." : "\u2026";
    const std::size_t keep = room > columns(mark) ? room - columns(mark) : 0;
    std::size_t at = 0;
    for (std::size_t kept = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && kept++ == keep) break;
    }
    return std::string(text.substr(0, at)) + std::string(mark);
}

// A bar of `cells` columns (fractional), from eighth blocks or '#'.
std::string bar(double cells, bool ascii) {
    if (!(cells > 0.0)) return {};
    if (ascii) return std::string(static_cast<std::size_t>(std::lround(cells)), '#');
    static constexpr std::string_view kEighths[] = {"", "\u258f", "\u258e", "\u258d", "\u258c", "\u258b", "\u258a",
                                                    "\u2589"};
    const auto eighths = static_cast<std::size_t>(std::lround(cells * 8.0));
    std::string out;
    for (std::size_t i = 0; i < eighths / 8; ++i) out += "\u2588";
    out += kEighths[eighths % 8];
    // Any outcome that can happen shows at least a sliver.
    if (out.empty()) out = kEighths[1];
    return out;
}

// A round bucket width of at least `raw`: 1, 2, 5, 10, 20, 25, 50, 100, ...
double nice_width(double raw) {
    double scale = 1.0;
    while (scale * 100 < raw) scale *= 10;
    for (const double step : {1.0, 2.0, 2.5, 5.0, 10.0, 20.0, 25.0, 50.0, 100.0}) {
        if (step * scale >= raw && (step != 2.5 || scale >= 10)) return step * scale;
    }
    return 100 * scale;
}

std::string range_label(double first, double last) {
    if (first == last) return format_value(first);
    return format_value(first) + ".." + format_value(last);
}

// The rows of one distribution: one per outcome, or grouped when there are
// many and the caller did not ask for every one.
std::vector<Row> rows_of(const Distribution& d, bool every_outcome) {
    std::vector<double> at_least(d.size() + 1, 0.0);
    for (std::size_t i = d.size(); i-- > 0;) at_least[i] = at_least[i + 1] + d[i].probability;
    std::vector<Row> rows;
    if (every_outcome || d.size() <= kMaxRows) {
        for (std::size_t i = 0; i < d.size(); ++i) rows.push_back({format_value(d[i].value), d[i].probability, at_least[i]});
        return rows;
    }
    const double total = at_least[0];
    // The light tails each get one row; the rest is cut into round ranges of
    // values (or runs of outcomes, when the values are not whole numbers).
    std::size_t first = 0;
    std::size_t last = d.size() - 1;
    while (first < last && total - at_least[first + 1] < kTailMass * total) ++first;
    while (last > first && at_least[last] < kTailMass * total) --last;
    bool whole = true;
    for (std::size_t i = first; i <= last; ++i) {
        whole = whole && d[i].value == std::trunc(d[i].value) && std::fabs(d[i].value) < 1e15;
    }
    std::vector<std::size_t> starts;  // each row begins at one of these outcomes
    starts.push_back(0);
    if (whole) {
        // Round ranges; the light tails join the partial ranges at the ends.
        const double width = nice_width((d[last].value - d[first].value + 1) / kTargetRows);
        const double low_bucket = std::floor(d[first].value / width);
        const double high_bucket = std::floor(d[last].value / width);
        double bucket = low_bucket;
        for (std::size_t i = first; i < d.size(); ++i) {
            const double b = std::min(std::floor(d[i].value / width), high_bucket);
            if (b != bucket) starts.push_back(i);
            bucket = b;
        }
        if (high_bucket == low_bucket && last + 1 < d.size()) starts.push_back(last + 1);
        last = d.size() - 1;
    } else {
        const std::size_t per_row = (last - first + kTargetRows) / kTargetRows;
        for (std::size_t i = first == 0 ? per_row : first; i <= last; i += per_row) starts.push_back(i);
    }
    if (last + 1 < d.size()) starts.push_back(last + 1);
    starts.push_back(d.size());
    for (std::size_t r = 0; r + 1 < starts.size(); ++r) {
        const std::size_t a = starts[r];
        const std::size_t b = starts[r + 1];
        rows.push_back({range_label(d[a].value, d[b - 1].value), at_least[a] - at_least[b], at_least[a]});
    }
    return rows;
}

// The header's figures: mean, deviation and range of the values. Where a
// NaN can come, the mean and deviation are NaN and the range of the other
// values is named with it. `narrow` writes the range as "3..18" and large
// figures without decimals.
std::string statistics_text(const Distribution& d, bool narrow) {
    const bool has_nan = std::isnan(d.back().value);  // a NaN sorts last
    if (has_nan && d.size() == 1) return "always NaN";
    const double low = d.front().value;
    const double high = d[d.size() - (has_nan ? 2 : 1)].value;
    std::string mean = "NaN";
    std::string sd = "NaN";
    if (!has_nan) {
        const OddsSummary s = summarize(d);
        mean = format_statistic(s.mean, narrow);
        sd = format_statistic(s.stdev, narrow);
    }
    std::string text = "mean " + mean + ", sd " + sd + (narrow ? ", " : ", range ");
    text += narrow ? range_label(low, high) : format_value(low) + " to " + format_value(high);
    if (has_nan) text += ", or NaN";
    return text;
}

// "label suffix: figures" on one line of at most `width` columns: the
// figures are written short when the line would be longer and the label
// could not keep kFullFiguresLabel columns of itself, and then the label
// (never the suffix that names the elements) is cut. Figures too long for
// even a short label go on indented lines of their own under the label.
void append_header(std::string& out, std::string_view label, std::string_view suffix, const Distribution& d,
                   std::size_t width, bool ascii) {
    constexpr std::size_t kFullFiguresLabel = 16;
    constexpr std::size_t kShortestLabel = 8;  // a label is never cut shorter than this
    std::string figures;
    if (d.empty()) {
        figures = "no outcome, every roll fails";
    } else {
        figures = statistics_text(d, false);
        const std::size_t kept = std::min(columns(label), kFullFiguresLabel);
        if (kept + columns(suffix) + 2 + columns(figures) > width) figures = statistics_text(d, true);
    }
    const std::size_t fixed = columns(suffix) + 2 + columns(figures);
    if (width >= fixed + std::min(kShortestLabel, columns(label))) {
        out += cut_to(label, width - fixed, ascii);
        out += suffix;
        out += ": ";
        out += figures;
        out += '\n';
        return;
    }
    out += cut_to(label, width > columns(suffix) + 1 ? width - columns(suffix) - 1 : 1, ascii);
    out += suffix;
    out += ":\n";
    // Indented lines of as many figures (parted by ", ") as fit.
    std::string line = " ";
    for (std::size_t start = 0; start < figures.size();) {
        std::size_t end = figures.find(", ", start);
        if (end == std::string::npos) end = figures.size();
        const std::string_view piece = std::string_view(figures).substr(start, end - start);
        if (line.size() > 1 && columns(line) + 2 + columns(piece) > width) {
            out += line;
            out += '\n';
            line.resize(1);  // back to the one space the indent starts with
        }
        line += line.size() > 1 ? ", " : " ";
        line += piece;
        start = end + (end < figures.size() ? 2 : 0);
    }
    out += line;
    out += '\n';
}

void append_table(std::string& out, const std::vector<Row>& rows, std::size_t width, const OddsTextOptions& options) {
    std::size_t label_width = 5;  // "value"
    double top = 0.0;
    for (const Row& r : rows) {
        label_width = std::max(label_width, r.label.size());
        top = std::max(top, r.chance);
    }
    const std::string at_least = options.ascii ? "P(>=)" : "P(\u2265)";
    constexpr std::size_t kColumn = 9;  // " 100.00%" and a space
    const std::size_t used = 2 + label_width + 2 * kColumn + 2;
    // Narrow lines give the bars what room is left; rows with labels too
    // long to leave any get a one-cell bar (and overrun the width).
    const std::size_t bar_width = width > used ? width - used : 1;
    const auto pad_left = [](std::string& line, std::string_view text, std::size_t column) {
        if (text.size() < column) line.append(column - text.size(), ' ');
        line += text;
    };
    std::string head = "  ";
    pad_left(head, "value", label_width);
    pad_left(head, "P(=)", kColumn);
    head += std::string(kColumn - 4 - (options.ascii ? 1 : 0), ' ') + at_least;  // "P(≥)" shows 4 columns
    out += head + "\n";
    for (const Row& r : rows) {
        std::string line = "  ";
        pad_left(line, r.label, label_width);
        pad_left(line, format_percent(r.chance), kColumn);
        pad_left(line, format_percent(r.at_least), kColumn);
        line += "  ";
        line += bar(top > 0.0 ? r.chance / top * static_cast<double>(bar_width) : 0.0, options.ascii);
        out += line + "\n";
    }
}

// Rows of a name and its chance, the names padded to one column.
void append_chances(std::string& out, const std::vector<Row>& rows) {
    std::size_t name_width = 0;
    for (const Row& r : rows) name_width = std::max(name_width, columns(r.label));
    for (const Row& r : rows) {
        const std::string p = format_percent(r.chance);
        out += "  " + r.label + std::string(name_width - columns(r.label), ' ');
        out += std::string(9 - std::min<std::size_t>(9, p.size()), ' ') + p + "\n";
    }
}

// Two distributions with the same outcomes and chances, bit for bit.
bool same_law(const Distribution& a, const Distribution& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Outcome& x, const Outcome& y) {
        return std::bit_cast<std::uint64_t>(x.value) == std::bit_cast<std::uint64_t>(y.value) &&
               std::bit_cast<std::uint64_t>(x.probability) == std::bit_cast<std::uint64_t>(y.probability);
    });
}

// What follows the label in a block's header: nothing for a scalar, the
// element's place in a set ("[2]"), or for a run of identical elements
// their places and number (" [1..3] ×3"), just the number for a whole set.
std::string block_suffix(const PictureBlock& block, std::size_t elements, bool is_set, bool ascii) {
    if (!is_set) return {};
    const auto [first, count] = block;
    const std::string times = std::string(ascii ? " x" : " \u00d7") + std::to_string(count);
    if (count == elements && count > 1) return times;
    std::string suffix = " [" + std::to_string(first + 1);
    if (count > 1) suffix += ".." + std::to_string(first + count);
    suffix += ']';
    if (count > 1) suffix += times;
    return suffix;
}

}  // namespace

std::string render_comparison(const Comparison& comparison, std::string_view a_label, std::string_view b_label,
                              const OddsTextOptions& options) {
    // Each label gets half of what "A = " and ", B = " leave of the line.
    const std::size_t width = std::clamp(options.width, OddsTextOptions::min_width, OddsTextOptions::max_width);
    const std::size_t room = (width - 10) / 2;
    std::string out = "A = " + cut_to(a_label, room, options.ascii) + ", B = " + cut_to(b_label, room, options.ascii) +
                      "\n";
    std::vector<Row> rows = {{"P(A > B)", comparison.greater, 0.0},
                             {"P(A = B)", comparison.equal, 0.0},
                             {"P(A < B)", comparison.less, 0.0}};
    if (comparison.failure > 0.0) rows.push_back({"P(a roll fails)", comparison.failure, 0.0});
    if (comparison.unordered > 0.0) rows.push_back({"P(NaN: no order)", comparison.unordered, 0.0});
    append_chances(out, rows);
    return out;
}

std::vector<PictureBlock> picture_blocks(const Odds& odds) {
    // A run of identical elements (a repetition's, most often) is drawn once.
    std::vector<PictureBlock> blocks;
    for (std::size_t i = 0; i < odds.elements.size(); ++i) {
        if (blocks.empty() || !same_law(odds.elements[blocks.back().first], odds.elements[i])) {
            blocks.push_back({i, 1});
        } else {
            ++blocks.back().count;
        }
    }
    return blocks;
}

std::string render_odds(const Odds& odds, std::string_view label, const OddsTextOptions& options) {
    std::string out;
    const std::size_t width = std::clamp(options.width, OddsTextOptions::min_width, OddsTextOptions::max_width);
    if (!odds.parsed) {
        constexpr std::string_view kNothing = ": nothing to roll\n";
        out += cut_to(label, width - (kNothing.size() - 1), options.ascii);
        out += kNothing;
        return out;
    }
    for (const PictureBlock& block : picture_blocks(odds)) {
        const Distribution& d = odds.elements[block.first];
        if (block.first > 0) out += "\n";
        append_header(out, label, block_suffix(block, odds.elements.size(), odds.is_set, options.ascii), d, width,
                      options.ascii);
        if (!d.empty()) append_table(out, rows_of(d, options.every_outcome), width, options);
    }
    if (!odds.errors.empty()) {
        std::vector<Row> rows;
        for (const ErrorChance& e : odds.errors) rows.push_back({e.message, e.probability, e.probability});
        out += "\nerrors:\n";
        append_chances(out, rows);
    }
    return out;
}

}  // namespace pipwerk
