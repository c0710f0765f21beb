#include "line_format.hpp"

#include "pipwerk/text.hpp"

namespace pipwerk::cli {
namespace {

[[nodiscard]] constexpr std::string_view bool_text(bool value) noexcept { return value ? "true" : "false"; }

void open_object(std::string& out, std::string_view expression) {
    out += "{\"expression\":";
    append_json_string(out, expression);
}

}  // namespace

void append_roll_json(std::string& out, std::string_view expression, const RollOutput& roll, std::uint64_t seed,
                      bool end_line) {
    open_object(out, expression);
    out += ',';
    append_roll_json_fields(out, roll);
    out += ",\"seed\":";
    out += std::to_string(seed);
    if (end_line) close_object(out);
}

void close_object(std::string& out) { out += "}\n"; }

void append_error_json(std::string& out, std::string_view expression, std::string_view message) {
    open_object(out, expression);
    out += ",\"error\":";
    append_json_string(out, message);
    out += "}\n";
}

void append_parse_text(std::string& out, bool success, std::string_view consumed, std::string_view tail) {
    out += "success=";
    out += bool_text(success);
    out += " consumed=";
    append_json_string(out, consumed);
    out += " tail=";
    append_json_string(out, tail);
    out += '\n';
}

void append_parse_json(std::string& out, std::string_view expression, bool success, std::string_view consumed,
                       std::string_view tail) {
    open_object(out, expression);
    out += ",\"success\":";
    out += bool_text(success);
    out += ",\"consumed\":";
    append_json_string(out, consumed);
    out += ",\"tail\":";
    append_json_string(out, tail);
    out += "}\n";
}

}  // namespace pipwerk::cli
