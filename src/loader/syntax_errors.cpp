#include "loader/syntax_errors.h"

#include <iostream>

#include "types/quoted_bytes.h"

std::string QuotingLexer::getErrorDisplay(const std::string& text)
{
    return Zarn::quotedBytes(text);
}

std::string QuotingErrorStrategy::escapeWSAndQuote(const std::string& text) const
{
    return "'" + Zarn::quotedBytes(text) + "'";
}

void ZarnErrorCounter::syntaxError(antlr4::Recognizer*, antlr4::Token*, size_t line, size_t charPositionInLine,
                                   const std::string& msg, std::exception_ptr)
{
    ++errors;
    if (quiet)
        return;
    std::cerr << (name ? name : "") << ": line " << line << ":" << charPositionInLine << " " << msg << "\n";
    std::cerr.flush();
}

void ThrowingErrorListener::syntaxError(antlr4::Recognizer*, antlr4::Token* offendingSymbol, size_t line,
                                        size_t charPositionInLine, const std::string& msg, std::exception_ptr)
{
    std::string text =
        sourcePath.string() + "(" + std::to_string(line) + "," + std::to_string(charPositionInLine) + "): ";
    // Lexer errors have no token; the parser's message repeats the token anyway.
    if (offendingSymbol)
        text += "'" + Zarn::quotedBytes(offendingSymbol->getText()) + "' ";
    text += msg;
    messages.push_back(std::move(text));
}

void replaceErrorListeners(antlr4::Recognizer& recognizer, antlr4::ANTLRErrorListener& listener)
{
    recognizer.removeErrorListeners();
    recognizer.addErrorListener(&listener);
}
