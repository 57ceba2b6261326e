#include "loader/lexed_text.h"

#include "loader/input_text.h"
#include "loader/quick_lexer.h"
#include "types/zarn_exceptions.h"

namespace Zarn {

void LexedText::Recorder::syntaxError(antlr4::Recognizer*, antlr4::Token*, size_t line, size_t charPositionInLine,
                                      const std::string& msg, std::exception_ptr e)
{
    owner.reports.push_back(Report{owner.tokens.size(), line, charPositionInLine, msg, e});
}

LexedText::LexedText(antlr4::CharStream* input, const std::string& sourceName) : textLexer(input)
{
    if (!lexQuickly(*input, textLexer, tokens)) {
        tokens.clear();
        Recorder recorder(*this);
        textLexer.removeErrorListeners();
        textLexer.addErrorListener(&recorder);
        do
            tokens.push_back(textLexer.nextToken());
        while (tokens.back()->getType() != antlr4::Token::EOF);
        textLexer.removeErrorListeners();
        textLexer.addErrorListener(&antlr4::ConsoleErrorListener::INSTANCE);
    }
    std::size_t depth = 0;
    for (const auto& token : tokens) {
        const std::size_t type = token->getType();
        if (type == CommonLexer::LBRACE || type == CommonLexer::LSQUARE) {
            if (++depth > maxNestingDepth)
                throw ZarnException("Unable to read " + sourceName + ": blocks and lists are nested deeper than " +
                                    std::to_string(maxNestingDepth) + " levels.");
        } else if ((type == CommonLexer::RBRACE || type == CommonLexer::RSQUARE) && depth > 0) {
            --depth;
        }
    }
}

std::unique_ptr<antlr4::Token> LexedText::nextToken()
{
    while (nextReport < reports.size() && reports[nextReport].before <= nextTokenIndex) {
        const Report& report = reports[nextReport++];
        textLexer.getErrorListenerDispatch().syntaxError(&textLexer, nullptr, report.line, report.column,
                                                         report.message, report.error);
    }
    // The token stream stops asking after EOF; the lexer at its end would
    // only give EOF again.
    if (nextTokenIndex >= tokens.size())
        return textLexer.nextToken();
    return std::move(tokens[nextTokenIndex++]);
}

}  // namespace Zarn
