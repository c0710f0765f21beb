#include "lexer/scanner.hpp"

#include <array>

#include "small_vector.hpp"

namespace pipwerk {
namespace {

ScanResult cut_at(std::string_view input, std::size_t cut) noexcept {
    return ScanResult{input.substr(0, cut), input.substr(cut), cut};
}

// The bytes the scanner acts on; every other byte is skipped in a tight loop.
constexpr std::array<bool, 256> kActive = [] {
    std::array<bool, 256> active{};
    for (const char c : std::string_view("(){},\n")) active[static_cast<unsigned char>(c)] = true;
    return active;
}();

}  // namespace

ScanResult scan(std::string_view input) {
    // Open brackets, innermost last. Only the bottom entry's offset is ever
    // needed (the cut for brackets left open), so the stack holds just the
    // characters; shallow nesting stays inline.
    SmallVector<char, 32> open;
    std::size_t bottom_offset = 0;
    std::size_t brace_depth = 0;

    const std::size_t n = input.size();
    for (std::size_t i = 0; i < n; ++i) {
        while (!kActive[static_cast<unsigned char>(input[i])]) {
            if (++i == n) return cut_at(input, open.empty() ? n : bottom_offset);
        }
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
            default:  // '\n'
                return cut_at(input, i);
        }
    }
    // Keep the earliest bracket that is never closed so the rest starts there.
    return cut_at(input, open.empty() ? n : bottom_offset);
}

}  // namespace pipwerk
