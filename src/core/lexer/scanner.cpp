#include "pipwerk/lexer/scanner.hpp"

#include <string>

namespace pipwerk {
namespace {

ScanResult cut_at(std::string_view input, std::size_t cut) noexcept {
    return ScanResult{input.substr(0, cut), input.substr(cut), cut};
}

}  // namespace

ScanResult scan(std::string_view input) {
    // Open brackets, innermost last. Only the bottom entry's offset is ever
    // needed (the cut for brackets left open), so the stack holds just the
    // characters; shallow nesting fits the string's inline buffer.
    std::string open;
    std::size_t bottom_offset = 0;
    std::size_t brace_depth = 0;

    for (std::size_t i = 0; i < input.size(); ++i) {
        switch (input[i]) {
            case '(':
            case '{':
                if (open.empty()) bottom_offset = i;
                open.push_back(input[i]);
                if (input[i] == '{') ++brace_depth;
                break;
            case ')':
                if (open.empty() || open.back() != '(') return cut_at(input, i);
                open.pop_back();
                break;
            case '}':
                if (open.empty() || open.back() != '{') return cut_at(input, i);
                open.pop_back();
                --brace_depth;
                break;
            case ',':
                if (brace_depth == 0) return cut_at(input, i);
                break;
            case '\n':
                return cut_at(input, i);
            default:
                break;
        }
    }
    // Keep the earliest bracket that is never closed so the rest starts there.
    return cut_at(input, open.empty() ? input.size() : bottom_offset);
}

}  // namespace pipwerk
