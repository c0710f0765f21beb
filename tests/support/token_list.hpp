#pragma once

// Every token of a text, End included: the parser reads tokens one at a
// time (Lexer::token_at); tests look at the whole list.

#include <cstddef>
#include <string_view>
#include <vector>

#include "lexer/lexer.hpp"

namespace pipwerk {

[[nodiscard]] inline std::vector<Token> tokenize(std::string_view text) {
    const Lexer lexer(text);
    std::vector<Token> tokens;
    for (std::size_t pos = 0;;) {
        const Token token = lexer.token_at(pos);
        tokens.push_back(token);
        if (token.kind == TokenKind::End) return tokens;
        pos = token.end;
    }
}

}  // namespace pipwerk
