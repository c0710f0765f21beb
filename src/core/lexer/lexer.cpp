#include "lexer/lexer.hpp"

namespace pipwerk {

std::vector<Token> Lexer::tokenize() && {
    std::vector<Token> tokens;
    for (std::size_t pos = 0;;) {
        const Token token = token_at(pos);
        tokens.push_back(token);
        if (token.kind == TokenKind::End) return tokens;
        pos = token.end;
    }
}

}  // namespace pipwerk
