#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pipwerk/text.hpp"
#include "pipwerk/trace.hpp"

namespace pipwerk::detail {

// Writes the fields that visit_roll, visit_node and visit_fields give as the
// members of a JSON object, each after a comma but the object's first: the
// one place the JSON forms spell a field's value.
class JsonFields {
public:
    // `first`: the next field opens its object, so no comma goes before it.
    explicit JsonFields(std::string& out, bool first = true) noexcept : out_(out), first_(first) {}

    template <class Value>
    void operator()(std::string_view name, const Value& value) {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += name;  // names are plain ASCII
        out_ += "\":";
        append_value(out_, value);
    }

    static void append_value(std::string& out, std::string_view text) { append_json_string(out, text); }
    static void append_value(std::string& out, bool value) { out += value ? "true" : "false"; }
    static void append_value(std::string& out, double value) { append_json_number(out, value); }
    template <std::integral Int>
        requires(!std::same_as<Int, bool>)
    static void append_value(std::string& out, Int value) {
        append_int(out, value);
    }
    static void append_value(std::string& out, TraceChild child) { append_int(out, child.index); }
    template <class T>
    static void append_value(std::string& out, const std::optional<T>& value) {
        if (value) {
            append_value(out, *value);
        } else {
            out += "null";
        }
    }
    template <class T>
    static void append_value(std::string& out, std::span<const T> items) {
        out += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i != 0) out += ',';
            append_value(out, items[i]);
        }
        out += ']';
    }
    static void append_value(std::string& out, TraceChildren children) { append_value(out, children.indices); }
    // A die, a keep or a comparison: an object of its own fields.
    template <class Object>
        requires requires(const Object& o, JsonFields& f) { visit_fields(o, f); }
    static void append_value(std::string& out, const Object& object) {
        out += '{';
        JsonFields fields(out);
        visit_fields(object, fields);
        out += '}';
    }

    template <class Int>
    static void append_int(std::string& out, Int value) {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }

private:
    std::string& out_;
    bool first_;
};

}  // namespace pipwerk::detail
