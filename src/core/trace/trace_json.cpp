#include <span>
#include <string>
#include <string_view>

#include "json_fields.hpp"
#include "pipwerk/trace.hpp"

// The JSON form of a trace, written once here for every binding. The tree is
// a flat table of nodes, children named by their index, so the form is as
// shallow for a chain of 100,000 operations as for one: any JSON reader
// takes it back without recursing down the tree.

namespace pipwerk {
namespace {

// The roll's keys, "seed" and "hints", each followed by a comma.
void append_head(std::string& out, const TraceOutput& trace) {
    out += '{';
    detail::JsonFields fields(out);
    visit_roll(trace.output, fields);
    fields("seed", trace.seed);
    fields("hints", std::span<const std::string>(trace.hints));
    out += ',';
}

}  // namespace

void TraceJson::append_node(std::string& out, std::size_t i) {
    out += '{';
    visit_node(trace_, i, children_, detail::JsonFields(out));
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
            detail::JsonFields::append_int(out, trace_.root());
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
