#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pipwerk/pipwerk.hpp"

namespace pipwerk::cli {

// Each function appends one output line, line feed included.

// Every JSON object starts with "expression", the input line or argument
// it answers, so a reader can pair them without counting lines.

// {"expression":...,"consumed":...,"tail":...,"summary":...,"detail":...,"full":...,"is_set":...,"values":[...],
//  "seed":N} with the seed that replays the roll. Without `end_line` the
// object is left open after the seed, for more fields and close_object.
void append_roll_json(std::string& out, std::string_view expression, const RollOutput& roll, std::uint64_t seed,
                      bool end_line = true);
// Closes an object left open, and its line.
void close_object(std::string& out);
// {"expression":"1/0","error":"division by zero"}
void append_error_json(std::string& out, std::string_view expression, std::string_view message);
// success=true consumed="d20" tail="+ (d4+ test" (texts quoted as JSON strings)
void append_parse_text(std::string& out, bool success, std::string_view consumed, std::string_view tail);
// {"expression":"d20 + (d4+ test","success":true,"consumed":"d20","tail":"+ (d4+ test"}
void append_parse_json(std::string& out, std::string_view expression, bool success, std::string_view consumed,
                       std::string_view tail);

}  // namespace pipwerk::cli
