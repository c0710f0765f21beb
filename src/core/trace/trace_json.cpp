#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json_writer.hpp"
#include "pipwerk/trace.hpp"

// The JSON form of a trace, written once here for every binding. The tree is
// a flat table of nodes, children named by their index, so the form is as
// shallow for a chain of 100,000 operations as for one: any JSON reader
// takes it back without recursing down the tree.

namespace pipwerk {
namespace {

template <class Int>
void append_int(std::string& out, Int value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void append_key(std::string& out, std::string_view key) {
    out += ',';
    append_json_string(out, key);
    out += ':';
}

void append_values(std::string& out, std::span<const double> values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) out += ',';
        append_json_number(out, values[i]);
    }
    out += ']';
}

void append_indices(std::string& out, const std::vector<std::size_t>& indices) {
    out += '[';
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i != 0) out += ',';
        append_int(out, indices[i]);
    }
    out += ']';
}

void append_die(std::string& out, const TraceDie& die) {
    out += "{\"value\":";
    append_int(out, die.value);
    out += die.kept ? ",\"kept\":true" : ",\"kept\":false";
    out += die.bonus ? ",\"bonus\":true" : ",\"bonus\":false";
    out += die.earned_bonus ? ",\"earned_bonus\":true" : ",\"earned_bonus\":false";
    out += !die.compared ? ",\"success\":null" : die.passes ? ",\"success\":true" : ",\"success\":false";
    out += '}';
}

void append_dice_fields(std::string& out, const TraceNode& node, std::span<const TraceDie> dice) {
    append_key(out, "count");
    append_int(out, node.count);
    append_key(out, "faces");
    append_int(out, node.faces);
    const TraceModifiers& m = node.modifiers;
    append_key(out, "bonus");
    if (m.bonus) {
        append_int(out, *m.bonus);
    } else {
        out += "null";
    }
    append_key(out, "keep");
    if (m.keep) {
        out += "{\"count\":";
        append_int(out, m.keep->count);
        out += m.keep->lowest ? ",\"lowest\":true}" : ",\"lowest\":false}";
    } else {
        out += "null";
    }
    append_key(out, "comparison");
    if (m.comparison) {
        out += "{\"op\":";
        append_json_string(out, m.comparison->op);
        out += ",\"threshold\":";
        append_int(out, m.comparison->threshold);
        out += '}';
    } else {
        out += "null";
    }
    append_key(out, "dice");
    out += '[';
    for (std::size_t i = 0; i < dice.size(); ++i) {
        if (i != 0) out += ',';
        append_die(out, dice[i]);
    }
    out += ']';
}

// The roll's keys, "seed" and "hints", each followed by a comma.
void append_head(std::string& out, const TraceOutput& trace) {
    const RollOutput& r = trace.output;
    out += "{\"consumed\":";
    append_json_string(out, r.consumed);
    append_key(out, "tail");
    append_json_string(out, r.tail);
    append_key(out, "summary");
    append_json_string(out, r.summary);
    append_key(out, "detail");
    append_json_string(out, r.detail);
    append_key(out, "full");
    append_json_string(out, r.full);
    append_key(out, "is_set");
    out += r.is_set ? "true" : "false";
    append_key(out, "values");
    append_values(out, r.values);
    append_key(out, "seed");
    append_int(out, trace.seed);
    append_key(out, "hints");
    out += '[';
    for (std::size_t i = 0; i < trace.hints.size(); ++i) {
        if (i != 0) out += ',';
        append_json_string(out, trace.hints[i]);
    }
    out += "],";
}

}  // namespace

void TraceJson::append_node(std::string& out, std::size_t i) {
    const TraceNode node = trace_.node(i);
    out += "{\"kind\":";
    append_json_string(out, kind_name(node.kind));
    append_key(out, "start");
    append_int(out, node.start);
    append_key(out, "end");
    append_int(out, node.end);
    if (node.is_set) {
        append_key(out, "values");
        append_values(out, trace_.values_of(i));
    } else {
        append_key(out, "value");
        append_json_number(out, trace_.values_of(i).front());
    }
    switch (node.kind) {
        case TraceKind::Number:
            append_key(out, "text");
            append_json_string(out, trace_.number_text(i));
            break;
        case TraceKind::Dice: append_dice_fields(out, node, trace_.dice_of(i)); break;
        case TraceKind::Negation:
            append_key(out, "operand");
            append_int(out, i - 1);
            break;
        case TraceKind::Binary:
            append_key(out, "op");
            append_json_string(out, std::string_view(&node.op, 1));
            append_key(out, "left");
            append_int(out, trace_.child(i, 0));
            append_key(out, "right");
            append_int(out, i - 1);
            break;
        case TraceKind::Repetition:
        case TraceKind::Set:
            trace_.children_of(i, children_);
            if (node.kind == TraceKind::Repetition) {
                append_key(out, "count");
                append_int(out, children_.size());
            }
            append_key(out, "elements");
            append_indices(out, children_);
            break;
    }
    out += '}';
}

bool TraceJson::append_next(std::string& out, std::size_t piece) {
    if (done_) return false;
    const std::size_t begin = out.size();
    if (!started_) {
        started_ = true;
        if (part_ == Part::Whole) append_head(out, trace_);
        out += "\"nodes\":[";
    }
    const std::size_t count = trace_.node_count();
    for (; next_node_ < count && out.size() - begin < piece; ++next_node_) {
        if (next_node_ != 0) out += ',';
        append_node(out, next_node_);
    }
    if (next_node_ == count) {
        out += "],\"root\":";
        if (trace_.has_tree()) {
            append_int(out, trace_.root());
        } else {
            out += "null";
        }
        if (part_ == Part::Whole) out += '}';
        done_ = true;
    }
    return true;
}

std::size_t TraceJson::least_size() const noexcept {
    // Each kind's node and each die as short as they can be written: every
    // number one digit, every text and list empty, with the comma before it.
    constexpr auto length = [](std::string_view shortest) { return shortest.size() + 1; };
    constexpr std::size_t kShortest[] = {
        length(R"({"kind":"number","start":0,"end":0,"value":0.0,"text":""})"),
        length(R"({"kind":"dice","start":0,"end":0,"value":0.0,"count":0,"faces":0,"bonus":0,"keep":null,)"
               R"("comparison":null,"dice":[]})"),
        length(R"({"kind":"negation","start":0,"end":0,"value":0.0,"operand":0})"),
        length(R"({"kind":"binary","start":0,"end":0,"value":0.0,"op":"+","left":0,"right":0})"),
        length(R"({"kind":"set","start":0,"end":0,"values":[],"elements":[]})"),
        length(R"({"kind":"repetition","start":0,"end":0,"values":[],"count":0,"elements":[]})"),
    };
    constexpr std::size_t kShortestDie = length(R"({"value":0,"kept":true,"bonus":true,"earned_bonus":true,"success":true})");
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < trace_.node_count(); ++i) {
        bytes += kShortest[static_cast<std::size_t>(trace_.kind(i))] + kShortestDie * trace_.dice_of(i).size();
    }
    return bytes;
}

void append_trace_json(std::string& out, const TraceOutput& trace) {
    TraceJson json(trace, TraceJson::Part::Whole);
    while (json.append_next(out, static_cast<std::size_t>(-1))) {
    }
}

}  // namespace pipwerk
