// A hand-written lexer for the common case: text that lexes without any
// error. It gives exactly the tokens of the grammar's lexer at a small part
// of its cost, and gives up at anything unusual so the grammar's lexer can
// take over and report it.
#pragma once

#include <memory>
#include <vector>

#include "antlr4-runtime.h"
#include "parser/CommonLexer.h"

namespace Zarn {

class InputText;

// The same one token at a time, from the input's start.
class QuickLexer {
public:
    QuickLexer(antlr4::CharStream& input, CommonLexer& lexer);
    // The next token (EOF at the end, again and again); false where the
    // grammar's lexer must decide, and then for good.
    bool next(std::unique_ptr<antlr4::Token>& token);

private:
    antlr4::CharStream& input;
    CommonLexer& lexer;
    const InputText* decoded;  // null for another kind of stream
    std::size_t line = 1;
    std::size_t column = 0;
    bool failed = false;
};

// Lexes the whole input from its start, making the tokens through the
// lexer's token factory with the lexer as their source, as the lexer itself
// would (the EOF token last). False, with the input back at its start and
// `tokens` unspecified, where the text holds anything the grammar's lexer
// would report or would lex by falling back on a shorter token.
bool lexQuickly(antlr4::CharStream& input, CommonLexer& lexer, std::vector<std::unique_ptr<antlr4::Token>>& tokens);

}  // namespace Zarn
