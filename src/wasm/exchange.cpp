#include "exchange.hpp"

#include <algorithm>
#include <vector>

namespace pipwerk::wasm {
namespace {

Exchange record{};
std::vector<char> input_buffer;
std::string failure;

}  // namespace

Exchange& exchange() noexcept { return record; }

std::string_view input(std::uint32_t length) noexcept {
    return {input_buffer.data(), std::min<std::size_t>(length, input_buffer.size())};
}

void set_span(Word pointer, Word length, std::string_view text) noexcept {
    record.words[pointer] = address(text.data());
    record.words[length] = static_cast<std::uint32_t>(text.size());
}

void set_text(std::string_view text) noexcept { set_span(kTextPtr, kTextLen, text); }

std::int32_t fail(Status status, std::string message) noexcept {
    failure = std::move(message);
    set_text(failure);
    return status;
}

void set_doubles(const double* data, std::size_t count) noexcept {
    record.words[kValuesPtr] = address(data);
    record.words[kValuesLen] = static_cast<std::uint32_t>(count);
}

}  // namespace pipwerk::wasm

using namespace pipwerk::wasm;

// Room for an expression of `length` UTF-8 bytes; JavaScript writes it there.
PIPWERK_EXPORT("pw_input") std::uint32_t pw_input(std::uint32_t length) {
    if (input_buffer.size() < length) input_buffer.resize(length);
    return address(input_buffer.data());
}

PIPWERK_EXPORT("pw_exchange") std::uint32_t pw_exchange() { return address(&exchange()); }
