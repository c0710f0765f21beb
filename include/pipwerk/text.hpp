#pragma once

// The engine's rules for text, for callers that write results their own way:
// JSON as every JSON form of the engine writes it, the shortest digits of a
// number, the characters a terminal obeys, and what counts as whitespace.

#include <string>
#include <string_view>

#include "pipwerk/pipwerk.hpp"

namespace pipwerk {

// Appends text as a JSON string literal. Quotes, backslashes and the
// characters a terminal obeys or that reorder text (is_control_character)
// are escaped, as are U+2028 and U+2029 (line breaks to JavaScript), so a
// line shown raw on a terminal is inert; each ill-formed UTF-8 sequence
// becomes one U+FFFD, so any bytes give valid JSON and valid UTF-8.
void append_json_string(std::string& out, std::string_view text);

// Appends a double in the shortest form that reads back as the same value,
// always with a fraction or exponent so JSON readers see a real ("14.0");
// NaN and the infinities, which JSON cannot express, become null.
void append_json_number(std::string& out, double value);

// The keys every JSON form of a roll has, in order and without braces:
// "consumed", "tail", "summary", "detail", "full", "is_set" and "values".
void append_roll_json_fields(std::string& out, const RollOutput& roll);

// The shortest decimal digits that read back as the same finite double:
// |x| = 0.D1 D2 ... Dn x 10^point with D1 != 0 (zero gives the digit "0" and
// point 1). Each printed form of numbers lays these digits out in its own
// notation.
struct ShortestDigits {
    char digits[24];
    int count;
    int point;
    bool negative;
};
[[nodiscard]] ShortestDigits shortest_digits(double finite) noexcept;

// Characters a terminal acts on instead of showing (C0 controls, DEL, C1
// controls, CSI among them), or that reorder the text around them (the
// bidirectional marks, embeddings, overrides and isolates). Text from the
// user that is written out shows these as escapes: the JSON writer and the
// command line's echo read this one list.
[[nodiscard]] constexpr bool is_control_character(char32_t cp) noexcept {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// Trimming by the Unicode White_Space set (U+0009..U+000D, U+0020, U+0085,
// U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000),
// multi-byte UTF-8 forms included, as the parser skips it. Bytes that are
// not whitespace are never cut.
[[nodiscard]] std::string_view trim_whitespace(std::string_view text) noexcept;
[[nodiscard]] std::string_view trim_leading_whitespace(std::string_view text) noexcept;
[[nodiscard]] std::string_view trim_trailing_whitespace(std::string_view text) noexcept;

}  // namespace pipwerk
