#pragma once

#include <string_view>
#include <vector>

#include "pipwerk/lexer/token.hpp"

namespace pipwerk {

// Turns a scanned prefix into tokens, skipping spaces and stopping at the
// first character it does not know; the list always ends with one End token.
class Lexer {
public:
    explicit Lexer(std::string_view text) noexcept : text_(text) {}

    [[nodiscard]] std::vector<Token> tokenize() &&;

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace pipwerk
