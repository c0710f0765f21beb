#pragma once

#include <cstddef>
#include <string_view>

#include "small_vector.hpp"

namespace pipwerk {

// A growing text whose first 256 bytes live inside the object: the detail
// and summary of a typical roll are written without touching the heap.
class TextBuffer {
public:
    [[nodiscard]] std::size_t size() const noexcept { return chars_.size(); }
    [[nodiscard]] std::size_t capacity() const noexcept { return chars_.capacity(); }
    [[nodiscard]] bool empty() const noexcept { return chars_.empty(); }
    [[nodiscard]] std::string_view view() const noexcept { return {chars_.data(), chars_.size()}; }

    TextBuffer& operator+=(char c) {
        chars_.push_back(c);
        return *this;
    }
    TextBuffer& operator+=(std::string_view text) {
        chars_.append(text.data(), text.size());
        return *this;
    }
    void append(std::size_t count, char c) {
        for (; count > 0; --count) chars_.push_back(c);
    }
    // Appends what write(char* at) writes at `at`, at most `max` bytes; it
    // returns the end of what it wrote. No copy through a scratch buffer.
    template <class Write>
    void write(std::size_t max, Write write) {
        const std::size_t before = chars_.size();
        char* at = chars_.extend(max);
        const char* end = write(at);
        chars_.truncate(before + static_cast<std::size_t>(end - at));
    }
    // Drops everything from byte n on; n is at most size().
    void truncate(std::size_t n) noexcept { chars_.truncate(n); }
    void reserve(std::size_t n) { chars_.reserve(n); }

private:
    SmallVector<char, 256> chars_;
};

}  // namespace pipwerk
