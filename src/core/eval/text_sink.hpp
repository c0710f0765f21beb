#pragma once

// The texts the evaluator writes detail into: a std::string (a value's own
// text), a TextBuffer (the roll pipeline's record, short texts inline),
// NoText, which drops everything, for an evaluation of the numbers alone,
// and RawText, room already taken in one of the others (see write_text).

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "text_buffer.hpp"

namespace pipwerk::detail {

struct NoText {
    [[nodiscard]] static constexpr std::size_t size() noexcept { return 0; }
    constexpr NoText& operator+=(char) noexcept { return *this; }
    constexpr NoText& operator+=(std::string_view) noexcept { return *this; }
    constexpr void append(std::size_t, char) noexcept {}
};

struct RawText {
    char* at;
    RawText& operator+=(char c) noexcept {
        *at++ = c;
        return *this;
    }
    RawText& operator+=(std::string_view text) noexcept {
        if (!text.empty()) std::memcpy(at, text.data(), text.size());
        at += text.size();
        return *this;
    }
};

template <class Text>
inline constexpr bool writes_text = !std::is_same_v<Text, NoText>;

inline void truncate(TextBuffer& text, std::size_t size) noexcept { text.truncate(size); }
inline void truncate(std::string& text, std::size_t size) { text.resize(size); }
constexpr void truncate(NoText&, std::size_t) noexcept {}

// Appends what write(char* at) writes at `at`, at most `max` bytes, in place.
template <class Write>
void write_text(TextBuffer& text, std::size_t max, Write write) {
    text.write(max, write);
}
template <class Write>
void write_text(std::string& text, std::size_t max, Write write) {
    const std::size_t before = text.size();
    if (before + max > text.capacity() && max <= 64) {
        // A short piece that might not fit: through the stack, so the string
        // grows by what is written rather than by the bound.
        char piece[64];
        text.append(piece, write(piece));
        return;
    }
    text.resize_and_overwrite(before + max, [&](char* data, std::size_t) {
        return before + static_cast<std::size_t>(write(data + before) - (data + before));
    });
}
template <class Write>
constexpr void write_text(NoText&, std::size_t, Write) noexcept {}

inline void reserve_more(TextBuffer& text, std::size_t more) { text.reserve(text.size() + more); }
inline void reserve_more(std::string& text, std::size_t more) { text.reserve(text.size() + more); }
constexpr void reserve_more(NoText&, std::size_t) noexcept {}

}  // namespace pipwerk::detail
