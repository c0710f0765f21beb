#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json_writer.hpp"
#include "pipwerk/trace.hpp"

// The JSON form of a trace, written once here for every binding. A chain of
// operations nests as deep as it is long, so the tree is written from an
// explicit list of what is still to come rather than by recursion.

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

void append_die(std::string& out, const TraceDie& die) {
    out += "{\"value\":";
    append_int(out, die.value);
    out += die.kept ? ",\"kept\":true" : ",\"kept\":false";
    out += die.bonus ? ",\"bonus\":true" : ",\"bonus\":false";
    out += die.earned_bonus ? ",\"earned_bonus\":true" : ",\"earned_bonus\":false";
    out += !die.success ? ",\"success\":null" : *die.success ? ",\"success\":true" : ",\"success\":false";
    out += '}';
}

void append_dice_fields(std::string& out, const TraceOutput& trace, const TraceNode& node) {
    append_key(out, "count");
    append_int(out, node.count);
    append_key(out, "faces");
    append_int(out, node.faces);
    append_key(out, "bonus");
    if (node.bonus) {
        append_int(out, *node.bonus);
    } else {
        out += "null";
    }
    append_key(out, "keep");
    if (node.keep) {
        out += "{\"count\":";
        append_int(out, node.keep->count);
        out += node.keep->lowest ? ",\"lowest\":true}" : ",\"lowest\":false}";
    } else {
        out += "null";
    }
    append_key(out, "comparison");
    if (node.comparison) {
        out += "{\"op\":";
        append_json_string(out, node.comparison->op);
        out += ",\"threshold\":";
        append_int(out, node.comparison->threshold);
        out += '}';
    } else {
        out += "null";
    }
    append_key(out, "dice");
    out += '[';
    const auto dice = trace.dice_of(node);
    for (std::size_t i = 0; i < dice.size(); ++i) {
        if (i != 0) out += ',';
        append_die(out, dice[i]);
    }
    out += ']';
}

// What is still to be written: a node, or a fixed piece of text.
struct Pending {
    std::size_t node;
    std::string_view text;  // written instead of the node when not empty
};

// The node's own fields, with its children pushed (last first) to be written
// after them.
void open_node(std::string& out, const TraceOutput& trace, std::size_t index, std::vector<Pending>& todo) {
    const TraceNode& node = trace.nodes[index];
    out += "{\"kind\":";
    append_json_string(out, kind_name(node.kind));
    append_key(out, "start");
    append_int(out, node.start);
    append_key(out, "end");
    append_int(out, node.end);
    if (node.is_set) {
        append_key(out, "values");
        append_values(out, trace.values_of(node));
    } else {
        append_key(out, "value");
        append_json_number(out, trace.values_of(node).front());
    }
    const auto children = trace.children_of(node);
    todo.push_back({0, "}"});
    switch (node.kind) {
        case TraceKind::Number:
            append_key(out, "text");
            append_json_string(out, node.text);
            break;
        case TraceKind::Dice: append_dice_fields(out, trace, node); break;
        case TraceKind::Negation:
            append_key(out, "operand");
            todo.push_back({children[0], {}});
            break;
        case TraceKind::Binary:
            append_key(out, "op");
            append_json_string(out, std::string_view(&node.op, 1));
            append_key(out, "left");
            todo.push_back({children[1], {}});
            todo.push_back({0, ",\"right\":"});
            todo.push_back({children[0], {}});
            break;
        case TraceKind::Repetition:
        case TraceKind::Set:
            if (node.kind == TraceKind::Repetition) {
                append_key(out, "count");
                append_int(out, children.size());
            }
            append_key(out, "elements");
            out += '[';
            todo.push_back({0, "]"});
            for (std::size_t i = children.size(); i-- > 0;) {
                todo.push_back({children[i], {}});
                if (i != 0) todo.push_back({0, ","});
            }
            break;
    }
}

}  // namespace

void append_trace_tree_json(std::string& out, const TraceOutput& trace) {
    if (!trace.has_tree()) {
        out += "null";
        return;
    }
    std::vector<Pending> todo{{trace.nodes.size() - 1, {}}};
    while (!todo.empty()) {
        const Pending next = todo.back();
        todo.pop_back();
        if (next.text.empty()) {
            open_node(out, trace, next.node, todo);
        } else {
            out += next.text;
        }
    }
}

void append_trace_json(std::string& out, const TraceOutput& trace) {
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
    out += ']';
    append_key(out, "tree");
    append_trace_tree_json(out, trace);
    out += '}';
}

}  // namespace pipwerk
