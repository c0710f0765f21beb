// The picture of odds: which elements share a block, and that every header
// stays within the width it is given.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "pipwerk/odds.hpp"

namespace {

using pipwerk::Distribution;
using pipwerk::Odds;

const Distribution kD6 = {{1, 1 / 6.0}, {2, 1 / 6.0}, {3, 1 / 6.0}, {4, 1 / 6.0}, {5, 1 / 6.0}, {6, 1 / 6.0}};
const Distribution kCoin = {{0, 0.5}, {1, 0.5}};
// The same values as kCoin with chances one bit apart.
const Distribution kBentCoin = {{0, std::nextafter(0.5, 1.0)}, {1, std::nextafter(0.5, 0.0)}};
const Distribution kNan = {{std::numeric_limits<double>::quiet_NaN(), 1.0}};

Odds set_of(std::vector<Distribution> elements) {
    return Odds{.consumed = "x", .tail = "", .parsed = true, .is_set = true, .elements = std::move(elements), .errors = {}};
}

std::vector<std::pair<std::size_t, std::size_t>> blocks_of(const Odds& odds) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    for (const auto& [first, count] : pipwerk::picture_blocks(odds)) out.emplace_back(first, count);
    return out;
}

TEST(PictureBlocks, RunsOfIdenticalElementsShareOneBlock) {
    struct Case {
        std::vector<Distribution> elements;
        std::vector<std::pair<std::size_t, std::size_t>> blocks;
    };
    const Case cases[] = {
        {{kD6}, {{0, 1}}},
        {{kD6, kD6, kD6}, {{0, 3}}},
        {{kD6, kCoin, kD6}, {{0, 1}, {1, 1}, {2, 1}}},  // only neighbours join
        {{kCoin, kCoin, kD6, kD6}, {{0, 2}, {2, 2}}},
        {{kCoin, kBentCoin}, {{0, 1}, {1, 1}}},  // a chance one bit off is another law
        {{kNan, kNan}, {{0, 2}}},                 // a NaN outcome matches a NaN outcome
        {{Distribution{}, Distribution{}, kCoin}, {{0, 2}, {2, 1}}},
        {{}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(blocks_of(set_of(c.elements)), c.blocks);
}

// Lines of a picture that are headers: every one not in the table.
std::vector<std::string> headers_of(const std::string& picture) {
    std::vector<std::string> headers;
    std::size_t start = 0;
    while (start < picture.size()) {
        const std::size_t end = picture.find('\n', start);
        const std::string line = picture.substr(start, end - start);
        if (!line.empty() && line.find('%') == std::string::npos && line.find("value") == std::string::npos &&
            line != "errors:") {
            headers.push_back(line);
        }
        start = end + 1;
    }
    return headers;
}

std::size_t columns(const std::string& text) {
    std::size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

TEST(PictureHeader, FitsEveryWidthFromTheNarrowest) {
    const Distribution wide = {{-123456.5, 0.25}, {0, 0.25}, {999999.25, 0.5}};
    const std::string labels[] = {"2d6", "3#4d6k3", std::string(30, 'x'), std::string(200, 'y'), "\u00e9\u00e9\u00e9"};
    for (const std::string& label : labels) {
        for (const auto& elements : {std::vector<Distribution>{kD6}, std::vector<Distribution>{wide, wide, kCoin}}) {
            Odds odds = set_of(elements);
            odds.is_set = elements.size() > 1;
            for (std::size_t width = pipwerk::OddsTextOptions::min_width; width <= 120; width += 7) {
                for (const bool ascii : {false, true}) {
                    const std::string picture = pipwerk::render_odds(odds, label, {.width = width, .ascii = ascii});
                    for (const std::string& header : headers_of(picture)) {
                        EXPECT_LE(columns(header), width) << label << " at " << width << ": " << header;
                    }
                }
            }
        }
    }
}

TEST(PictureHeader, NothingToRollFitsTheWidthToo) {
    const Odds nothing{.consumed = "", .tail = "", .parsed = false, .is_set = false, .elements = {}, .errors = {}};
    for (const std::string& label : {std::string("abc"), std::string(100, 'z'), std::string(60, '\xff')}) {
        for (std::size_t width = pipwerk::OddsTextOptions::min_width; width <= 90; width += 10) {
            const std::string picture = pipwerk::render_odds(nothing, label, {.width = width, .ascii = true});
            EXPECT_TRUE(picture.ends_with(": nothing to roll\n")) << picture;
            EXPECT_LE(columns(picture) - 1, width) << picture;
        }
    }
}

TEST(PictureHeader, NarrowerThanTheNarrowestIsDrawnAtIt) {
    const Odds odds = set_of({kD6});
    EXPECT_EQ(pipwerk::render_odds(odds, "1d6", {.width = 5}),
              pipwerk::render_odds(odds, "1d6", {.width = pipwerk::OddsTextOptions::min_width}));
    EXPECT_EQ(pipwerk::render_odds(odds, "1d6", {.width = 100000}),
              pipwerk::render_odds(odds, "1d6", {.width = pipwerk::OddsTextOptions::max_width}));
}

TEST(PictureRows, EveryOutcomeListsOneRowPerValue) {
    Distribution many;
    for (int v = 0; v < 500; ++v) many.push_back({static_cast<double>(v), 1 / 500.0});
    const Odds odds = set_of({many});
    const auto rows = [&](bool every) {
        const std::string picture = pipwerk::render_odds(odds, "d", {.every_outcome = every});
        std::size_t n = 0;
        for (std::size_t at = picture.find('%'); at != std::string::npos; at = picture.find('\n', at)) {
            ++n;
            at = picture.find('%', picture.find('\n', at));
        }
        return n;
    };
    EXPECT_EQ(rows(true), many.size());
    EXPECT_LT(rows(false), 45u);
}

TEST(ComparisonPicture, FailureAndNanRowsOnlyWhenTheyCanHappen) {
    struct Case {
        pipwerk::Comparison comparison;
        bool fails;
        bool unordered;
    };
    const Case cases[] = {
        {{.greater = 0.5, .equal = 0.25, .less = 0.25, .failure = 0, .unordered = 0}, false, false},
        {{.greater = 0.25, .equal = 0.25, .less = 0, .failure = 0.5, .unordered = 0}, true, false},
        {{.greater = 0, .equal = 0, .less = 0.5, .failure = 0, .unordered = 0.5}, false, true},
    };
    for (const Case& c : cases) {
        const std::string text = pipwerk::render_comparison(c.comparison, "A", "B");
        EXPECT_EQ(text.find("P(a roll fails)") != std::string::npos, c.fails) << text;
        EXPECT_EQ(text.find("NaN") != std::string::npos, c.unordered) << text;
        EXPECT_NE(text.find("P(A > B)"), std::string::npos);
        EXPECT_NE(text.find("P(A < B)"), std::string::npos);
    }
}

}  // namespace
