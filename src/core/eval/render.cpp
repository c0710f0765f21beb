#include <string>
#include <string_view>
#include <vector>

#include "pipwerk/eval.hpp"

namespace pipwerk {
namespace {

constexpr std::string_view kSeparator = ", ";
constexpr std::string_view kJoiner = " = ";

void append_set_details(std::string& out, const EvalValue::Set& set) {
    std::size_t needed = out.size() + 2;
    for (const ScalarValue& e : set) needed += e.detail.size() + kSeparator.size();
    out.reserve(needed);
    out += '{';
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i != 0) out += kSeparator;
        out += set[i].detail;
    }
    out += '}';
}

void append_set_numbers(std::string& out, const EvalValue::Set& set) {
    // Most numbers print in a few characters; longer ones grow the text.
    out.reserve(out.size() + 2 + 4 * set.size());
    out += '{';
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i != 0) out += kSeparator;
        set[i].value.append_display(out);
    }
    out += '}';
}

}  // namespace

void EvalValue::append_detail(std::string& out) const {
    if (const ScalarValue* s = scalar()) {
        out += s->detail;
    } else {
        append_set_details(out, *set());
    }
}

void EvalValue::append_summary(std::string& out) const {
    if (const ScalarValue* s = scalar()) {
        s->value.append_display(out);
    } else {
        append_set_numbers(out, *set());
    }
}

void EvalValue::append_full(std::string& out) const {
    // A scalar without detail (a constant expression) is just its value.
    if (const ScalarValue* s = scalar(); s != nullptr && s->detail.empty()) {
        append_summary(out);
        return;
    }
    append_detail(out);
    out += kJoiner;
    append_summary(out);
}

std::string EvalValue::detail() const {
    std::string out;
    append_detail(out);
    return out;
}

std::string EvalValue::summary() const {
    std::string out;
    append_summary(out);
    return out;
}

std::string EvalValue::full() const {
    std::string out;
    // One allocation for the usual scalar: its detail, the joiner and a short number.
    if (const ScalarValue* s = scalar(); s != nullptr && !s->detail.empty()) {
        out.reserve(s->detail.size() + kJoiner.size() + 24);
    }
    append_full(out);
    return out;
}

std::vector<Number> EvalValue::values() const {
    if (const ScalarValue* s = scalar()) return {s->value};
    std::vector<Number> out;
    out.reserve(set()->size());
    for (const ScalarValue& e : *set()) out.push_back(e.value);
    return out;
}

}  // namespace pipwerk
