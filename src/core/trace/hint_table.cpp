#include <array>
#include <string_view>
#include <vector>

#include "pipwerk/trace.hpp"

// The hint table: notation other dice rollers use, and what pipwerk reads
// instead. A hint is given only where pipwerk has an exact equivalent, or
// says plainly that it has none. The notation is matched, without regard to
// case, at the start of a tail, after spaces and one operator sign ("+4dF");
// a count may come first where the notation is a whole term ("4dF", "d%").
// It must not run on into a letter, so "khaki" or "rabbit" get no hint.

namespace pipwerk {
namespace {

enum class After : unsigned char {
    NotLetter,  // anything but a letter, or the end
    Number,     // a digit or a comparison sign: "r1", "ro<3"
};

struct Hint {
    std::string_view notation;
    bool counted;  // may follow a count: "4dF"
    After after;
    std::string_view text;
};

// First match wins, so longer notation comes before its prefixes.
constexpr std::array kHints = {
    Hint{"kh", false, After::NotLetter, "k already keeps the highest"},
    Hint{"dl", false, After::NotLetter, "drop N is keep count-N: 4d6dl1 is 4d6k3"},
    Hint{"dh", false, After::NotLetter, "drop N highest is keep lowest count-N: 4d6dh1 is 4d6kl3"},
    Hint{"d%", true, After::NotLetter, "d% is d100"},
    Hint{"df", true, After::NotLetter, "NdF has the same distribution as Nd3-2N: 4dF is 4d3-8"},
    Hint{"!!", false, After::NotLetter, "no equivalent: compounding dice are not part of the language"},
    Hint{"!", false, After::NotLetter,
         "bF adds a die for each die showing F, up to the pool cap of 50 dice: 3d6! is 3d6b6"},
    Hint{"adv", false, After::NotLetter, "2d20k1 rolls with advantage"},
    Hint{"advantage", false, After::NotLetter, "2d20k1 rolls with advantage"},
    Hint{"dis", false, After::NotLetter, "2d20kl1 rolls with disadvantage"},
    Hint{"disadvantage", false, After::NotLetter, "2d20kl1 rolls with disadvantage"},
    Hint{"ro", false, After::Number, "no equivalent: rerolls are not part of the language"},
    Hint{"r", false, After::Number, "no equivalent: rerolls are not part of the language"},
};

constexpr bool is_letter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
constexpr char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view skip_spaces(std::string_view s) noexcept {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

bool starts_with_folded(std::string_view s, std::string_view prefix) noexcept {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(s[i]) != prefix[i]) return false;
    }
    return true;
}

bool follows(std::string_view rest, After after) noexcept {
    if (after == After::NotLetter) return rest.empty() || !is_letter(rest.front());
    if (rest.empty()) return false;
    const char c = rest.front();
    return is_digit(c) || c == '<' || c == '>' || c == '=';
}

bool matches(std::string_view s, const Hint& hint) noexcept {
    if (hint.counted) {
        while (!s.empty() && is_digit(s.front())) s.remove_prefix(1);
    }
    if (!starts_with_folded(s, hint.notation)) return false;
    return follows(s.substr(hint.notation.size()), hint.after);
}

}  // namespace

std::vector<std::string_view> hints_for(std::string_view tail) {
    std::string_view s = skip_spaces(tail);
    if (s.empty()) return {};
    if (!s.empty() && std::string_view("+-*/").find(s.front()) != std::string_view::npos) {
        s = skip_spaces(s.substr(1));
    }
    for (const Hint& hint : kHints) {
        if (matches(s, hint)) return {hint.text};
    }
    return {};
}

}  // namespace pipwerk
