#pragma once

#include <string>
#include <string_view>

namespace pipwerk {

// Appends text as a JSON string literal. Quotes, backslashes and the
// characters a terminal obeys or that reorder text (control_characters.hpp:
// C0, DEL, C1, bidirectional controls) are escaped, as are U+2028 and U+2029
// (line breaks to JavaScript), so a line shown raw on a terminal is inert;
// each ill-formed UTF-8 sequence becomes one U+FFFD, so any bytes give valid
// JSON and valid UTF-8.
void append_json_string(std::string& out, std::string_view text);

// Appends a double in the shortest form that reads back as the same value,
// always with a fraction or exponent so JSON readers see a real ("14.0");
// NaN and the infinities, which JSON cannot express, become null.
void append_json_number(std::string& out, double value);

}  // namespace pipwerk
